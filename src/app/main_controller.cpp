#include "app/main_controller.h"

#include <mutex>
#include <utility>
#include <vector>

#include "data/gbk.h"
#include "journey/journey_defaults.h"
#include "query/fare_tariff.h"
#include "query/pinyin_input.h"
#include "query/queries.h"
#include "query/stations.h"
#include "timetable/timetable_folder.h"
#include "views/grid_export.h"
#include "views/row_text.h"

namespace korvel {

const char* const kProgramVersion = "2011.09.30";

namespace {

// Messages, captions and titles (GBK).
const char kMsgEnterFrom[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB7\xA2\xD5\xBE\xA1\xA3";  // 请输入发站。
const char kMsgEnterTo[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB5\xBD\xD5\xBE\xA1\xA3";  // 请输入到站。
const char kCapIncomplete[] = "\xD0\xC5\xCF\xA2\xB2\xBB\xCD\xEA\xD5\xFB";       // 信息不完整
const char kMsgSameStations[] =
    "\xB7\xA2\xD5\xBE\xD3\xEB\xB5\xBD\xD5\xBE\xCF\xE0\xCD\xAC\xA1\xA3";  // 发站与到站相同。
const char kMsgNoFrom[] = "\xB7\xA2\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";  // 发站不存在。
const char kMsgNoTo[] = "\xB5\xBD\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";    // 到站不存在。
const char kCapWrongInput[] = "\xCA\xE4\xC8\xEB\xB4\xED\xCE\xF3";              // 输入错误
// 两站之间无直达列车,是否进行中转站查询?
const char kMsgAskTransfer[] =
    "\xC1\xBD\xD5\xBE\xD6\xAE\xBC\xE4\xCE\xDE\xD6\xB1\xB4\xEF\xC1\xD0\xB3\xB5,"
    "\xCA\xC7\xB7\xF1\xBD\xF8\xD0\xD0\xD6\xD0\xD7\xAA\xD5\xBE\xB2\xE9\xD1\xAF?";
const char kAppTitle[] = "Korvel\xCA\xB1\xBF\xCC";                                 // Korvel时刻
const char kMsgEnterTrain[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB3\xB5\xB4\xCE\xA1\xA3";  // 请输入车次。
const char kMsgEnterStation[] = "\xC7\xEB\xCA\xE4\xC8\xEB\xB3\xB5\xD5\xBE\xA1\xA3";  // 请输入车站。
const char kMsgNoStation[] = "\xB3\xB5\xD5\xBE\xB2\xBB\xB4\xE6\xD4\xDA\xA1\xA3";  // 车站不存在。
const char kVersionPrefix[] = "\xB5\xB1\xC7\xB0\xB0\xE6\xB1\xBE:";                // 当前版本:
const char kCapPrint[] = " \xB4\xF2\xD3\xA1\xCC\xE1\xCA\xBE";                     //  打印提示
const char kMsgPrint[] =
    "\xC8\xB7\xCA\xB5\xD2\xAA\xB4\xF2\xD3\xA1\xC2\xF0\xA3\xBF";  // 确实要打印吗？
// 时刻表加载失败:
const char kLoadFailed[] = "\xCA\xB1\xBF\xCC\xB1\xED\xBC\xD3\xD4\xD8\xCA\xA7\xB0\xDC:";

constexpr Control kStationBoxes[] = {Control::DepartureBox, Control::ArrivalBox,
                                     Control::StationBox};
constexpr Control kQueryButtons[] = {Control::DirectButton, Control::TransferButton,
                                     Control::TrainButton, Control::StationButton,
                                     Control::JourneyButton};
constexpr Control kFilterBoxes[] = {Control::OriginatesFilter, Control::TerminatesFilter,
                                    Control::ExactNamesFilter, Control::EmuOnlyFilter};
constexpr int kInitialComboItems = 12;
constexpr char kEnter = 13;

// A station text that is not a finished station name: empty, or pinyin letters not yet
// turned into a name.
bool StationMissing(const std::string& text) {
    return text.empty() || IsPinyinCode(text);
}

}  // namespace

std::string VersionStatusText() {
    return std::string(kVersionPrefix) + kProgramVersion;
}

std::string ApplicationTitle() {
    return kAppTitle;
}

struct MainController::QueryState {
    StationSide fromSide;
    StationSide toSide;
    TransferData transfer;
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
    loaderOptions.source = std::move(options.source);
    timetableFolder_ = loaderOptions.source ? std::string() : options.timetableFolder;
    timetableName_ = timetableFolder_.empty() ? std::string() : options.timetableName;
    loaderOptions.folder = timetableFolder_;
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
        view_.SetStatusText(
            1, kLoadFailed + std::string(LoadTableName(event.table)) + " " + event.error);
        return;
    }
    if (event.verified) ++verifiedTables_;
    if (event.table == LoadTable::KMPy) {
        for (Control c : kStationBoxes) view_.SetEnabled(c, true);
    } else if (event.table == LoadTable::KMTrain) {
        for (Control c : kQueryButtons) view_.SetEnabled(c, true);
    }
    const bool all = Loaded(LoadTable::KMPy) && Loaded(LoadTable::KMList) &&
                     Loaded(LoadTable::KMSM) && Loaded(LoadTable::KMTrain);
    if (all) {
        // Once per load: every index reads this one typed timetable.
        timetable_ = std::make_shared<const Timetable>(tables_);
        stopIndex_ = std::make_unique<StopIndex>(timetable_);
        journeyIndex_.reset();
    }
    if (all && !loadFailed_) view_.SetStatusText(kTimetableStatusPanel, TimetableText());
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
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain}) {
        flags_.For(t).store(0, std::memory_order_release);
    }
    stopIndex_.reset();
    journeyIndex_.reset();
    timetable_.reset();
    results_.clear();
    queryKind_ = QueryKindValue::None;
    state_ = std::make_unique<QueryState>();
    grid_.Reset();
    view_.SetStatusText(kTimetableStatusPanel, "");
    Start(std::move(options));
}

// --- shared steps -------------------------------------------------------------------------

void MainController::InputError(const std::string& caption, const std::string& text,
                                Control focus) {
    view_.ShowMessage(caption, text, MsgButtons::Ok, MsgIcon::None);
    view_.SetFocus(focus);
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
    if (!StationPairReady(from, to)) return;

    UncheckFilters();
    ResetResultGrid();
    transferStation_.clear();
    heading_ = "\xD5\xBE\xD5\xBE\xB2\xE9\xD1\xAF\xA3\xBA" + from + "\xA1\xAA" + to;  // 站站查询：
    if (query == PairQuery::Transfer) return RunTransferQuery();

    SearchDirectTrains(tables_, from, to, state_->fromSide, state_->toSide, results_,
                       stopIndex_.get());
    if (!results_.empty()) {
        FillResultGrid();
        view_.ShowRouteAdvert(state_->fromSide.CityName, state_->toSide.CityName);
        return;
    }
    const MsgAnswer answer =
        view_.ShowMessage(kAppTitle, kMsgAskTransfer, MsgButtons::YesNo, MsgIcon::Question);
    if (answer == MsgAnswer::Yes) StationPairClicked(PairQuery::Transfer);
}

bool MainController::StationPairReady(const std::string& from, const std::string& to) {
    const std::optional<JourneyInputProblem> problem = StationPairProblem(from, to);
    if (!problem) return true;
    if (!problem->text.empty()) {
        InputError(problem->caption, problem->text,
                   problem->toBox ? Control::ArrivalBox : Control::DepartureBox);
    }
    return false;
}

std::optional<JourneyInputProblem> MainController::StationPairProblem(const std::string& from,
                                                                      const std::string& to) {
    auto problem = [](const char* caption, const char* text, bool toBox) {
        return std::optional<JourneyInputProblem>(JourneyInputProblem{caption, text, toBox});
    };
    if (StationMissing(from)) return problem(kCapIncomplete, kMsgEnterFrom, false);
    if (StationMissing(to)) return problem(kCapIncomplete, kMsgEnterTo, true);
    if (from == to) return problem(kCapWrongInput, kMsgSameStations, true);
    // The station list is needed to tell whether the names exist; the boxes cannot be used
    // before it has loaded.
    if (!Loaded(LoadTable::KMPy)) return problem("", "", false);
    if (!StationExists(tables_.KMPy, from)) return problem(kCapWrongInput, kMsgNoFrom, false);
    if (!StationExists(tables_.KMPy, to)) return problem(kCapWrongInput, kMsgNoTo, true);
    if (!TablesReadyForJourneys()) return problem("", "", false);
    return std::nullopt;
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

void MainController::RunTransferQuery() {
    results_.clear();
    TransferQuery(tables_, view_.Text(Control::DepartureBox), view_.Text(Control::ArrivalBox),
                  state_->fromSide, state_->toSide, state_->transfer, stopIndex_.get());

    transferWindow_ = std::make_unique<TransferWindowModel>();
    transferWindow_->Fill(state_->transfer.TransferList, state_->fromSide.TypedName,
                          state_->toSide.TypedName);
    transferWindow_->onPick = [this](const TransferPick& pick) { OnTransferPick(pick); };
    view_.ShowTransferWindow(*transferWindow_);
    transferWindow_.reset();

    view_.ShowRouteAdvert(view_.Text(Control::DepartureBox), view_.Text(Control::ArrivalBox));
}

void MainController::OnTransferPick(const TransferPick& pick) {
    ResetResultGrid();
    ShowTransferLegs(tables_, state_->transfer, pick.station, pick.count1, pick.count2, results_,
                     transferStation_);
    heading_ = "\xD6\xD0\xD7\xAA\xB2\xE9\xD1\xAF\xA3\xBA" +  // 中转查询：
               view_.Text(Control::DepartureBox) + "\xA1\xAA" + view_.Text(Control::ArrivalBox) +
               "\xA3\xAC\xBE\xAD" + pick.station;  // ，经
    FillResultGrid();
}

// --- train number ---------------------------------------------------------------------------

void MainController::TrainClicked() {
    queryKind_ = QueryKindValue::Train;
    const std::string key(TrimControl(view_.Text(Control::TrainNumberBox)));
    if (key.empty()) return InputError(kCapIncomplete, kMsgEnterTrain, Control::TrainNumberBox);
    // Reads the train list and, for the stop counts, the stops.
    if (!Loaded(LoadTable::KMSM) || !Loaded(LoadTable::KMList) || !Loaded(LoadTable::KMTrain)) {
        return;
    }

    UncheckFilters();
    ResetResultGrid();
    transferStation_.clear();
    heading_ = "\xB3\xB5\xB4\xCE\xB2\xE9\xD1\xAF\xA3\xBA" + key;  // 车次查询：
    QueryByTrainNumber(tables_, view_.Text(Control::TrainNumberBox), results_, stopIndex_.get());
    FillResultGrid();
    if (grid_.ShownCount() > 0) {
        view_.ShowRouteAdvert(CityNameOf(grid_.Cell(1, 0)), CityNameOf(grid_.Cell(2, 0)));
    }
}

// --- station timetable ----------------------------------------------------------------------

void MainController::StationClicked() {
    queryKind_ = QueryKindValue::Station;
    const std::string station = view_.Text(Control::StationBox);
    if (StationMissing(station))
        return InputError(kCapIncomplete, kMsgEnterStation, Control::StationBox);
    if (!Loaded(LoadTable::KMPy)) return;
    if (!StationExists(tables_.KMPy, station)) {
        return InputError(kCapWrongInput, kMsgNoStation, Control::StationBox);
    }
    if (!Loaded(LoadTable::KMTrain) || !Loaded(LoadTable::KMList) || !Loaded(LoadTable::KMSM)) {
        return;
    }

    UncheckFilters();
    ResetResultGrid();
    transferStation_.clear();
    heading_ =
        "\xB3\xB5\xD5\xBE\xC8\xAB\xB2\xBF\xB3\xB5\xB4\xCE\xA3\xBA" + station;  // 车站全部车次：
    QueryStationTimetable(tables_, station, state_->fromSide, state_->toSide, results_,
                          stopIndex_.get());
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
    const std::optional<std::string> error =
        ExportGrid(grid_, GridLayout::Main, grid_.ShownCount(), *path, heading_);
    // The message carries the file name, which the file system gives as UTF-8.
    if (error) view_.ShowMessage(kAppTitle, Utf8ToGbk(*error), MsgButtons::Ok, MsgIcon::Error);
}

// --- stop list ------------------------------------------------------------------------------

std::optional<DetailSection> MainController::SectionOf(const std::string& trainId,
                                                       const std::string& board,
                                                       std::optional<int> count) {
    if (!Loaded(LoadTable::KMTrain) || !timetable_) return std::nullopt;
    const Timetable& tt = *timetable_;
    const TrainId train = tt.FindTrain(trainId);
    if (train.IsNone()) return std::nullopt;
    StopId from = tt.FirstStop(train);
    while (from < tt.EndStop(train) && tt.Name(tt.Station(from)) != board) ++from;
    // Boarding needs a later stop to ride to.
    if (StopId(from.Value() + 1) >= tt.EndStop(train)) return std::nullopt;
    StopId to(tt.EndStop(train).Value() - 1);
    if (count && *count > 0 && from.Value() + static_cast<std::uint32_t>(*count) < to.Value()) {
        to = StopId(from.Value() + static_cast<std::uint32_t>(*count));
    }
    DetailSection section;
    section.trainNo = trainId;
    section.boardingStation = board;
    section.stopCount = std::to_string(tt.StopNumber(to) - tt.StopNumber(from));
    section.sectionKm = std::to_string(tt.Km(to) - tt.Km(from));
    // From the departure at the boarding stop, as the result grid counts it.
    section.sectionTime = RideTimeText(RideMinutes(tt, from, to));
    return section;
}

bool MainController::OpenDetail(const DetailSection& section) {
    if (!Loaded(LoadTable::KMTrain) || !timetable_) return false;
    std::optional<DetailWindowModel> model = DetailWindowModel::Build(*timetable_, section);
    if (!model) return false;
    view_.ShowDetailWindow(*model);
    return true;
}

}  // namespace korvel
