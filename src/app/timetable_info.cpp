// Which timetable the program is using and what it holds, in words for the status bar and
// the about box.
#include <string>

#include "app/main_controller.h"
#include "data/gbk.h"
#include "resources/resources.h"

namespace korvel {

std::string TimetableDescription(const std::string& folder, const StoredTables& tables,
                                 const LoadFlags& flags, bool verified,
                                 const std::string& installedName) {
    std::string text;
    if (!folder.empty() && !installedName.empty()) {
        // Package names are plain ASCII, the same bytes in GBK.
        text = Utf8ToGbk("已安装时刻表 ") + installedName;
    } else if (!folder.empty()) {
        text = Utf8ToGbk("时刻表目录 ") + Utf8ToGbk(folder);
        if (verified) text += Utf8ToGbk("（已按清单核对）");
    } else if (EmbeddedTimetableKind() == "builder") {
        text = Utf8ToGbk("内置2019年时刻表");
    } else {
        text = Utf8ToGbk("内置示例时刻表");
    }
    std::string counts;
    auto add = [&](LoadTable t, std::uint32_t n, const char* unit) {
        if (!flags.Loaded(t)) return;
        if (!counts.empty()) counts += ", ";
        counts += std::to_string(n) + Utf8ToGbk(unit);
    };
    add(LoadTable::KMList, tables.KMList.RecordCount(), "车次");
    add(LoadTable::KMTrain, tables.KMTrain.RecordCount(), "停站");
    add(LoadTable::KMPy, tables.KMPy.RecordCount(), "车站");
    if (!counts.empty()) text += ": " + counts;
    return text;
}

}  // namespace korvel
