// The four queries with arbitrary station and train texts on the embedded timetable. Each
// either finds rows or finds none; the station-index paths give exactly the rows of the
// plain table scans; the transfer legs of any offered station can be shown.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>

#include "fuzz_timetable.h"
#include "query/queries.h"
#include "query/stop_index.h"

namespace {

using korvel::ResultList;
using korvel::ResultRow;

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameRows(const ResultList& a, const ResultList& b) {
    return a.rows == b.rows;
}

// A station text: arbitrary bytes, or a real station name with arbitrary bytes around it.
std::string StationText(FuzzedDataProvider& in) {
    const auto& names = korvel::fuzz::FuzzStationNames();
    const int kind = in.ConsumeIntegralInRange(0, 3);
    std::string text;
    if (kind > 0 && !names.empty()) {
        text = names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
    }
    if (kind == 0 || kind == 2) text += in.ConsumeRandomLengthString(64);
    if (kind == 3) text = in.ConsumeRandomLengthString(4) + text;
    return text;
}

std::string TrainText(FuzzedDataProvider& in) {
    const auto& ids = korvel::fuzz::FuzzTrainNumbers();
    std::string text;
    if (in.ConsumeBool() && !ids.empty()) {
        text = ids[in.ConsumeIntegralInRange<std::size_t>(0, ids.size() - 1)];
    }
    return text + in.ConsumeRandomLengthString(32);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvel::StoredTables& tables = korvel::fuzz::FuzzTimetable();
    static const auto index = std::make_unique<korvel::StopIndex>(tables);
    FuzzedDataProvider in(data, size);

    const int which = in.ConsumeIntegralInRange(0, 3);
    korvel::StationSide from;
    korvel::StationSide to;
    if (which == 0) {
        const std::string a = StationText(in);
        const std::string b = StationText(in);
        ResultList scan, indexed;
        korvel::SearchDirectTrains(tables, a, b, from, to, scan);
        korvel::SearchDirectTrains(tables, a, b, from, to, indexed, index.get());
        Check(SameRows(scan, indexed));
        for (const ResultRow& r : scan)
            Check(!scan.timetable->Number(r.train).empty() && r.fromStopNo < r.toStopNo);
    } else if (which == 1) {
        const std::string key = TrainText(in);
        ResultList out;
        korvel::QueryByTrainNumber(tables, key, out);
        for (const ResultRow& r : out) Check(!out.timetable->Number(r.train).empty());
        (void)korvel::FindLastStopNumber(index->Typed(), key);
    } else if (which == 2) {
        const std::string station = StationText(in);
        ResultList scan, indexed;
        korvel::QueryStationTimetable(tables, station, from, to, scan);
        korvel::QueryStationTimetable(tables, station, from, to, indexed, index.get());
        Check(SameRows(scan, indexed));
    } else {
        const std::string a = StationText(in);
        const std::string b = StationText(in);
        korvel::TransferData transfer;
        korvel::TransferQuery(tables, a, b, from, to, transfer);
        const auto candidates = korvel::TransferCandidates(transfer, from, to);
        if (!candidates.empty()) {
            const auto& pick =
                candidates[in.ConsumeIntegralInRange<std::size_t>(0, candidates.size() - 1)];
            ResultList out;
            std::string transferStation;
            const int count1 = in.ConsumeIntegralInRange(-1, pick.Count1 + 1);
            const int count2 = in.ConsumeIntegralInRange(-1, pick.Count2 + 1);
            const std::string& station = transfer.timetable->Name(pick.station);
            korvel::ShowTransferLegs(tables, transfer, station, count1, count2, out,
                                     transferStation);
            Check(transferStation == station);
        }
    }
    return 0;
}
