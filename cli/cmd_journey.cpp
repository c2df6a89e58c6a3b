// korvel-cli journey: the journey planner between two stations, driven through the
// controller's "换乘方案" button as the window drives it.
//
//   korvel-cli journey FROM TO [--window HH:MM-HH:MM | --arrive HH:MM-HH:MM] [--max-transfers N]
//                      [--min-transfer MIN] [--city-transfer MIN] [--format table|csv|json]
#include <charconv>
#include <optional>
#include <ostream>
#include <string>

#include "app/main_controller.h"
#include "cli/cmd_query_common.h"
#include "cli/commands.h"
#include "journey/planner.h"
#include "views/journey_window.h"
#include "views/text_grid.h"
#include "views/time_class_filter.h"

namespace korvel::cli {

namespace {

struct JourneyArgs {
    std::string from, to;
    JourneyOptions options;
    OutputFormat format = OutputFormat::Table;
};

std::optional<int> Number(const std::string& s) {
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
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
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
            positional.push_back(a);
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t eq = a.find('='); eq != std::string::npos) {
            value = a.substr(eq + 1);
            a.resize(eq);
        }
        if (a != "--window" && a != "--arrive" && a != "--max-transfers" && a != "--min-transfer" &&
            a != "--city-transfer" && a != "--format") {
            return fail("unknown option '" + a + "'");
        }
        if (!value) {
            if (i + 1 >= args.size()) return fail(a + " needs a value");
            value = args[++i];
        }
        if (a == "--window" || a == "--arrive") {
            if (windowGiven) return fail("give one of --window and --arrive");
            windowGiven = true;
            if (auto why = ParseWindow(a, *value, j.options)) return fail(*why);
            if (a == "--arrive") j.options.windowOf = JourneyWindowOf::Arrival;
        } else if (a == "--format") {
            if (*value == "table") {
                j.format = OutputFormat::Table;
            } else if (*value == "csv") {
                j.format = OutputFormat::Csv;
            } else if (*value == "json") {
                j.format = OutputFormat::Json;
            } else {
                return fail("format must be table, csv or json");
            }
        } else {
            const std::optional<int> n = Number(*value);
            if (a == "--max-transfers") {
                if (!n || *n < 0 || *n > kMaxJourneyTransfers)
                    return fail("--max-transfers must be a number from 0 to 3");
                j.options.maxTransfers = *n;
            } else {
                if (!n || *n < 0 || *n > kMaxChangeMinutes)
                    return fail(a + " must be a number of minutes from 0 to 1440");
                (a == "--min-transfer" ? j.options.minTransfer : j.options.cityTransfer) = *n;
            }
        }
    }
    if (positional.size() != 2) return fail("expected 2 arguments: FROM TO");
    j.from = positional[0];
    j.to = positional[1];
    return j;
}

const char* const kClasses[] = {"硬座", "软座", "硬卧", "软卧"};

void WriteTable(std::ostream& out, const JourneyWindowModel& m) {
    for (int i = 0; i < m.JourneyCount(); ++i) {
        const Journey& j = m.JourneyAt(i);
        if (i > 0) out << "\n";
        out << i + 1 << ". " << JourneyClockText(j.depart) << " " << ToUtf8(j.legs.front().from)
            << " → " << JourneyClockText(j.arrive) << " " << ToUtf8(j.legs.back().to) << "  历时"
            << JourneyDurationText(j.minutes) << "  换乘" << j.transfers << "次  " << j.distance
            << "km ";
        for (int c = 0; c < 4; ++c) out << " " << kClasses[c] << " " << j.fares[c];
        out << "\n";
        for (std::size_t n = 0; n < j.legs.size(); ++n) {
            const JourneyLeg& l = j.legs[n];
            out << "   " << ToUtf8(l.trainId) << "  " << ToUtf8(l.from) << " "
                << JourneyClockText(l.depart) << " → " << ToUtf8(l.to) << " "
                << JourneyClockText(l.arrive);
            if (n + 1 < j.legs.size()) out << "  等候" << JourneyDurationText(l.wait);
            out << "\n";
        }
    }
    out << (m.JourneyCount() > 0 ? "\n" : "") << ToUtf8(m.StatusText()) << "\n";
}

void WriteJson(std::ostream& out, const JourneyWindowModel& m) {
    out << "{\"journeys\": [";
    for (int i = 0; i < m.JourneyCount(); ++i) {
        const Journey& j = m.JourneyAt(i);
        out << (i > 0 ? ",\n  " : "\n  ") << "{\"depart_minute\": " << j.depart
            << ", \"arrive_minute\": " << j.arrive << ", \"transfers\": " << j.transfers
            << ", \"minutes\": " << j.minutes << ", \"distance\": " << j.distance
            << ", \"fares\": [";
        for (int c = 0; c < 4; ++c) out << (c > 0 ? ", " : "") << JsonString(j.fares[c]);
        out << "], \"legs\": [";
        for (std::size_t n = 0; n < j.legs.size(); ++n) {
            const JourneyLeg& l = j.legs[n];
            out << (n > 0 ? ", " : "") << "{\"train\": " << JsonString(ToUtf8(l.trainId))
                << ", \"from\": " << JsonString(ToUtf8(l.from))
                << ", \"to\": " << JsonString(ToUtf8(l.to)) << ", \"depart_minute\": " << l.depart
                << ", \"arrive_minute\": " << l.arrive << "}";
        }
        out << "]}";
    }
    out << (m.JourneyCount() > 0 ? "\n]}\n" : "]}\n");
}

}  // namespace

int RunJourneyWith(const Args& args, const BlobSource& source, std::ostream& out,
                   std::ostream& err) {
    const std::optional<JourneyArgs> j = Parse(args, err);
    if (!j) return kExitUsage;

    ConsoleView view(err, false);
    MainController controller(view);
    StartOptions start;
    start.source = source;
    controller.FormCreate(std::move(start));
    if (view.LoadFailed()) return kExitFailure;

    bool shown = false;
    view.onJourneyWindow = [&](JourneyWindowModel& m) {
        shown = true;
        m.Options() = j->options;
        m.Search();
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
    view.SetText(Control::ComboFZ, ToGbk(j->from));
    view.SetText(Control::ComboDZ, ToGbk(j->to));
    controller.BTNHCFAClick();
    if (view.ErrorCount() > 0) return kExitUsage;
    return shown ? kExitOk : kExitFailure;
}

int RunJourney(const Args& args, std::ostream& out, std::ostream& err) {
    return RunJourneyWith(args, {}, out, err);
}

}  // namespace korvel::cli
