// Everything around the search: the two sides from the station boxes, the legs' texts and
// fares from the tables.
#include <algorithm>

#include "journey/journey_text.h"
#include "journey/planner.h"
#include "query/fare_tariff.h"
#include "query/stations.h"

namespace korvel {

namespace {

template <class Side>
void SideStations(const JourneyIndex& index, const Side& side, bool exact,
                  std::vector<StationIdx>& out) {
    std::vector<std::string> names;
    if (exact || side.Members.empty()) {
        names.push_back(side.TypedName);
    } else {
        names = side.Members;
    }
    for (const std::string& name : names) {
        const StationIdx id = index.StationId(name);
        if (id != kNoStation && std::find(out.begin(), out.end(), id) == out.end()) {
            out.push_back(id);
        }
    }
}

// The train-list and stop fields a leg's fares are computed from.
struct FareFields {
    Field& listId;
    Field& ntype;
    Field& start;
    Field& trainKm;
    Field* trainFares[4];
    Field& station;
    Field& sno;
    Field& km;
    Field* stopFares[4];
    FareFields(MemTable& L, MemTable& T)
        : listId(L.FieldByName("ID")),
          ntype(L.FieldByName("NType")),
          start(L.FieldByName("StartStation")),
          trainKm(L.FieldByName("Distance")),
          trainFares{&L.FieldByName("P1"), &L.FieldByName("P2"), &L.FieldByName("P3"),
                     &L.FieldByName("P4")},
          station(T.FieldByName("Station")),
          sno(T.FieldByName("S_No")),
          km(T.FieldByName("Distance")),
          stopFares{&T.FieldByName("P1"), &T.FieldByName("P2"), &T.FieldByName("P3"),
                    &T.FieldByName("P4")} {}
};

// The leg as a result row of the direct query would carry it, fares included.
void FillLeg(const JourneyIndex& index, const FareFields& f, JourneyLeg& leg) {
    const std::uint32_t list = index.ListRecord(leg.train);
    const std::uint32_t from = index.StopRecord(leg.train, leg.boardStop);
    const std::uint32_t to = index.StopRecord(leg.train, leg.alightStop);
    FareRequest row;
    row.TrainNo.assign(f.listId.ViewAt(list));
    row.NType = f.ntype.IntegerAt(list);
    row.StartStation.assign(f.start.ViewAt(list));
    row.TrainDistance = f.trainKm.IntegerAt(list);
    std::string* trainFares[4] = {&row.TrainP1, &row.TrainP2, &row.TrainP3, &row.TrainP4};
    std::string* fromFares[4] = {&row.FromP1, &row.FromP2, &row.FromP3, &row.FromP4};
    std::string* toFares[4] = {&row.ToP1, &row.ToP2, &row.ToP3, &row.ToP4};
    for (int c = 0; c < 4; ++c) {
        trainFares[c]->assign(f.trainFares[c]->ViewAt(list));
        fromFares[c]->assign(f.stopFares[c]->ViewAt(from));
        toFares[c]->assign(f.stopFares[c]->ViewAt(to));
    }
    row.FromStation.assign(f.station.ViewAt(from));
    row.ToStation.assign(f.station.ViewAt(to));
    row.FromSNo = f.sno.IntegerAt(from);
    row.ToSNo = f.sno.IntegerAt(to);
    row.FromDistance = f.km.IntegerAt(from);
    row.ToDistance = f.km.IntegerAt(to);
    row.SpanKm = row.ToDistance - row.FromDistance;
    FillFares(row);

    leg.trainId = index.TrainId(leg.train);
    leg.from = row.FromStation;
    leg.to = row.ToStation;
    leg.fromSNo = row.FromSNo;
    leg.toSNo = row.ToSNo;
    leg.distance = row.SpanKm;
    leg.fares = {row.Fare1, row.Fare2, row.Fare3, row.Fare4};
}

}  // namespace

JourneySides ResolveJourneySides(const JourneyIndex& index, MemTable& KMSM,
                                 std::string_view fromText, std::string_view toText) {
    StationSide fromSide;
    StationSide toSide;
    ResolveFromStation(KMSM, fromText, MatchMode::Grouped, fromSide);
    ResolveToStation(KMSM, toText, MatchMode::Grouped, toSide);
    const bool exact = fromSide.GroupId == toSide.GroupId;
    JourneySides sides;
    SideStations(index, fromSide, exact, sides.from);
    SideStations(index, toSide, exact, sides.to);
    sides.sameCity = exact && fromSide.GroupId != 0;
    return sides;
}

void FillJourneyDetails(const JourneyIndex& index, StoredTables& tables,
                        std::vector<Journey>& journeys) {
    if (journeys.empty()) return;
    const FareFields fields(tables.KMList, tables.KMTrain);
    for (Journey& j : journeys) {
        j.distance = 0;
        for (JourneyLeg& leg : j.legs) {
            FillLeg(index, fields, leg);
            j.distance += leg.distance;
        }
        for (int c = 0; c < 4; ++c) {
            std::vector<std::string> perLeg;
            for (const JourneyLeg& leg : j.legs) perLeg.push_back(leg.fares[c]);
            j.fares[c] = SumFares(perLeg);
        }
    }
}

std::vector<Journey> FindJourneys(const JourneyIndex& index, StoredTables& tables,
                                  std::string_view fromText, std::string_view toText,
                                  const JourneyOptions& options) {
    const JourneySides sides = ResolveJourneySides(index, tables.KMSM, fromText, toText);
    std::vector<Journey> journeys = PlanJourneys(index, sides, options);
    FillJourneyDetails(index, tables, journeys);
    return journeys;
}

}  // namespace korvel
