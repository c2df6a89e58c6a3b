// korvel-cli journey: the journey planner between two stations, driven through the
// controller's "换乘方案" button as the window drives it.
//
//   korvel-cli journey FROM TO [--window HH:MM-HH:MM | --arrive HH:MM-HH:MM] [--max-transfers N]
//                      [--min-transfer MIN] [--city-transfer MIN] [--fare CLASS]
//                      [--alternatives N] [--format table|csv|json]
//   korvel-cli journey --help     (the options, with the change minutes the timetable sets)

#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "app/main_controller.h"
#include "cli/cmd_query_common.h"
#include "cli/commands.h"
#include "cli/console_view.h"
#include "data/clock.h"
#include "data/decimal.h"
#include "journey/journey_defaults.h"
#include "journey/journey_text.h"
#include "journey/planner.h"
#include "timetable/timetable_folder.h"
#include "views/journey_window.h"
#include "views/text_grid.h"
#include "views/time_class_filter.h"

namespace korvel::cli {

namespace {

struct JourneyArgs {
    std::string from, to;
    JourneyOptions options;
    // Given on the command line; the timetable's defaults otherwise.
    std::optional<int> minTransfer, cityTransfer;
    OutputFormat format = OutputFormat::Table;
    // The journey (1 the first) whose legs' other trains are printed.
    std::optional<int> alternatives;
    bool help = false;
};

const char* const kClasses[] = {"硬座", "软座", "硬卧", "软卧"};

std::optional<int> Number(const std::string& s) {
    return WholeInteger<int>(s);
}

// "HH:MM-HH:MM" into the window (an end before the start runs past midnight); the message
// on error.
std::optional<std::string> ParseWindow(const std::string& option, const std::string& text,
                                       JourneyOptions& o) {
    const std::size_t dash = text.find('-');
    const std::optional<int> a =
        dash == std::string::npos ? std::nullopt : ClockMinutes(text.substr(0, dash));
    const std::optional<int> b =
        dash == std::string::npos ? std::nullopt : ClockMinutes(text.substr(dash + 1));
    if (!a || !b) return option + " must be HH:MM-HH:MM, for example 08:00-12:30";
    o.windowStart = *a;
    o.windowEnd = *b;
    return std::nullopt;
}

std::optional<JourneyArgs> Parse(const Args& args, std::ostream& err) {
    JourneyArgs j;
    std::vector<std::string> positional;
    bool windowGiven = false;
    auto fail = [&](const std::string& why) -> std::optional<JourneyArgs> {
        err << "korvel-cli journey: " << why << "\n";
        return std::nullopt;
    };
    OptionReader reader(args);
    while (std::optional<OptionWord> word = reader.Next()) {
        const std::string& a = word->text;
        if (!word->option) {
            positional.push_back(a);
            continue;
        }
        if (a == "--help" || a == "-h") {
            j.help = true;
            return j;
        }
        if (a != "--window" && a != "--arrive" && a != "--max-transfers" && a != "--min-transfer" &&
            a != "--city-transfer" && a != "--format" && a != "--fare" && a != "--alternatives") {
            return fail("unknown option '" + a + "'");
        }
        if (!reader.FirstTime(a)) return fail(a + " given twice");
        const std::optional<std::string> value = reader.ValueOf(*word);
        if (!value) return fail(a + " needs a value");
        if (a == "--window" || a == "--arrive") {
            if (windowGiven) return fail("give one of --window and --arrive");
            windowGiven = true;
            if (auto why = ParseWindow(a, *value, j.options)) return fail(*why);
            if (a == "--arrive") j.options.windowOf = JourneyWindowOf::Arrival;
        } else if (a == "--fare") {
            FareClass c;
            if (!FareClassByName(ToGbk(*value), c))
                return fail("--fare must be one of 硬座, 软座, 硬卧, 软卧");
            j.options.fareClass = c;
        } else if (a == "--alternatives") {
            const std::optional<int> n = Number(*value);
            if (!n || *n < 1) return fail("--alternatives must be a journey number from 1");
            j.alternatives = *n;
        } else if (a == "--format") {
            const std::optional<OutputFormat> format = ParseOutputFormat(*value);
            if (!format) return fail("format must be table, csv or json");
            j.format = *format;
        } else {
            const std::optional<int> n = Number(*value);
            if (a == "--max-transfers") {
                if (!n || *n < 0 || *n > kMaxJourneyTransfers)
                    return fail("--max-transfers must be a number from 0 to 3");
                j.options.maxTransfers = *n;
            } else {
                if (!n || *n < 0 || *n > kMaxChangeMinutes)
                    return fail(a + " must be a number of minutes from 0 to 1440");
                (a == "--min-transfer" ? j.minTransfer : j.cityTransfer) = *n;
            }
        }
    }
    if (positional.size() != 2) return fail("expected 2 arguments: FROM TO");
    j.from = positional[0];
    j.to = positional[1];
    return j;
}

// The journey options with the change minutes the timetable in use sets, and where each
// comes from.
void WriteHelp(std::ostream& out) {
    const std::optional<data::Manifest> manifest =
        TimetableFolder().empty() ? std::nullopt
                                  : TimetableFolderSource(TimetableFolder()).GetManifest();
    const JourneyOptions d = JourneyDefaultsOf(manifest);
    auto from = [&](bool timetable) { return timetable ? ", the timetable's" : ", the program's"; };
    out << "usage: korvel-cli journey FROM TO [--window HH:MM-HH:MM | --arrive HH:MM-HH:MM]\n"
           "         [--max-transfers N] [--min-transfer MIN] [--city-transfer MIN]\n"
           "         [--fare CLASS] [--alternatives N] [--format table|csv|json]\n\n"
           "  --window        departures between two times (default the whole day)\n"
           "  --arrive        arrivals between two times instead\n"
           "  --max-transfers changes at most, 0 to 3 (default "
        << d.maxTransfers
        << ")\n"
           "  --min-transfer  minutes for a change at one station, 0 to 1440 (default "
        << d.minTransfer << from(manifest && manifest->minTransfer)
        << ")\n"
           "  --city-transfer minutes for a change between stations of one city, 0 to 1440\n"
           "                  (default "
        << d.cityTransfer << from(manifest && manifest->cityTransfer)
        << ")\n"
           "  --fare          the fare of a class (硬座, 软座, 硬卧 or 软卧; a sleeper's lowest\n"
           "                  berth) as one more thing a journey must not lose on; each journey\n"
           "                  and leg shows it; the cheapest journey comes first\n"
           "  --alternatives  for each leg of journey N, the other trains between its two\n"
           "                  stations that keep the journey's other connections\n";
}

// Tenths of a yuan as yuan: 3805 gives "380.5", 380 "38".
std::string Yuan(std::int32_t tenths) {
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
    return text;
}

std::string FareWord(const JourneyOptions& o) {
    return kClasses[static_cast<int>(*o.fareClass)];
}

void WriteTable(std::ostream& out, const JourneyWindowModel& m) {
    const bool fares = m.Options().fareClass.has_value();
    for (int i = 0; i < m.JourneyCount(); ++i) {
        const Journey& j = m.JourneyAt(i);
        if (i > 0) out << "\n";
        out << i + 1 << ". " << JourneyClockText(j.depart) << " " << ToUtf8(j.legs.front().from)
            << " → " << JourneyClockText(j.arrive) << " " << ToUtf8(j.legs.back().to) << "  历时"
            << JourneyDurationText(j.minutes) << "  换乘" << j.transfers << "次  " << j.distance
            << "km ";
        for (int c = 0; c < 4; ++c) out << " " << kClasses[c] << " " << j.fares[c];
        if (fares) out << "  " << FareWord(m.Options()) << "合计 " << Yuan(j.fare);
        out << "\n";
        for (std::size_t n = 0; n < j.legs.size(); ++n) {
            const JourneyLeg& l = j.legs[n];
            out << "   " << ToUtf8(l.trainId) << "  " << ToUtf8(l.from) << " "
                << JourneyClockText(l.depart) << " → " << ToUtf8(l.to) << " "
                << JourneyClockText(l.arrive);
            if (n + 1 < j.legs.size()) out << "  等候" << JourneyDurationText(l.wait);
            if (fares) out << "  " << FareWord(m.Options()) << " " << Yuan(l.fare);
            out << "\n";
        }
    }
    out << (m.JourneyCount() > 0 ? "\n" : "") << ToUtf8(m.StatusText()) << "\n";
}

void WriteJson(std::ostream& out, const JourneyWindowModel& m) {
    const bool fares = m.Options().fareClass.has_value();
    out << "{\"journeys\": [";
    for (int i = 0; i < m.JourneyCount(); ++i) {
        const Journey& j = m.JourneyAt(i);
        out << (i > 0 ? ",\n  " : "\n  ") << "{\"depart_minute\": " << j.depart
            << ", \"arrive_minute\": " << j.arrive << ", \"transfers\": " << j.transfers
            << ", \"minutes\": " << j.minutes << ", \"distance\": " << j.distance;
        if (fares) out << ", \"fare\": " << Yuan(j.fare);
        out << ", \"fares\": [";
        for (int c = 0; c < 4; ++c) out << (c > 0 ? ", " : "") << JsonString(j.fares[c]);
        out << "], \"legs\": [";
        for (std::size_t n = 0; n < j.legs.size(); ++n) {
            const JourneyLeg& l = j.legs[n];
            out << (n > 0 ? ", " : "") << "{\"train\": " << JsonString(ToUtf8(l.trainId))
                << ", \"from\": " << JsonString(ToUtf8(l.from))
                << ", \"to\": " << JsonString(ToUtf8(l.to)) << ", \"depart_minute\": " << l.depart
                << ", \"arrive_minute\": " << l.arrive;
            if (fares) out << ", \"fare\": " << Yuan(l.fare);
            out << "}";
        }
        out << "]}";
    }
    out << (m.JourneyCount() > 0 ? "\n]}\n" : "]}\n");
}

std::string LegText(const JourneyLeg& l) {
    return ToUtf8(l.trainId) + "  " + ToUtf8(l.from) + " " + JourneyClockText(l.depart) + " → " +
           ToUtf8(l.to) + " " + JourneyClockText(l.arrive);
}

// The other trains for each leg of journey n (1 the first); false when there is no such journey.
bool WriteAlternatives(std::ostream& out, const JourneyWindowModel& m, int n, bool json) {
    if (n > m.JourneyCount()) return false;
    const Journey& j = m.JourneyAt(n - 1);
    const bool fares = m.Options().fareClass.has_value();
    if (json) out << "{\"journey\": " << n << ", \"legs\": [";
    for (std::size_t leg = 0; leg < j.legs.size(); ++leg) {
        const std::vector<JourneyLeg> alts = m.Alternatives(n - 1, static_cast<int>(leg));
        if (json) {
            out << (leg > 0 ? ",\n  " : "\n  ")
                << "{\"train\": " << JsonString(ToUtf8(j.legs[leg].trainId))
                << ", \"alternatives\": [";
        } else {
            out << (leg > 0 ? "\n" : "") << n << "." << leg + 1 << " " << LegText(j.legs[leg])
                << "\n";
        }
        for (std::size_t a = 0; a < alts.size(); ++a) {
            const JourneyLeg& l = alts[a];
            if (json) {
                out << (a > 0 ? ", " : "") << "{\"train\": " << JsonString(ToUtf8(l.trainId))
                    << ", \"depart_minute\": " << l.depart << ", \"arrive_minute\": " << l.arrive;
                if (fares) out << ", \"fare\": " << Yuan(l.fare);
                out << "}";
                continue;
            }
            out << "   " << LegText(l);
            for (int c = 0; c < 4; ++c)
                out << " " << kClasses[c] << " " << (l.fares[c].empty() ? "-" : l.fares[c]);
            if (fares) out << "  " << FareWord(m.Options()) << " " << Yuan(l.fare);
            out << "\n";
        }
        if (json) out << "]}";
        if (!json && alts.empty()) out << "   没有别的车次\n";
    }
    if (json) out << "\n]}\n";
    return true;
}

int Plan(const Args& args, const BlobSource& source, std::ostream& out, std::ostream& err,
         const std::function<int(StoredTables&, const JourneyWindowModel&)>* use) {
    const std::optional<JourneyArgs> j = Parse(args, err);
    if (!j) return kExitUsage;
    if (j->help) {
        WriteHelp(out);
        return kExitOk;
    }

    ConsoleView view(err, false);
    MainController controller(view);
    StartOptions start;
    start.source = source;
    // Like every other command, a journey is planned on the --timetable folder, or refused.
    if (!source) {
        start.timetableFolder = TimetableFolder();
        start.timetableTables = TakeTimetableTables();
    }
    controller.Start(std::move(start));
    if (view.LoadFailed()) return kExitFailure;

    bool shown = false;
    int rc = kExitOk;
    view.onJourneyWindow = [&](JourneyWindowModel& m) {
        shown = true;
        // The change minutes not given are those the timetable sets.
        JourneyOptions o = j->options;
        o.minTransfer = j->minTransfer.value_or(m.Defaults().minTransfer);
        o.cityTransfer = j->cityTransfer.value_or(m.Defaults().cityTransfer);
        m.Options() = o;
        m.Search();
        if (use) {
            rc = (*use)(controller.Tables(), m);
            return;
        }
        if (j->alternatives) {
            if (m.JourneyCount() == 0) {
                err << "korvel-cli journey: " << ToUtf8(m.StatusText()) << "\n";
                rc = kExitFailure;
            } else if (!WriteAlternatives(out, m, *j->alternatives,
                                          j->format == OutputFormat::Json)) {
                err << "korvel-cli journey: there are " << m.JourneyCount()
                    << " journeys, no journey " << *j->alternatives << "\n";
                rc = kExitUsage;
            }
            return;
        }
        switch (j->format) {
            case OutputFormat::Table:
                WriteTable(out, m);
                break;
            case OutputFormat::Csv: {
                const TextGrid grid = m.LegGrid();
                WriteGrid(out, OutputFormat::Csv, JourneyWindowModel::ExportTitles(), grid,
                          grid.RowCount());
                break;
            }
            case OutputFormat::Json:
                WriteJson(out, m);
                break;
        }
        if (m.JourneyCount() == 0 && j->format != OutputFormat::Table)
            err << "korvel-cli journey: " << ToUtf8(m.StatusText()) << "\n";
    };
    view.SetText(Control::DepartureBox, ToGbk(j->from));
    view.SetText(Control::ArrivalBox, ToGbk(j->to));
    controller.JourneyClicked();
    if (view.ErrorCount() > 0) return kExitUsage;
    return shown ? rc : kExitFailure;
}

}  // namespace

int RunJourneyWith(const Args& args, const BlobSource& source, std::ostream& out,
                   std::ostream& err) {
    return Plan(args, source, out, err, nullptr);
}

int WithJourneys(const Args& args, const BlobSource& source, std::ostream& err,
                 const std::function<int(StoredTables&, const JourneyWindowModel&)>& use) {
    std::ostringstream unused;
    return Plan(args, source, unused, err, &use);
}

int RunJourney(const Args& args, std::ostream& out, std::ostream& err) {
    return RunJourneyWith(args, {}, out, err);
}

}  // namespace korvel::cli
