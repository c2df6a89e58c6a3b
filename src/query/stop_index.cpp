#include "query/stop_index.h"

namespace korvel {

StopIndex::StopIndex(Timetable& tables) {
    MemTable& T = tables.KMTrain;
    table_ = &T;
    records_ = T.RecordCount();
    if (T.Fields().empty()) return;
    order_ = T.IndexOrder("SIDNo");
    if (!order_) return;
    Field& id = T.FieldByName("ID");
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

bool StopIndex::Covers(const Timetable& tables) const {
    const MemTable& T = tables.KMTrain;
    return table_ == &T && order_ != nullptr && records_ == T.RecordCount() &&
           order_ == T.IndexOrder("SIDNo") && order_->size() == record_.size() &&
           (record_.empty() || order_->data()[0] == record_[0]);
}

std::uint32_t StopIndex::StationId(std::string_view name) const {
    auto it = ids_.find(std::string(name));
    return it == ids_.end() ? kNoStation : it->second;
}

}  // namespace korvel
