// The main window's logic, without a user interface: it owns the timetable, the result list
// and the query state, and implements every event handler of the main window against the
// abstract MainView. The Qt window and the tests' recording view drive this one class;
// korvel-cli asks the same questions of query/requests and journey/journey_request directly.
//
// Threads: every handler runs on the user-interface thread. The start-up loaders run on
// their own threads and hand each finished table to OnTableLoaded through the Poster that
// Start receives (the Qt window posts the call into its event loop). Without a Poster,
// Start loads synchronously and calls OnTableLoaded itself before it returns.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/loaders.h"
#include "app/main_view.h"
#include "data/schema.h"
#include "query/grid_result.h"
#include "query/requests.h"
#include "views/detail_window.h"
#include "views/journey_window.h"
#include "views/result_grid.h"
#include "views/transfer_window.h"

namespace korvel {

class StopIndex;
class Timetable;
class MapData;
class JourneyIndex;

// "2011.09.30", and the status bar's "当前版本:2011.09.30".
extern const char* const kProgramVersion;
std::string VersionStatusText();

// The status bar panel that names the timetable in use once it has loaded.
inline constexpr int kTimetableStatusPanel = 4;

// Hands a call over to the user-interface thread. It must not run calls after the
// controller that queued them has been destroyed.
using Poster = std::function<void(std::function<void()>)>;

struct StartOptions {
    BlobSource source;  // empty: the embedded blobs (or the folder below)
    Poster post;        // empty: load synchronously inside Start
    // With `source` empty: the folder of the four table streams korvel-ttbuild writes
    // (UTF-8 path), used instead of the embedded timetable.
    std::string timetableFolder;
    // The installed timetable that folder holds ("" for a folder given by hand or none).
    std::string timetableName;
    // That folder's tables, loaded and checked already (update::Store::ChooseStartup), for
    // the loaders to take over; empty: they read the folder.
    std::shared_ptr<StoredTables> timetableTables;
    // Why the start-up did not get the timetable chosen (GBK), for the status bar; "" when
    // it did.
    std::string timetableNote;
};

// Which timetable is in use and what it holds (GBK), for the status bar and the about box:
// "内置2019年时刻表", "时刻表目录 DIR" (with "（已按清单核对）" when every file matched the
// folder's manifest) or "已安装时刻表 NAME", then the counts of trains, stops and stations
// once the tables have loaded.
std::string TimetableDescription(const std::string& folder, const StoredTables& tables,
                                 const LoadFlags& flags, bool verified = false,
                                 const std::string& installedName = {});

// The status panel for notes about the timetable (a start-up that fell back, a newer
// timetable to download).
inline constexpr int kTimetableNotePanel = 1;

// The two questions about a pair of stations: the direct trains, or where to change.
enum class PairQuery { Direct, Transfer };

class MainController {
  public:
    explicit MainController(MainView& view);
    ~MainController();
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    // --- start-up ---
    // Puts the window into its loading state (station boxes and query buttons disabled,
    // version in the status bar, empty grid, "结果:0") and starts the two loaders.
    void Start(StartOptions options = {});
    // A table finished loading (on the user-interface thread): KMPy enables the three
    // station boxes, KMTrain the four query buttons; a failure is shown in the status bar.
    void OnTableLoaded(const LoadEvent& event);
    // Blocks until both loaders have ended (their posted calls may still be queued).
    void WaitForLoaders();
    // Replaces the timetable in place (after an update): waits for the loaders, forgets the
    // results, indexes and tables, and starts as Start does with `options`. Calls the
    // old loaders posted and that have not run yet are ignored.
    void ReloadTimetable(StartOptions options);

    // --- station-to-station ("查询", DirectButton) and transfer ("中转", TransferButton) ---
    void StationPairClicked(PairQuery query);
    // "反向": swaps the two station boxes, then queries if DirectButton is enabled.
    void SwapClicked();
    // --- journey planner ("换乘方案", JourneyButton): checks the two station boxes as the direct
    // query does, then opens the journey window for them (two blank boxes open it with its own
    // last stations). While it is open the button only brings it forward. ---
    void JourneyClicked();
    // The view closed the journey window: its model goes.
    void JourneyWindowClosed();
    // --- train number ---
    void TrainClicked();
    // --- station timetable ---
    void StationClicked();

    // --- result grid ---
    // Any of the four filter boxes was clicked (its checked state already changed).
    void FilterClicked();
    // Header label HeaderN (N = 1..15) was clicked.
    void HeaderClicked(int labelNumber);
    // Whether the row may become the selected row (it becomes so when allowed).
    bool SelectGridRow(int column, int row);
    void GridWheelUp(int visibleRows = kVisibleGridRows);
    void GridWheelDown(int visibleRows = kVisibleGridRows);
    // Opens the detail window for the selected row (nothing without a selection).
    void GridDoubleClicked();
    // Enter on the grid opens the selected row as a double-click does; returns whether the
    // key was handled (Enter only).
    bool GridKeyPressed(char key);
    // The user moved the scroll bar: `topRow` is the first visible row now.
    void GridScrolled(int topRow, int visibleRows);
    // Scrolls the grid just enough to show `row` (a row chosen from the keyboard).
    void KeepGridRowVisible(int row, int visibleRows);

    // --- departure-time and class filters ---
    // The user changed either: the grid is filled again from the same results, as a click on
    // a filter box does. A new query resets them to 全天 and every class.
    void SetTimeClassFilter(const TimeClassFilter& filter);
    const TimeClassFilter& TimeClass() const { return timeClass_; }

    // --- station boxes ---
    void StationBoxEdited(Control box);
    // Key presses in the three boxes; returns whether the key was handled (Enter only).
    bool DepartureBoxKeyPressed(char key);
    bool ArrivalBoxKeyPressed(char key);
    bool StationBoxKeyPressed(char key);
    // Enter in the train-number box runs its query when TrainButton is enabled.
    bool TrainNumberKeyPressed(char key);

    // --- advanced menu ---
    void ShowAdvancedMenu();
    // Asks " 打印提示" and prints the shown rows on Yes.
    void PrintClicked();
    // Asks for a file name and writes the shown rows as a comma-separated file.
    void ExportClicked();

    // --- the detail window of a section (a journey leg) ---
    // Opens the detail window for a section of a train of `tt` (the typed timetable the
    // leg was planned on); false when the tables are loading or the train has no stops.
    bool OpenDetail(const Timetable& tt, const DetailSection& section);
    // The detail window of a train by its number, with no section marked (the screenshots
    // show one); false when there is no such train or the tables are loading.
    bool OpenTrainStops(std::string_view number);

    // --- state read by the views ---
    static constexpr int kVisibleGridRows = 16;
    const ResultGrid& Grid() const { return grid_; }
    const HeaderLabels& Labels() const { return labels_; }
    const ResultList& Results() const { return results_; }
    QueryKindValue QueryKind() const { return queryKind_; }
    // What the shown rows answer (GBK), for the head of a printed page: "站站查询：北京—上海",
    // "中转查询：…，经<station>", "车次查询：<key>", "车站全部车次：<station>".
    const std::string& ResultHeading() const { return heading_; }
    const std::string& TransferStation() const { return transferStation_; }
    int ShownCount() const { return grid_.ShownCount(); }
    StoredTables& Tables() { return tables_; }
    // The timetable in use, as the status bar shows it once every table has loaded.
    std::string TimetableText() const;
    // The timetable folder given to Start (empty: the embedded timetable).
    const std::string& TimetableFolder() const { return timetableFolder_; }
    // The installed timetable's name given to Start ("" for none).
    const std::string& TimetableName() const { return timetableName_; }
    const LoadFlags& Flags() const { return flags_; }
    // The open transfer window (only while it is shown).
    TransferWindowModel* TransferWindow() { return transferWindow_.get(); }
    // The open journey window (from its opening until JourneyWindowClosed).
    JourneyWindowModel* JourneyWindow() { return journeyWindow_.get(); }
    // The journey window's options before the user changes any: the program's, with the change
    // minutes the timetable folder's manifest gives.
    const JourneyOptions& JourneyDefaults() const { return journeyDefaults_; }
    // The railway map of the timetable in use, built on first use once every table has
    // loaded; nullptr before then and for a timetable without station places (no map).
    std::shared_ptr<const MapData> Map();

  private:
    bool Loaded(LoadTable table) const { return flags_.Loaded(table); }
    // A refused question: its message box with OK, then the focus goes to its input (a
    // silent refusal shows nothing).
    void ShowRefusal(const Refusal& refusal);
    // The tables as the questions read them, with which of them have loaded.
    QueryTables Questions();
    // A question was accepted: filters off, an empty grid, `heading` for what follows.
    void StartNewResults(const std::string& heading);
    // The checks of the two station boxes shared by the direct query and the journey
    // window, with their messages; true when the query may run.
    bool StationPairReady(const std::string& from, const std::string& to);
    // The same checks without a word to the user (an empty text: the tables are loading).
    std::optional<JourneyInputProblem> StationPairProblem(const std::string& from,
                                                          const std::string& to);
    bool TablesReadyForJourneys() const;
    // Builds the journey index once (and again after a reload), shared by every search.
    void EnsureJourneyIndex();
    void UncheckFilters();
    void ResetResultGrid();
    void FillResultGrid();
    void ShowHeaderLabels();
    // The transfer query and its window (StationPairClicked with PairQuery::Transfer).
    void RunTransferQuery(const std::string& from, const std::string& to);
    void OnTransferPick(const TransferPick& pick);

    MainView& view_;
    // Declared before the loader, which joins its threads when destroyed.
    StoredTables tables_;
    LoadFlags flags_;
    std::unique_ptr<TimetableLoader> loader_;
    std::string timetableFolder_;
    std::string timetableName_;
    unsigned loadGeneration_ = 0;  // Start's count: posted results of older loads are dropped
    bool loadFailed_ = false;
    int verifiedTables_ = 0;  // tables whose file matched the folder's manifest
    // Built once all four tables have loaded (and again after a reload): the typed
    // timetable, shared by the stop index, which lets the station-to-station, station
    // timetable and transfer queries read only the stations' own stops instead of scanning
    // every stop, and by the journey index.
    std::shared_ptr<const Timetable> timetable_;
    std::unique_ptr<StopIndex> stopIndex_;
    // The map over that timetable (see Map), and where its station places are read from.
    std::shared_ptr<const MapData> map_;
    const Timetable* mapFor_ = nullptr;  // the timetable map_ (or its absence) is for
    BlobSource mapSource_;

    ResultList results_;
    QueryKindValue queryKind_ = QueryKindValue::None;
    // The query to run again once a reloaded timetable is in (ReloadTimetable).
    QueryKindValue rerunAfterLoad_ = QueryKindValue::None;
    std::string heading_;
    std::string transferStation_;
    // The resolved stations of the last query and the working lists of the last transfer
    // query (the query engine's types).
    struct QueryState;
    std::unique_ptr<QueryState> state_;
    ResultGrid grid_;
    HeaderLabels labels_;
    TimeClassFilter timeClass_;
    std::unique_ptr<TransferWindowModel> transferWindow_;
    // Built on the first journey query (and again after a reload) over the typed timetable.
    std::unique_ptr<JourneyIndex> journeyIndex_;
    std::unique_ptr<JourneyWindowModel> journeyWindow_;
    JourneyOptions journeyDefaults_;
};

}  // namespace korvel
