// The journey planner's button on the main window: the station boxes are checked as for the
// direct query, then the journey window plans between them with the options it is given.
#include "app/main_controller.h"
#include "data/gbk.h"
#include "journey/planner.h"

namespace korvel {

void MainController::BTNHCFAClick() {
    const std::string from = view_.Text(Control::ComboFZ);
    const std::string to = view_.Text(Control::ComboDZ);
    if (!StationPairReady(from, to)) return;

    if (!journeyIndex_ || !journeyIndex_->Covers(tables_)) {
        view_.SetBusyCursor(true);
        journeyIndex_ = std::make_unique<JourneyIndex>(tables_);
        view_.SetBusyCursor(false);
    }
    auto planner = [this, from, to](const JourneyOptions& options) {
        view_.SetBusyCursor(true);
        std::vector<Journey> journeys = FindJourneys(*journeyIndex_, tables_, from, to, options);
        view_.SetBusyCursor(false);
        return journeys;
    };
    journeyWindow_ = std::make_unique<JourneyWindowModel>(std::string(TrimControl(from)),
                                                          std::string(TrimControl(to)), planner);
    journeyWindow_->SetDefaults(journeyDefaults_);
    journeyWindow_->SetSameCity(
        ResolveJourneySides(*journeyIndex_, tables_.KMSM, from, to).sameCity);
    journeyWindow_->onOpenLeg = [this](const DetailSection& section) { OpenDetail(section); };
    view_.ShowJourneyWindow(*journeyWindow_);
    journeyWindow_.reset();
}

}  // namespace korvel
