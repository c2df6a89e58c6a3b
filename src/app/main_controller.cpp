#include "app/main_controller.h"

#include <mutex>
#include <utility>
#include <variant>
#include <vector>

#include "data/gbk.h"
#include "journey/journey_defaults.h"
#include "query/fare_tariff.h"
#include "query/pinyin_input.h"
#include "query/requests.h"
#include "query/stations.h"
#include "timetable/timetable_folder.h"
#include "views/grid_export.h"
#include "views/row_text.h"

namespace korvel {

const char* const kProgramVersion = "2011.09.30";

namespace {

// Texts of the status bar and the print question (GBK).
const char kVersionPrefix[] = "\xB5\xB1\xC7\xB0\xB0\xE6\xB1\xBE:";  // 当前版本:
const char kCapPrint[] = " \xB4\xF2\xD3\xA1\xCC\xE1\xCA\xBE";       //  打印提示
const char kMsgPrint[] =
    "\xC8\xB7\xCA\xB5\xD2\xAA\xB4\xF2\xD3\xA1\xC2\xF0\xA3\xBF";  // 确实要打印吗？

constexpr Control kStationBoxes[] = {Control::DepartureBox, Control::ArrivalBox,
                                     Control::StationBox};
constexpr Control kQueryButtons[] = {Control::DirectButton, Control::TransferButton,
                                     Control::TrainButton, Control::StationButton,
                                     Control::JourneyButton};
constexpr Control kFilterBoxes[] = {Control::OriginatesFilter, Control::TerminatesFilter,
                                    Control::ExactNamesFilter, Control::EmuOnlyFilter};
constexpr int kInitialComboItems = 12;
constexpr char kEnter = 13;

// The control that takes the focus after a refused question.
Control ControlOf(QueryInput input) {
    switch (input) {
        case QueryInput::From:
            return Control::DepartureBox;
        case QueryInput::To:
            return Control::ArrivalBox;
        case QueryInput::Station:
            return Control::StationBox;
        case QueryInput::TrainNumber:
            break;
    }
    return Control::TrainNumberBox;
}

}  // namespace

std::string VersionStatusText() {
    return std::string(kVersionPrefix) + kProgramVersion;
}

struct MainController::QueryState {
    StationSide fromSide;
    StationSide toSide;
    TransferAnswer transfer;
};

MainController::MainController(MainView& view)
    : view_(view), state_(std::make_unique<QueryState>()), labels_(MainHeaderLabels()) {}

MainController::~MainController() {
    // Join the loader threads before the tables and flags they write go away.
    loader_.reset();
}

// --- start-up ---------------------------------------------------------------------------

void MainController::Start(StartOptions options) {
    for (Control c : kStationBoxes) {
        view_.SetEnabled(c, false);
        view_.SetComboItems(c, std::vector<std::string>(kInitialComboItems));
    }
    for (Control c : kQueryButtons) view_.SetEnabled(c, false);
    for (Control c : kFilterBoxes) view_.SetChecked(c, false);

    const bool synchronous = !options.post;
    std::vector<LoadEvent> finished;  // synchronous mode: handed over after the loaders end
    std::mutex finishedMutex;
    TimetableLoader::Options loaderOptions;
    mapSource_ = options.source;
    loaderOptions.source = std::move(options.source);
    timetableFolder_ = loaderOptions.source ? std::string() : options.timetableFolder;
    timetableName_ = timetableFolder_.empty() ? std::string() : options.timetableName;
    loaderOptions.folder = timetableFolder_;
    if (!timetableFolder_.empty()) loaderOptions.loaded = std::move(options.timetableTables);
    loadFailed_ = false;
    verifiedTables_ = 0;
    if (synchronous) {
        loaderOptions.onEvent = [&finished, &finishedMutex](const LoadEvent& e) {
            std::lock_guard<std::mutex> lock(finishedMutex);
            finished.push_back(e);
        };
    } else {
        Poster post = std::move(options.post);
        const unsigned generation = ++loadGeneration_;
        loaderOptions.onEvent = [this, post, generation](const LoadEvent& e) {
            post([this, e, generation] {
                if (generation == loadGeneration_) OnTableLoaded(e);
            });
        };
    }
    loader_ = std::make_unique<TimetableLoader>(tables_, flags_, std::move(loaderOptions));
    const TimetableFolderSource* folder = loader_->FolderSource();
    journeyDefaults_ = JourneyDefaultsOf(folder ? folder->GetManifest() : std::nullopt);
    loader_->Start();

    grid_.ClearSelection();
    transferStation_.clear();
    grid_.SetShownCount(0);
    view_.SetStatusText(0, VersionStatusText());
    if (!options.timetableNote.empty())
        view_.SetStatusText(kTimetableNotePanel, options.timetableNote);
    view_.SetText(Control::ResultLabel, ResultLabelText(0));
    ShowHeaderLabels();
    view_.GridChanged();

    if (synchronous) {
        loader_->Join();
        for (const LoadEvent& e : finished) OnTableLoaded(e);
    }
}

void MainController::OnTableLoaded(const LoadEvent& event) {
    if (!event.ok) {
        loadFailed_ = true;
        view_.SetStatusText(1, LoadFailureText(event));
        if (journeyWindow_ && journeyWindow_->Outdated()) {
            journeyWindow_->ReplacementFailed();
            view_.JourneyWindowTimetableChanged();
        }
        return;
    }
    if (event.verified) ++verifiedTables_;
    if (event.table == LoadTable::KMPy) {
        for (Control c : kStationBoxes) view_.SetEnabled(c, true);
    } else if (event.table == LoadTable::KMTrain) {
        for (Control c : kQueryButtons) view_.SetEnabled(c, true);
    }
    // The stops' event comes after the other three (the loaders build the typed timetable
    // first), so a load is complete there, and only there.
    const bool all = event.table == LoadTable::KMTrain && Loaded(LoadTable::KMPy) &&
                     Loaded(LoadTable::KMList) && Loaded(LoadTable::KMSM) &&
                     Loaded(LoadTable::KMTrain);
    if (all) {
        // Once per load: every index reads this one typed timetable.
        timetable_ = event.timetable ? event.timetable : std::make_shared<const Timetable>(tables_);
        stopIndex_ = std::make_unique<StopIndex>(timetable_);
        journeyIndex_.reset();
    }
    if (all && !loadFailed_) view_.SetStatusText(kTimetableStatusPanel, TimetableText());
    if (all && !loadFailed_) {
        // The open journey window asks its last question again of the new timetable (and
        // takes the new timetable's map).
        if (journeyWindow_) {
            journeyWindow_->Replan();
            view_.JourneyWindowTimetableChanged();
        }
        switch (std::exchange(rerunAfterLoad_, QueryKindValue::None)) {
            case QueryKindValue::Direct:
                StationPairClicked(PairQuery::Direct);
                break;
            case QueryKindValue::Train:
                TrainClicked();
                break;
            case QueryKindValue::Station:
                StationClicked();
                break;
            case QueryKindValue::None:
                break;
        }
    }
}

std::string MainController::TimetableText() const {
    return TimetableDescription(timetableFolder_, tables_, flags_, verifiedTables_ == 4,
                                timetableName_);
}

void MainController::WaitForLoaders() {
    if (loader_) loader_->Join();
}

void MainController::ReloadTimetable(StartOptions options) {
    loader_.reset();  // joins the loaders before their tables change
    // The question on show is asked again of the new timetable once it has loaded (a transfer
    // answer is not: it was picked in a window of its own).
    rerunAfterLoad_ =
        !results_.empty() && transferStation_.empty() ? queryKind_ : QueryKindValue::None;
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        flags_.For(t).store(0, std::memory_order_release);
    }
    stopIndex_.reset();
    journeyIndex_.reset();
    timetable_.reset();
    map_.reset();
    mapFor_ = nullptr;
    results_.clear();
    queryKind_ = QueryKindValue::None;
    state_ = std::make_unique<QueryState>();
    grid_.Reset();
    view_.SetStatusText(kTimetableStatusPanel, "");
    // An open journey window keeps its answer on show, outdated, until it is planned again
    // once the new tables are in: its journeys' numbers are the old timetable's.
    if (journeyWindow_) {
        journeyWindow_->TimetableReplaced();
        if (journeyWindow_->Outdated()) view_.JourneyWindowTimetableChanged();
    }
    Start(std::move(options));
}

// --- shared steps -------------------------------------------------------------------------

void MainController::ShowRefusal(const Refusal& refusal) {
    if (refusal.Silent()) return;
    view_.ShowMessage(refusal.caption, refusal.text, MsgButtons::Ok, MsgIcon::None);
    view_.SetFocus(ControlOf(refusal.input));
}

QueryTables MainController::Questions() {
    TablesReady ready;
    ready.pinyin = Loaded(LoadTable::KMPy);
    ready.list = Loaded(LoadTable::KMList);
    ready.groups = Loaded(LoadTable::KMSM);
    ready.stops = Loaded(LoadTable::KMTrain);
    return QueryTables{tables_, ready, stopIndex_.get()};
}

void MainController::StartNewResults(const std::string& heading) {
    UncheckFilters();
    ResetResultGrid();
    transferStation_.clear();
    heading_ = heading;
}

void MainController::UncheckFilters() {
    for (Control c : kFilterBoxes) {
        if (view_.Checked(c)) view_.SetChecked(c, false);
    }
    if (!timeClass_.PassesAll()) {
        timeClass_ = TimeClassFilter{};
        view_.ShowTimeClassFilter(timeClass_);
    }
}

void MainController::ResetResultGrid() {
    grid_.Reset();
    view_.SetText(Control::ResultLabel, ResultLabelText(0));
    view_.GridChanged();
}

void MainController::FillResultGrid() {
    FilterBoxes boxes;
    boxes.OriginatesFilter = view_.Checked(Control::OriginatesFilter);
    boxes.TerminatesFilter = view_.Checked(Control::TerminatesFilter);
    boxes.ExactNamesFilter = view_.Checked(Control::ExactNamesFilter);
    boxes.EmuOnlyFilter = view_.Checked(Control::EmuOnlyFilter);
    boxes.timeClass = timeClass_;
    const std::string cz(TrimControl(view_.Text(Control::StationBox)));
    view_.SetBusyCursor(true);
    const int shown = korvel::FillResultGrid(results_, boxes, queryKind_, transferStation_,
                                             state_->fromSide.TypedName, state_->toSide.TypedName,
                                             cz, grid_, labels_);
    view_.SetBusyCursor(false);
    view_.SetText(Control::ResultLabel, ResultLabelText(shown));
    view_.GridChanged();
}

void MainController::ShowHeaderLabels() {
    for (int c = 0; c < labels_.Count(); ++c)
        view_.SetHeaderLabel(c, labels_.Caption(c), labels_.Bold(c));
}

// --- station-to-station and transfer ---------------------------------------------------------

void MainController::StationPairClicked(PairQuery query) {
    queryKind_ = QueryKindValue::Direct;
    const std::string from = view_.Text(Control::DepartureBox);
    const std::string to = view_.Text(Control::ArrivalBox);
    if (query == PairQuery::Transfer) return RunTransferQuery(from, to);

    auto asked = AskDirect(Questions(), from, to);
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return ShowRefusal(*refusal);
    DirectAnswer& direct = std::get<DirectAnswer>(asked);
    StartNewResults(direct.heading);
    state_->fromSide = std::move(direct.from);
    state_->toSide = std::move(direct.to);
    results_ = std::move(direct.rows);
    if (!results_.empty()) {
        FillResultGrid();
        view_.ShowRouteAdvert(state_->fromSide.CityName, state_->toSide.CityName);
        return;
    }
    const Question question = NoDirectTrainQuestion();
    const MsgAnswer answer =
        view_.ShowMessage(question.caption, question.text, MsgButtons::YesNo, MsgIcon::Question);
    if (answer == MsgAnswer::Yes) StationPairClicked(PairQuery::Transfer);
}

bool MainController::StationPairReady(const std::string& from, const std::string& to) {
    const std::optional<JourneyInputProblem> problem = StationPairProblem(from, to);
    if (!problem) return true;
    if (!problem->text.empty()) {
        ShowRefusal(Refusal{problem->caption, problem->text,
                            problem->toBox ? QueryInput::To : QueryInput::From});
    }
    return false;
}

std::optional<JourneyInputProblem> MainController::StationPairProblem(const std::string& from,
                                                                      const std::string& to) {
    const std::optional<Refusal> refusal = CheckStationPair(Questions(), from, to);
    if (!refusal) return std::nullopt;
    return JourneyInputProblem{refusal->caption, refusal->text, refusal->input == QueryInput::To};
}

bool MainController::TablesReadyForJourneys() const {
    // The queries read the train list and the same-city groups as well as the stops: they
    // run only when all of them have loaded completely.
    return Loaded(LoadTable::KMPy) && Loaded(LoadTable::KMTrain) && Loaded(LoadTable::KMList) &&
           Loaded(LoadTable::KMSM);
}

void MainController::SwapClicked() {
    const std::string from = view_.Text(Control::DepartureBox);
    const std::string to = view_.Text(Control::ArrivalBox);
    view_.SetText(Control::DepartureBox, to);
    view_.SetText(Control::ArrivalBox, from);
    if (view_.IsEnabled(Control::DirectButton)) StationPairClicked(PairQuery::Direct);
}

void MainController::RunTransferQuery(const std::string& from, const std::string& to) {
    auto asked = AskTransfer(Questions(), from, to);
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return ShowRefusal(*refusal);
    TransferAnswer& transfer = std::get<TransferAnswer>(asked);
    StartNewResults(transfer.heading);
    results_.clear();
    state_->fromSide = transfer.from;
    state_->toSide = transfer.to;
    state_->transfer = std::move(transfer);

    transferWindow_ = std::make_unique<TransferWindowModel>();
    transferWindow_->Fill(state_->transfer.data, state_->fromSide.TypedName,
                          state_->toSide.TypedName);
    transferWindow_->onPick = [this](const TransferPick& pick) { OnTransferPick(pick); };
    view_.ShowTransferWindow(*transferWindow_);
    transferWindow_.reset();

    view_.ShowRouteAdvert(view_.Text(Control::DepartureBox), view_.Text(Control::ArrivalBox));
}

void MainController::OnTransferPick(const TransferPick& pick) {
    ResetResultGrid();
    TransferLegs legs =
        TransferLegsThrough(Questions(), state_->transfer, pick.station, pick.count1, pick.count2,
                            view_.Text(Control::DepartureBox), view_.Text(Control::ArrivalBox));
    results_ = std::move(legs.rows);
    transferStation_ = std::move(legs.station);
    heading_ = std::move(legs.heading);
    FillResultGrid();
}

// --- train number ---------------------------------------------------------------------------

void MainController::TrainClicked() {
    queryKind_ = QueryKindValue::Train;
    auto asked = AskTrain(Questions(), view_.Text(Control::TrainNumberBox));
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return ShowRefusal(*refusal);
    TrainAnswer& train = std::get<TrainAnswer>(asked);
    StartNewResults(train.heading);
    results_ = std::move(train.rows);
    FillResultGrid();
    if (grid_.ShownCount() > 0) {
        view_.ShowRouteAdvert(CityNameOf(grid_.Cell(1, 0)), CityNameOf(grid_.Cell(2, 0)));
    }
}

// --- station timetable ----------------------------------------------------------------------

void MainController::StationClicked() {
    queryKind_ = QueryKindValue::Station;
    const std::string station = view_.Text(Control::StationBox);
    auto asked = AskStation(Questions(), station);
    if (const Refusal* refusal = std::get_if<Refusal>(&asked)) return ShowRefusal(*refusal);
    StationAnswer& answer = std::get<StationAnswer>(asked);
    StartNewResults(answer.heading);
    state_->fromSide = std::move(answer.side);
    // The box fills the other side's typed name alone; the rest stays as the last query left it.
    state_->toSide.TypedName = std::move(answer.other.TypedName);
    results_ = std::move(answer.rows);
    FillResultGrid();
    if (grid_.ShownCount() > 0) view_.ShowRouteAdvert(station, station);
}

// --- result grid ----------------------------------------------------------------------------

void MainController::FilterClicked() {
    ResetResultGrid();
    FillResultGrid();
}

void MainController::HeaderClicked(int labelNumber) {
    view_.SetBusyCursor(true);
    const bool sorted = korvel::HeaderClicked(grid_, labels_, labelNumber);
    view_.SetBusyCursor(false);
    if (!sorted) return;
    // The new order is read from its first row.
    grid_.SetTopRow(0, 1);
    ShowHeaderLabels();
    view_.GridChanged();
}

bool MainController::SelectGridRow(int /*column*/, int row) {
    const bool ok = grid_.Select(row);
    if (ok) view_.GridChanged();
    return ok;
}

void MainController::GridWheelUp(int visibleRows) {
    if (grid_.WheelUp(visibleRows) != WheelResult::Unchanged) view_.GridChanged();
}

void MainController::GridWheelDown(int visibleRows) {
    if (grid_.WheelDown(visibleRows) != WheelResult::Unchanged) view_.GridChanged();
}

void MainController::GridDoubleClicked() {
    if (!Loaded(LoadTable::KMTrain)) return;
    std::optional<DetailWindowModel> model = OpenDetailForSelection(grid_, results_.size());
    if (model) view_.ShowDetailWindow(*model);
}

bool MainController::GridKeyPressed(char key) {
    if (key != kEnter) return false;
    GridDoubleClicked();
    return true;
}

void MainController::GridScrolled(int topRow, int visibleRows) {
    grid_.SetTopRow(topRow, visibleRows);
}

void MainController::KeepGridRowVisible(int row, int visibleRows) {
    const int before = grid_.TopRow();
    grid_.KeepVisible(row, visibleRows);
    if (grid_.TopRow() != before) view_.GridChanged();
}

void MainController::SetTimeClassFilter(const TimeClassFilter& filter) {
    timeClass_ = filter;
    FilterClicked();
}

// --- station boxes --------------------------------------------------------------------------

void MainController::StationBoxEdited(Control box) {
    const std::string text = view_.Text(box);
    MemTable* py = Loaded(LoadTable::KMPy) ? &tables_.KMPy : nullptr;
    ComboChangeResult change = korvel::StationBoxEdited(text, py);
    // Writing back an unchanged text would only run this handler again.
    if (change.text != text) view_.SetText(box, change.text);
    view_.SetCaretToEnd(box);
    switch (change.action) {
        case ComboListAction::FillAndOpen:
            if (!py) change.items = EmptyDropDownItems();
            view_.SetComboItems(box, change.items);
            view_.SetCaretToEnd(box);
            view_.OpenDropDown(box);
            break;
        case ComboListAction::ResetEmpty:
            view_.SetComboItems(box, change.items);
            break;
        case ComboListAction::Leave:
            break;
    }
}

bool MainController::DepartureBoxKeyPressed(char key) {
    if (key != kEnter) return false;
    view_.SetFocus(Control::ArrivalBox);
    return true;
}

bool MainController::ArrivalBoxKeyPressed(char key) {
    if (key != kEnter) return false;
    if (view_.IsEnabled(Control::DirectButton)) view_.SetFocus(Control::DirectButton);
    return true;
}

bool MainController::StationBoxKeyPressed(char key) {
    if (key != kEnter) return false;
    if (view_.IsEnabled(Control::StationButton)) view_.SetFocus(Control::StationButton);
    return true;
}

bool MainController::TrainNumberKeyPressed(char key) {
    if (key != kEnter) return false;
    if (view_.IsEnabled(Control::TrainButton)) TrainClicked();
    return true;
}

// --- advanced menu --------------------------------------------------------------------------

void MainController::ShowAdvancedMenu() {
    const bool any = grid_.ShownCount() > 0;
    view_.SetEnabled(Control::PrintItem, any);
    view_.SetEnabled(Control::ExportItem, any);
}

void MainController::PrintClicked() {
    if (grid_.ShownCount() <= 0) return;
    const MsgAnswer answer =
        view_.ShowMessage(kCapPrint, kMsgPrint, MsgButtons::YesNoCancel, MsgIcon::None);
    if (answer == MsgAnswer::Yes) view_.PrintResultGrid(grid_, grid_.ShownCount());
}

void MainController::ExportClicked() {
    if (grid_.ShownCount() <= 0) return;
    const std::optional<std::string> path = view_.AskSaveFileName();
    if (!path || TrimControl(*path).empty()) return;
    const std::optional<ExportFailure> failure =
        TryExportGrid(grid_, GridLayout::Main, grid_.ShownCount(), *path, heading_);
    view_.ShowExportOutcome(*path, grid_.ShownCount(), failure);
}

// --- detail window --------------------------------------------------------------------------

bool MainController::OpenTrainStops(std::string_view number) {
    if (!timetable_) return false;
    DetailSection section;
    section.train = timetable_->FindTrain(number);
    return OpenDetail(*timetable_, section);
}

bool MainController::OpenDetail(const Timetable& tt, const DetailSection& section) {
    if (!Loaded(LoadTable::KMTrain)) return false;
    std::optional<DetailWindowModel> model = DetailWindowModel::Build(tt, section);
    if (!model) return false;
    view_.ShowDetailWindow(*model);
    return true;
}

}  // namespace korvel
