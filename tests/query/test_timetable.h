// Builds small timetables for the query tests: trains from their stop lists (the train-list
// row is derived from the first and last stop), same-city groups and pinyin rows. Texts are
// written in UTF-8 here and stored as GBK, as the loaders store them.
#pragma once

#include <string>
#include <vector>

#include "../support/gbk_text.h"
#include "data/gbk.h"
#include "data/schema.h"

namespace korvel::test {

struct Stop {
    std::string station;
    std::string arrive;  // empty at the origin
    std::string depart;  // empty at the terminus
    std::string rdate;
    int km = 0;
    std::string p1, p2, p3, p4;  // empty at the origin
};

class TimetableBuilder {
  public:
    // A train and its stops (numbered from 1). The train-list row takes the origin's
    // departure and the terminus's arrival, run time, distance and fares, unless `whole`
    // fares are given.
    TimetableBuilder& Train(const std::string& id, int ntype, std::vector<Stop> stops,
                            std::vector<std::string> wholeFares = {}) {
        trains_.push_back({id, ntype, std::move(stops), std::move(wholeFares), true});
        return *this;
    }
    // A train-list row without any stops.
    TimetableBuilder& ListOnly(const std::string& id, int ntype, const std::string& from,
                               const std::string& to) {
        trains_.push_back({id,
                           ntype,
                           {Stop{from, "", "08:00", "0", 0}, Stop{to, "09:00", "", "1:0", 50}},
                           {},
                           false});
        return *this;
    }
    // Stops without a train-list row.
    TimetableBuilder& StopsOnly(const std::string& id, std::vector<Stop> stops) {
        orphans_.push_back({id, 0, std::move(stops), {}, true});
        return *this;
    }
    TimetableBuilder& Group(int gp, const std::vector<std::string>& stations) {
        for (const auto& s : stations) groups_.push_back({s, gp});
        return *this;
    }
    TimetableBuilder& Py(const std::string& station, const std::string& code) {
        py_.push_back({station, code});
        return *this;
    }

    void BuildInto(StoredTables& t) const {
        t.KMList.Define(KMListFields(), KMListIndexes());
        t.KMTrain.Define(KMTrainFields(), KMTrainIndexes());
        t.KMSM.Define(KMSMFields(), KMSMIndexes());
        t.KMPy.Define(KMPyFields(), KMPyIndexes());
        for (const TrainSpec& tr : trains_) {
            if (tr.withStops) AddStops(t.KMTrain, tr);
            const Stop& first = tr.stops.front();
            const Stop& last = tr.stops.back();
            MemTable& l = t.KMList;
            l.Append();
            l.SetText(0, tr.id);
            l.SetInteger(1, tr.ntype);
            l.SetText(2, G(first.station));
            l.SetText(3, G(last.station));
            l.SetText(4, first.depart);
            l.SetText(5, last.arrive);
            l.SetText(6, last.rdate);
            l.SetInteger(7, last.km);
            const std::vector<std::string> fares =
                tr.whole.empty() ? std::vector<std::string>{last.p1, last.p2, last.p3, last.p4}
                                 : tr.whole;
            for (int i = 0; i < 4; ++i) l.SetText(8 + i, fares[i]);
            l.Post();
        }
        for (const TrainSpec& tr : orphans_) AddStops(t.KMTrain, tr);
        for (const auto& [s, gp] : groups_) {
            t.KMSM.Append();
            t.KMSM.SetText(0, G(s));
            t.KMSM.SetInteger(1, gp);
            t.KMSM.Post();
        }
        for (const auto& [s, code] : py_) {
            t.KMPy.Append();
            t.KMPy.SetText(0, G(s));
            t.KMPy.SetText(1, code);
            t.KMPy.Post();
        }
        for (MemTable* m : {&t.KMList, &t.KMTrain, &t.KMSM, &t.KMPy}) m->BuildIndexes();
        // The orders the start-up loaders select.
        t.KMList.SetIndexName("SID");
        t.KMTrain.SetIndexName("SIDNo");
        t.KMSM.SetIndexName("SStation");
    }

  private:
    struct TrainSpec {
        std::string id;
        int ntype;
        std::vector<Stop> stops;
        std::vector<std::string> whole;
        bool withStops;
    };

    static void AddStops(MemTable& k, const TrainSpec& tr) {
        int no = 1;
        for (const Stop& s : tr.stops) {
            k.Append();
            k.SetText(0, tr.id);
            k.SetText(1, G(s.station));
            k.SetInteger(2, no++);
            k.SetText(3, s.arrive);
            k.SetText(4, s.depart);
            k.SetText(5, s.rdate);
            k.SetInteger(6, s.km);
            k.SetText(7, s.p1);
            k.SetText(8, s.p2);
            k.SetText(9, s.p3);
            k.SetText(10, s.p4);
            k.Post();
        }
    }

    std::vector<TrainSpec> trains_;
    std::vector<TrainSpec> orphans_;
    std::vector<std::pair<std::string, int>> groups_;
    std::vector<std::pair<std::string, std::string>> py_;
};

}  // namespace korvel::test
