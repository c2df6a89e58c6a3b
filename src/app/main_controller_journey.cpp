// The journey planner's button on the main window: the station boxes are checked as for the
// direct query, then the journey window opens with them. The window stays open beside the
// main window with boxes of its own; it plans through the controller's one journey index.
#include <variant>

#include "app/main_controller.h"
#include "data/gbk.h"
#include "journey/journey_request.h"
#include "journey/planner.h"
#include "query/stations.h"

namespace korvel {

void MainController::JourneyClicked() {
    // One journey window: the button brings the open one forward, its boxes as they are.
    if (journeyWindow_) return view_.ShowJourneyWindow(*journeyWindow_);

    const std::string from = view_.Text(Control::DepartureBox);
    const std::string to = view_.Text(Control::ArrivalBox);
    // A planner with boxes of its own opens with whatever the main window's boxes hold (two
    // blank ones: its last stations) and checks them itself when asked to plan; one without
    // them needs two stations that can be planned.
    const bool ownBoxes = view_.JourneyWindowHasOwnBoxes();
    if (ownBoxes ? !TablesReadyForJourneys() : !StationPairReady(from, to)) return;
    if (!StationPairProblem(from, to)) EnsureJourneyIndex();

    auto planner = [this](const std::string& a, const std::string& b, const JourneyOptions& o) {
        // The window outlives a reload of the timetable: it plans on the tables in use.
        auto index = [this]() -> const JourneyIndex& {
            EnsureJourneyIndex();
            view_.SetBusyCursor(true);
            return *journeyIndex_;
        };
        auto asked = AskJourneys(Questions(), index, a, b, o);
        view_.SetBusyCursor(false);
        if (JourneyAnswer* answer = std::get_if<JourneyAnswer>(&asked)) return std::move(*answer);
        return JourneyAnswer{};
    };
    journeyWindow_ = std::make_unique<JourneyWindowModel>(std::string(TrimControl(from)),
                                                          std::string(TrimControl(to)), planner);
    journeyWindow_->SetDefaults(journeyDefaults_);
    journeyWindow_->checkStations = [this](const std::string& a, const std::string& b) {
        return StationPairProblem(a, b);
    };
    journeyWindow_->stationList = [this]() -> MemTable* {
        return Loaded(LoadTable::KMPy) ? &tables_.KMPy : nullptr;
    };
    journeyWindow_->legAlternatives = [this](const Journey& j, int leg, const JourneyOptions& o) {
        EnsureJourneyIndex();
        // A journey of an earlier load numbers its trains and stations by that load's
        // timetable: the index of this one cannot replace its legs.
        if (journeyWindow_->ShownTimetable() != journeyIndex_->SharedTyped())
            return std::vector<JourneyLeg>{};
        return LegAlternatives(*journeyIndex_, j, static_cast<std::size_t>(leg), o);
    };
    journeyWindow_->onOpenLeg = [this](const DetailSection& section) {
        // The legs' numbers are those of the timetable they were planned on.
        if (const std::shared_ptr<const Timetable>& tt = journeyWindow_->ShownTimetable())
            OpenDetail(*tt, section);
    };
    view_.ShowJourneyWindow(*journeyWindow_);
}

void MainController::JourneyWindowClosed() {
    journeyWindow_.reset();
}

void MainController::EnsureJourneyIndex() {
    if (journeyIndex_ && journeyIndex_->Covers(tables_)) return;
    view_.SetBusyCursor(true);
    // The typed timetable of this load; built here only when a table was loaded without
    // the controller seeing it (the indexes never read a timetable of an earlier load).
    if (!timetable_ || !timetable_->BuiltFrom(tables_))
        timetable_ = std::make_shared<const Timetable>(tables_);
    journeyIndex_ = std::make_unique<JourneyIndex>(timetable_);
    view_.SetBusyCursor(false);
}

}  // namespace korvel
