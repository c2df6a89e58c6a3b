// Shared set-up of the dialog tests: one offscreen QApplication, a small stop table, and
// where screenshots go.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/gbk.h"
#include "data/memtable.h"
#include "qt_text/qt_text.h"
#include "support/gbk_text.h"
#include "support/view_rows.h"

namespace korvel::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "korvel_dialogs_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            QDir().mkpath(QStringLiteral("/tmp/korvel-dialogs-runtime"));
            QFile::setPermissions(QStringLiteral("/tmp/korvel-dialogs-runtime"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            ::setenv("XDG_RUNTIME_DIR", "/tmp/korvel-dialogs-runtime", 1);
        }
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
        return a;
    }();
    return *app;
}

// Where the tests leave their pictures (the build tree; the committed copies are chosen by
// hand).
inline QString ShotDir() {
    // A run on a scaled screen keeps its pictures apart (screenshots/x2).
    QString dir = QStringLiteral(KORVEL_BINARY_DIR "/screenshots");
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        dir += QStringLiteral("/x") + qEnvironmentVariable("QT_SCALE_FACTOR");
    }
    QDir().mkpath(dir);
    return dir;
}

// Train Z9 from 北京西 over 12 stops (two days), a neighbour train before and after it, and a
// station in the user-defined area of GBK.
inline std::vector<Stop> SampleStops() {
    std::vector<Stop> s = {
        {"Z8", G("甲"), 1, "", "08:00", "0", 0},
        {"Z8", G("乙"), 2, "09:00", "", "1:0", 60},
    };
    const struct {
        const char* name;
        const char* arrive;
        const char* depart;
        const char* run;
        int km;
    } z9[] = {
        {"北京西", "", "20:05", "0", 0},           {"保定", "21:33", "21:36", "1:28", 146},
        {"石家庄", "22:41", "22:47", "2:36", 277}, {"邢台", "23:53", "23:56", "3:48", 385},
        {"邯郸", "00:31", "00:35", "4:26", 441},   {"安阳", "01:16", "01:19", "5:11", 500},
        {"新乡", "02:19", "02:25", "6:14", 610},   {"郑州", "03:17", "03:29", "7:12", 689},
        {"许昌", "04:33", "04:36", "8:28", 776},   {"驻马店", "06:01", "06:04", "9:56", 924},
        {"信阳", "07:15", "07:21", "11:10", 1036}, {"汉口", "09:40", "", "13:35", 1229},
    };
    int no = 1;
    for (const auto& z : z9) s.push_back({"Z9", G(z.name), no++, z.arrive, z.depart, z.run, z.km});
    s.push_back({"ZA", kUserArea, 1, "", "10:00", "0", 0});
    s.push_back({"ZA", G("丙"), 2, "10:30", "", "30", 20});
    return s;
}

}  // namespace korvel::test
