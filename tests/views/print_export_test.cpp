// Print layout (recorded drawing commands) and the comma-separated export file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "support/view_rows.h"
#include "views/grid_export.h"
#include "views/grid_print.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

struct Cmd {
    std::string kind;  // pen, font, line, text, page, end
    int a = 0, b = 0, c = 0, d = 0;
    std::string text;
};

class RecordingCanvas : public PrintCanvas {
  public:
    std::vector<Cmd> cmds;
    void SetPenWidth(int w) override { cmds.push_back({"pen", w}); }
    void SetFont(const std::string& family, int size) override {
        cmds.push_back({"font", size, 0, 0, 0, family});
    }
    void Line(int x1, int y1, int x2, int y2) override { cmds.push_back({"line", x1, y1, x2, y2}); }
    void Text(int x, int y, const std::string& t) override {
        cmds.push_back({"text", x, y, 0, 0, t});
    }
    void NewPage() override { cmds.push_back({"page"}); }
    void EndDocument() override { cmds.push_back({"end"}); }

    // The commands of each page.
    std::vector<std::vector<Cmd>> Pages() const {
        std::vector<std::vector<Cmd>> pages(1);
        for (const Cmd& c : cmds) {
            if (c.kind == "page") {
                pages.emplace_back();
            } else {
                pages.back().push_back(c);
            }
        }
        return pages;
    }
};

int CountTexts(const std::vector<Cmd>& cmds, const std::string& text) {
    int n = 0;
    for (const Cmd& c : cmds) n += c.kind == "text" && c.text == text;
    return n;
}

TextGrid MainGrid(int rows) {
    TextGrid g(15, std::max(rows, 16));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 15; ++c)
            g.SetCell(c, r, "R" + std::to_string(r) + "C" + std::to_string(c));
    }
    return g;
}

const PageMetrics kA4{4960, 7016, 600, 600};  // A4 at 600 dpi
const PrintDate kDate{2011, 9, 30};

const std::string kDateText =
    "2011\xC4\xEA"
    "9\xD4\xC2"
    "30\xC8\xD5";

TEST(PrintLayout, EveryPageHasTheHeaderWholeRowsAndNoBlankLastPage) {
    const std::string heading = "\xB3\xB5\xB4\xCE:Z9";  // 车次:Z9
    RecordingCanvas probe;
    EXPECT_EQ(MeasurePrintColumns(MainGrid(1), GridLayout::Main, 1, kA4, probe).pointSize, 10);
    int perPage = 0;  // rows on a full page, from the first job that needs two pages
    for (int rows : {0, 1, 38, 39, 40, 41, 80, 81, 200}) {
        RecordingCanvas canvas;
        const int pages =
            PrintGrid(MainGrid(rows), GridLayout::Main, rows, kA4, kDate, canvas, heading);
        auto perPageCmds = canvas.Pages();
        ASSERT_EQ(static_cast<int>(perPageCmds.size()), pages) << rows;
        std::vector<int> counts;
        for (int p = 0; p < pages; ++p) {
            const auto& cmds = perPageCmds[p];
            EXPECT_EQ(CountTexts(cmds, PrintTitle()), 1) << rows << " page " << p;
            EXPECT_EQ(CountTexts(cmds, kDateText), 1);
            EXPECT_EQ(CountTexts(cmds, heading), 1);
            EXPECT_EQ(CountTexts(cmds, "\xB3\xB5\xB4\xCE"), 1);  // the 车次 title
            EXPECT_EQ(CountTexts(cmds, PageNumberText(p + 1)), 1) << rows << " page " << p;
            int here = 0;
            for (int r = 0; r < rows; ++r) {
                const int first = CountTexts(cmds, "R" + std::to_string(r) + "C0");
                EXPECT_EQ(first, CountTexts(cmds, "R" + std::to_string(r) + "C14"));
                here += first;
            }
            counts.push_back(here);
        }
        if (pages > 1 && perPage == 0) perPage = counts[0];
        // Full pages, then the rest: never a page without rows after the first.
        for (int p = 0; p + 1 < pages; ++p) EXPECT_EQ(counts[p], counts[0]) << rows;
        if (rows > 0) {
            EXPECT_GT(counts.back(), 0) << rows;
        }
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), rows);
        if (perPage > 0) {
            EXPECT_EQ(pages, (rows + perPage - 1) / perPage) << rows;
        }
        EXPECT_EQ(canvas.cmds.back().kind, "end");
    }
    EXPECT_GT(perPage, 30);  // an A4 page holds a fair share of a station board
}

// Every text of a page against the layout: cells and titles inside their column's lines,
// nothing past the margins, no two texts of one line touching (the default measure: a GBK
// character one em, any other byte half of one).
void ExpectNoOverlap(const RecordingCanvas& canvas, const PageMetrics& page,
                     const PrintColumns& cols, const std::string& what) {
    for (const auto& cmds : canvas.Pages()) {
        std::map<int, std::vector<std::pair<int, int>>> rows;
        int size = 10;
        bool inTable = false;  // from the table's top line to the foot's font
        RecordingCanvas measure;
        for (const Cmd& c : cmds) {
            if (c.kind == "font") {
                size = c.a;
                inTable = false;
            }
            if (c.kind == "line" && c.b == c.d && !inTable) inTable = true;
            if (c.kind != "text") continue;
            const int width = measure.TextWidth(c.text, size * page.dpiX / 72);
            EXPECT_GE(c.a, page.dpiX / 3) << what << c.text;
            EXPECT_LE(c.a + width, page.width - page.dpiX / 3) << what << c.text;
            rows[c.b].push_back({c.a, c.a + width});
            if (inTable) {
                auto right = std::upper_bound(cols.edges.begin(), cols.edges.end(), c.a);
                if (right != cols.edges.end()) {
                    EXPECT_LE(c.a + width, *right) << what << c.text;
                }
            }
        }
        for (auto& [y, spans] : rows) {
            std::sort(spans.begin(), spans.end());
            for (std::size_t k = 1; k < spans.size(); ++k)
                EXPECT_LT(spans[k - 1].second, spans[k].first) << what << " at y " << y;
        }
    }
}

TEST(PrintLayout, NoTextCrossesItsColumnTheMarginsOrAnotherText) {
    const std::string longStation(40, '\xB1');  // a cell far wider than any column
    for (const PageMetrics& page : {kA4, PageMetrics{2550, 3300, 300, 300}}) {
        for (GridLayout layout : {GridLayout::Main, GridLayout::Detail, GridLayout::Journey}) {
            const int columns = LayoutColumnCount(layout);
            for (bool overlong : {false, true}) {
                TextGrid g(columns, 40);
                for (int r = 0; r < 40; ++r) {
                    for (int c = 0; c < columns; ++c) {
                        g.SetCell(c, r,
                                  c == 13 ? "283/293/302" : "\xD6\xA3\xD6\xDD" + std::to_string(r));
                    }
                }
                if (overlong) g.SetCell(1, 7, longStation + longStation);
                const std::string heading(overlong ? 300 : 20, 'Q');
                // The foot's note on the timetable and fares, beside the page number.
                const std::string note(overlong ? 300 : 20, 'N');
                RecordingCanvas canvas;
                PrintGrid(g, layout, 40, page, PrintDate{2026, 12, 28}, canvas, heading, note);
                const PrintColumns cols = MeasurePrintColumns(g, layout, 40, page, canvas);
                EXPECT_EQ(cols.cut, overlong && layout == GridLayout::Main);
                const std::string what =
                    std::to_string(page.dpiX) + " dpi, " + std::to_string(columns) + " columns: ";
                ExpectNoOverlap(canvas, page, cols, what);
            }
        }
    }
    // A cut text ends in "…" and keeps whole GBK characters.
    RecordingCanvas canvas;
    const std::string four(8, '\xB1');  // four characters, 40 wide at an em of 10
    EXPECT_EQ(FitPrintText(four, 30, 10, canvas), four.substr(0, 4) + "\xA1\xAD");
    EXPECT_EQ(FitPrintText("ab" + four, 30, 10, canvas), "ab\xB1\xB1\xA1\xAD");
    EXPECT_EQ(FitPrintText(four, 40, 10, canvas), four);
    EXPECT_EQ(FitPrintText(four, 5, 10, canvas), "");
}

TEST(PrintLayout, DetailLayoutTitlesAndDate) {
    TextGrid g(8, 20);
    g.SetCell(0, 0, "1");
    RecordingCanvas canvas;
    PrintGrid(g, GridLayout::Detail, 1, kA4, kDate, canvas);
    EXPECT_EQ(CountTexts(canvas.cmds, "\xCA\xB1\xCB\xD9"), 1);  // 时速
    EXPECT_EQ(LayoutTitle(GridLayout::Detail, 8), "");
    EXPECT_EQ(LayoutTitle(GridLayout::Main, 14), "\xC8\xED\xCE\xD4");
    EXPECT_EQ(PrintDateText({2024, 1, 5}),
              "2024\xC4\xEA"
              "1\xD4\xC2"
              "5\xC8\xD5");
}

// --- export ---

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

struct ExportDir : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "korvel-export-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::vector<std::string> Entries(const fs::path& d) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename());
        return names;
    }
};

TEST_F(ExportDir, TwoRowsGiveNineCrLfLines) {
    TextGrid g(15, 16);
    for (int c = 0; c < 15; ++c) {
        g.SetCell(c, 0, "a" + std::to_string(c));
        g.SetCell(c, 1, c == 1 ? test::kUserArea : "-");
    }
    const fs::path target = dir / "out.csv";
    ASSERT_FALSE(ExportGrid(g, GridLayout::Main, 2, target.string()));
    const std::string text = ReadAll(target);
    std::string expected =
        "\r\n\r\n" + ExportPublisherName() + "\r\n" + ExportPublisherAddress() + "\r\n\r\n\r\n";
    expected +=
        "\xB3\xB5\xB4\xCE,\xCA\xBC\xB7\xA2,\xD6\xD5\xB5\xBD,\xB3\xB5\xD0\xCD,"
        "\xB7\xA2\xD5\xBE,\xB7\xA2\xCA\xB1,\xB5\xBD\xD5\xBE,\xB5\xBD\xCA\xB1,"
        "\xCD\xA3\xD5\xBE,\xC0\xEF\xB3\xCC,\xC0\xFA\xCA\xB1,\xD3\xB2\xD7\xF9,"
        "\xC8\xED\xD7\xF9,\xD3\xB2\xCE\xD4,\xC8\xED\xCE\xD4\r\n";
    expected += "a0,a1,a2,a3,a4,a5,a6,a7,a8,a9,a10,a11,a12,a13,a14\r\n";
    expected += "-," + test::kUserArea + ",-,-,-,-,-,-,-,-,-,-,-,-,-\r\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(BuildExportLines(g, GridLayout::Main, 2).size(), 9u);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"out.csv"});
}

TEST_F(ExportDir, CellsWithSeparatorsAreQuoted) {
    TextGrid g(8, 20);
    g.SetCell(1, 0, "A,B");
    auto lines = BuildExportLines(g, GridLayout::Detail, 1);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[7], ",\"A,B\",,,,,,");
}

TEST_F(ExportDir, ReplacesAnExistingFileWhole) {
    const fs::path target = dir / "old.csv";
    WriteAll(target, std::string(5000, 'x'));
    ASSERT_FALSE(WriteExportFile(target.string(), "new"));
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(Entries(dir).size(), 1u);
}

TEST_F(ExportDir, MissingFolderReportsTheError) {
    const std::string target = (dir / "missing" / "x.csv").string();
    auto error = WriteExportFile(target, "data");
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "Cannot create file \"" + target + "\". No such file or directory");
    // A target that is a folder.
    EXPECT_EQ(TryWriteExportFile(target, "data")->kind, ExportFailure::Kind::NoFolder);
    fs::create_directory(dir / "sub.csv");
    EXPECT_TRUE(WriteExportFile((dir / "sub.csv").string(), "data"));
    EXPECT_EQ(TryWriteExportFile((dir / "sub.csv").string(), "data")->kind,
              ExportFailure::Kind::NotAFile);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"sub.csv"});
}

// Runs `body` in a child process and returns its exit status (77: cannot run here).
template <class F>
int InChild(F body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(ExportDir, ReadOnlyFolderLeavesOldFile) {
    const fs::path target = dir / "keep.csv";
    WriteAll(target, "old content");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    int rc = InChild([&] {
        // Root ignores folder permissions: drop to an ordinary user first.
        if (::geteuid() == 0 && ::setuid(65534) != 0) return 77;
        auto error = WriteExportFile(target.string(), "new content");
        return error && error->rfind("Cannot create file \"", 0) == 0 ? 0 : 1;
    });
    fs::permissions(dir, fs::perms::owner_all);
    if (rc == 77) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadAll(target), "old content");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.csv"});
}

TEST_F(ExportDir, ReadOnlyFolderWithWritableFileIsWrittenInPlace) {
    const fs::path target = dir / "shared.csv";
    WriteAll(target, "old content that is longer than the new one");
    fs::permissions(target, fs::perms::all);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    int rc = InChild([&] {
        if (::geteuid() == 0 && ::setuid(65534) != 0) return 77;
        // No temporary file can be made here: that is the case under test.
        const std::string probe = (dir / "probe").string();
        if (::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0) return 78;
        auto error = WriteExportFile(target.string(), "new content");
        if (error) return 1;
        // A file that does not exist yet cannot be made there: the usual error.
        const std::string fresh = (dir / "fresh.csv").string();
        error = WriteExportFile(fresh, "x");
        return error && *error == "Cannot create file \"" + fresh + "\". Permission denied" ? 0 : 2;
    });
    fs::permissions(dir, fs::perms::owner_all);
    if (rc == 77) GTEST_SKIP() << "cannot drop privileges";
    ASSERT_NE(rc, 78) << "the folder is writable after all";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadAll(target), "new content");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.csv"});
}

TEST_F(ExportDir, SymbolicLinksAreFollowedToTheirTarget) {
    fs::create_directory(dir / "real");
    const fs::path target = dir / "real" / "target.csv";
    WriteAll(target, "old");
    fs::create_symlink("real/target.csv", dir / "link.csv");  // relative to the link's folder
    fs::create_symlink(dir / "link.csv", dir / "chain.csv");  // absolute, to another link
    ASSERT_FALSE(WriteExportFile((dir / "link.csv").string(), "one"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(ReadAll(target), "one");
    ASSERT_FALSE(WriteExportFile((dir / "chain.csv").string(), "two"));
    EXPECT_TRUE(fs::is_symlink(dir / "chain.csv"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(ReadAll(target), "two");
    EXPECT_EQ(Entries(dir / "real"), std::vector<std::string>{"target.csv"});

    // A link to a file that does not exist yet creates that file.
    fs::create_symlink("real/new.csv", dir / "dangling.csv");
    ASSERT_FALSE(WriteExportFile((dir / "dangling.csv").string(), "three"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.csv"));
    EXPECT_EQ(ReadAll(dir / "real" / "new.csv"), "three");

    // A loop of links is reported with the name the user chose.
    fs::create_symlink("loop-b.csv", dir / "loop-a.csv");
    fs::create_symlink("loop-a.csv", dir / "loop-b.csv");
    const std::string loop = (dir / "loop-a.csv").string();
    auto error = WriteExportFile(loop, "x");
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "Cannot create file \"" + loop + "\". " + std::strerror(ELOOP));
}

TEST_F(ExportDir, ReplacedFileKeepsItsModeAndOwner) {
    const fs::path target = dir / "private.csv";
    WriteAll(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    // Only root can give the file to someone else; otherwise it stays the user's own.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);
    ASSERT_FALSE(WriteExportFile(target.string(), "new"));
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced through the temporary file
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(ReadAll(target), "new");

    // A new file gets the usual permissions of a new file.
    const mode_t mask = ::umask(022);
    ASSERT_FALSE(WriteExportFile((dir / "fresh.csv").string(), "x"));
    ::umask(mask);
    struct stat fresh {};
    ASSERT_EQ(::stat((dir / "fresh.csv").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0644u);
}

TEST_F(ExportDir, WriteFailingMidwayLeavesOldFile) {
    const fs::path target = dir / "keep.csv";
    WriteAll(target, "old content");
    int rc = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 77;
        auto error = WriteExportFile(target.string(), std::string(100000, 'n'));
        return error && error->find("File too large") != std::string::npos ? 0 : 1;
    });
    if (rc == 77) GTEST_SKIP() << "cannot limit the file size";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadAll(target), "old content");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.csv"});
}

}  // namespace
}  // namespace korvel
