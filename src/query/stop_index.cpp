#include "query/stop_index.h"

#include <algorithm>

namespace korvel {

StopIndex::StopIndex(StoredTables& tables) {
    MemTable& T = tables.KMTrain;
    table_ = &T;
    generation_ = T.Generation();
    if (T.Fields().empty()) return;
    order_ = T.IndexOrder("SIDNo");
    if (!order_) return;
    Field& id = T.FieldByName("ID");
    idField_ = &id;
    Field& station = T.FieldByName("Station");
    Field& dtime = T.FieldByName("D_Time");

    const std::size_t n = order_->size();
    record_ = *order_;
    station_.resize(n);
    train_.resize(n);
    noDeparture_.resize(n);
    std::string_view prevId;
    for (std::size_t pos = 0; pos < n; ++pos) {
        const std::uint32_t rec = record_[pos];
        const std::string_view trainNo = id.ViewAt(rec);
        if (pos == 0 || trainNo != prevId) trainStart_.push_back(static_cast<std::uint32_t>(pos));
        prevId = trainNo;
        train_[pos] = static_cast<std::uint32_t>(trainStart_.size() - 1);

        auto [it, added] = ids_.try_emplace(std::string(station.ViewAt(rec)),
                                            static_cast<std::uint32_t>(ids_.size()));
        if (added) positions_.emplace_back();
        station_[pos] = it->second;
        positions_[it->second].push_back(static_cast<std::uint32_t>(pos));
        noDeparture_[pos] = dtime.ViewAt(rec).empty() ? 1 : 0;
    }
    trainStart_.push_back(static_cast<std::uint32_t>(n));
}

bool StopIndex::Covers(const StoredTables& tables) const {
    const MemTable& T = tables.KMTrain;
    return table_ == &T && order_ != nullptr && generation_ == T.Generation();
}

std::uint32_t StopIndex::StationId(std::string_view name) const {
    auto it = ids_.find(std::string(name));
    return it == ids_.end() ? kNoStation : it->second;
}

std::uint32_t StopIndex::ListRecord(std::uint32_t train, MemTable& list) const {
    if (list_ != &list || listGeneration_ != list.Generation()) {
        const std::vector<std::uint32_t>* order = list.SearchOrder("ID");
        list_ = &list;
        listGeneration_ = list.Generation();
        listRecord_.assign(trainStart_.empty() ? 0 : trainStart_.size() - 1, kNoStation);
        Field* listId = list.FindField("ID");
        const Field* stopId = idField_;
        if (order != nullptr && listId != nullptr && stopId != nullptr) {
            // Both orders are by train number in byte order, so one walk pairs them; the
            // first of a run of equal numbers is the one a binary search lands on.
            const std::size_t n = order->size();
            std::size_t j = 0;
            std::string_view prev;
            for (std::uint32_t t = 0; t < listRecord_.size(); ++t) {
                const std::string_view no = stopId->ViewAt(record_[trainStart_[t]]);
                if (t > 0 && no < prev) j = 0;  // out of order: walk again from the start
                prev = no;
                while (j < n && listId->ViewAt((*order)[j]) < no) ++j;
                if (j < n && listId->ViewAt((*order)[j]) == no) listRecord_[t] = (*order)[j];
            }
        } else if (listId != nullptr && stopId != nullptr) {
            // Locate on this list does not binary-search: ask it train by train.
            for (std::uint32_t t = 0; t < listRecord_.size(); ++t) {
                if (list.Locate("ID", stopId->ViewAt(record_[trainStart_[t]]))) {
                    listRecord_[t] = list.CurrentRecord();
                }
            }
        }
    }
    return train < listRecord_.size() ? listRecord_[train] : kNoStation;
}

}  // namespace korvel
