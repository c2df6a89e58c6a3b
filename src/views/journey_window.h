// The journey window model ("换乘方案"): the planner's journeys between the window's own two
// station boxes for a departure window and change limits, as rows of a tree (a summary row per
// journey, its legs beneath), sortable by departure, arrival, total time, changes and fares, with
// the legs exportable through the grid's CSV writer. No user interface here.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journey/journey_request.h"
#include "journey/planner.h"
#include "query/pinyin_input.h"
#include "views/detail_window.h"
#include "views/grid_export.h"
#include "views/text_grid.h"

namespace korvel {

// Why the two station texts cannot be planned yet: the message box's caption and text, and
// the box that takes the focus. An empty text means "not yet" (the tables are still loading):
// nothing is said.
struct JourneyInputProblem {
    std::string caption;
    std::string text;
    bool toBox = false;  // 到站 (else 发站)
};

class JourneyWindowModel {
  public:
    // Columns of the tree, for the summary row / a leg row:
    //   0 方案 (number / train), 1 发站, 2 发时, 3 到站, 4 到时 ("+N" on a later day),
    //   5 历时, 6 换乘 (changes / -), 7 等候 (- / wait before the next leg), 8 里程,
    //   9 硬座, 10 软座, 11 硬卧, 12 软卧 (total / the leg's fare, "-" when none).
    static constexpr int kColumns = 13;
    static constexpr int kDepartColumn = 2;
    static constexpr int kArriveColumn = 4;
    static constexpr int kTimeColumn = 5;
    static constexpr int kChangesColumn = 6;
    static constexpr int kFirstFareColumn = 9;

    // Plans between two station texts (GBK, as the boxes hold them); no journeys for a pair
    // that cannot be planned.
    using Planner = std::function<JourneyAnswer(const std::string& from, const std::string& to,
                                                const JourneyOptions&)>;

    // `from` and `to` are the stations the window starts with (GBK, may be empty).
    JourneyWindowModel(std::string from, std::string to, Planner planner);

    // "换乘方案:<from>→<to>", or "换乘方案" while a box is empty.
    const std::string& Caption() const { return caption_; }
    const std::string& From() const { return from_; }
    const std::string& To() const { return to_; }
    // The window's own boxes; the next search plans between them.
    void SetStations(std::string from, std::string to);
    // 发站 and 到站 change places.
    void Swap() { SetStations(to_, from_); }
    // The checks of the two stations (the main window's, given by the controller): nothing
    // when they can be planned. Without the check every pair passes.
    std::optional<JourneyInputProblem> CheckStations() const;
    std::function<std::optional<JourneyInputProblem>(const std::string&, const std::string&)>
        checkStations;
    // What a station box does with its new text: the pinyin-initial list from the station
    // table (nullptr until it has loaded) as in the main window.
    ComboChangeResult BoxChanged(const std::string& text) const;
    std::function<MemTable*()> stationList;
    static std::vector<std::string> ColumnTitles();

    JourneyOptions& Options() { return options_; }
    const JourneyOptions& Options() const { return options_; }
    // The timetable's options before the user changes any (its change minutes may differ from
    // the program's); sets the options to them.
    void SetDefaults(const JourneyOptions& defaults) { defaults_ = options_ = defaults; }
    const JourneyOptions& Defaults() const { return defaults_; }
    // Checks the options and plans. A refused option clears the list (an answer to other
    // options must not stay on screen as if it were this one's). The journeys come sorted by
    // the current sort column. The window may run past midnight, and may hold the arrivals
    // (Options().windowOf).
    JourneyOptionError Search();
    // Shows the answer of a search made for the current options and stations (what Search
    // does once the planner has answered): sorted by the current sort column, or cheapest
    // first with a fare class, with its status line. For two stations of one city the status
    // says that only direct trains are listed.
    void ShowAnswer(JourneyAnswer answer);
    bool Searched() const { return searched_; }
    // Whether the list on show answers the current options and can be exported: after a
    // search that was not refused, on the timetable in use.
    bool CanExport() const { return searched_ && !outdated_; }

    // The timetable the journeys on show were planned on has been replaced. They stay on show
    // for the traveller to read, but their trains and stations are numbers of a timetable no
    // longer in use: no other trains for a leg, no stop list and no export until a search
    // plans again (Replan, or the user's).
    void TimetableReplaced();
    bool Outdated() const { return outdated_; }
    // Plans the last search again on the timetable now in use. False, the journeys staying on
    // show outdated, when its stations cannot be planned there (or the tables are still
    // loading); OutdatedText says which.
    bool Replan();
    // The timetable that replaced the old one could not be loaded.
    void ReplacementFailed();
    // Why outdated journeys are on show (GBK): the timetable is loading, failed to load, or
    // lacks a station; that they answer the old timetable.
    const std::string& OutdatedText() const { return outdatedText_; }
    // "共<N>个换乘方案", "没有找到换乘方案。", or the refused option's explanation; empty
    // before the first search. For two stations of one city the answer is led by
    // "<from>和<to>在同一城市，只列出直达的列车。".
    const std::string& StatusText() const { return status_; }

    int JourneyCount() const { return static_cast<int>(journeys_.size()); }
    const Journey& JourneyAt(int row) const { return journeys_[row]; }
    const std::vector<Journey>& Journeys() const { return journeys_; }
    // The typed timetable the journeys on show refer to (none before the first answer).
    const std::shared_ptr<const Timetable>& ShownTimetable() const { return timetable_; }
    // With a fare class in the options: "最便宜" on the answer's cheapest journey in that class
    // and "最快" on its fastest (both on one that is both), shown in a summary row's wait
    // cell, whose class cell shows the journey's total in that class. Empty without a class.
    std::string Marks(int journey) const;
    // The cells of a summary row and of one leg row (GBK).
    std::vector<std::string> SummaryCells(int journey) const;
    std::vector<std::string> LegCells(int journey, int leg) const;

    // A header click: departure, arrival, total time, changes and the four fares sort (a
    // second click on the same column reverses); other columns do nothing (false).
    bool SortByColumn(int column);
    // The current sort column (departure at first) and direction.
    int SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }

    // The train detail window's section for a leg (its train boarding where the leg does,
    // riding its stops).
    DetailSection LegSection(int journey, int leg) const;
    // A double-click on a leg: runs the handler with its section. Nothing for a summary row
    // (leg < 0), a row out of range or an outdated answer.
    void OpenLeg(int journey, int leg);
    std::function<void(const DetailSection&)> onOpenLeg;

    // The other trains for a leg of a journey on show that keep its other connections (see
    // LegAlternatives), and the journey with one of them in the leg's place. Nothing without
    // the hook (given by the controller, which holds the timetable).
    std::vector<JourneyLeg> Alternatives(int journey, int leg) const;
    std::function<std::vector<JourneyLeg>(const Journey&, int leg, const JourneyOptions&)>
        legAlternatives;
    void ReplaceLeg(int journey, int leg, const JourneyLeg& replacement);

    // One row per leg, numbered by journey, in the columns of ExportTitles() (the CSV of
    // korvel-cli journey and of the export).
    TextGrid LegGrid() const;
    static std::vector<std::string> ExportTitles();
    // What the journeys on show answer, for the head of the export (GBK):
    // "换乘方案：北京—上海，出发时间
    // 06:00-12:00，最多换乘2次，同站换乘至少30分，同城换乘至少120分".
    std::string AnswerHeading() const;
    // Writes LegGrid() as the grid export does (GBK, CR LF, the publisher head, then
    // AnswerHeading()); nothing on success, else why not.
    std::optional<ExportFailure> Export(const std::string& path) const;

  private:
    void Sort();

    std::string from_, to_;
    std::string caption_;
    Planner planner_;
    JourneyOptions defaults_;
    JourneyOptions options_;
    std::vector<Journey> journeys_;
    bool searched_ = false;
    bool outdated_ = false;
    std::string outdatedText_;
    std::shared_ptr<const Timetable> timetable_;
    std::string status_;
    int sortColumn_ = kDepartColumn;
    bool ascending_ = true;
};

// The change minutes a window offers, given the choice kept from an earlier run (if any) and
// the default that run offered (settings from before timetables had defaults of their own
// kept none: the program's was offered then). A kept choice the user moved away from its
// default wins; one left at the default follows the timetable in use, so that a timetable
// with other change rules is planned by them until the user says otherwise.
int OfferedChangeMinutes(std::optional<int> kept, std::optional<int> keptDefault,
                         int programDefault, int timetableDefault);

// What the dialog shows for a refused option (GBK), empty for None.
std::string JourneyOptionErrorText(JourneyOptionError error);

}  // namespace korvel
