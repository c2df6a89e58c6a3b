#include "timetable/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

#include "data/atomic_files.h"

namespace korvel::timetable {

namespace fs = std::filesystem;

namespace {

// Closes the descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

SourceRead Refuse(const fs::path& path, const std::string& reason, std::string& error) {
    error = path.string() + ": " + reason;
    return SourceRead::Refused;
}

// What the previous build left in the folder and may be replaced with it.
bool BuilderFile(std::string_view name, const std::vector<OutputFile>& files,
                 const std::string& reportName) {
    if (name.ends_with(".stream") || name == "manifest.txt" || name == "report.txt") return true;
    if (!reportName.empty() && name == reportName) return true;
    for (const OutputFile& f : files) {
        if (f.name == name) return true;
    }
    return false;
}

// The report's name when it lies in the output folder itself (it then goes into the new
// folder, or the swap would throw it away with the old one).
std::string ReportNameInside(const fs::path& out, const fs::path& reportPath) {
    if (reportPath.empty() || !reportPath.has_filename()) return {};
    std::error_code ec;
    const fs::path parent = fs::weakly_canonical(fs::absolute(reportPath, ec).parent_path(), ec);
    if (ec) return {};
    const fs::path folder = fs::weakly_canonical(fs::absolute(out, ec), ec);
    if (ec || parent != folder) return {};
    return reportPath.filename().string();
}

}  // namespace

SourceRead ReadSourceFile(const fs::path& path, std::string& out, std::string& error,
                          std::size_t maxBytes) {
    out.clear();
    // Non-blocking, so that opening a FIFO does not wait for a writer; the type is checked
    // on what was opened, not on a name that may change in between.
    Fd file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno == ENOENT) return SourceRead::Missing;
        return Refuse(path, std::string("cannot be read (") + std::strerror(errno) + ")", error);
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        return Refuse(path, std::string("cannot be read (") + std::strerror(errno) + ")", error);
    }
    if (S_ISDIR(st.st_mode)) return Refuse(path, "is a folder, not a file", error);
    if (!S_ISREG(st.st_mode)) return Refuse(path, "not a regular file", error);
    const std::string tooLarge = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return Refuse(path, tooLarge, error);

    out.reserve(static_cast<std::size_t>(st.st_size));
    // Also a file that grows while it is read stops at the cap.
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            return Refuse(path, std::string("cannot be read (") + std::strerror(errno) + ")",
                          error);
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            return Refuse(path, tooLarge, error);
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return SourceRead::Ok;
}

bool WriteOutputFolder(const fs::path& out, const std::vector<OutputFile>& files,
                       const fs::path& reportPath, const std::string& report, std::ostream& err,
                       const std::function<std::string(const std::string&)>& check) {
    const std::string reportInside = ReportNameInside(out, reportPath);
    data::FolderReplacement folder(out.string(), [&](std::string_view name) {
        return BuilderFile(name, files, reportInside);
    });
    auto fail = [&err](const std::string& message) {
        err << "korvel-ttbuild: " << message << "\n";
        return false;
    };
    if (auto error = folder.Begin()) return fail(*error);
    for (const OutputFile& f : files) {
        if (auto error = folder.Add(f.name, *f.bytes)) return fail(*error);
    }
    if (check) {
        if (const std::string bad = check(folder.StagingPath()); !bad.empty()) {
            return fail("the timetable built would not load: " + bad);
        }
    }
    data::PendingFile pendingReport;
    if (!reportInside.empty()) {
        if (auto error = folder.Add(reportInside, report)) return fail(*error);
    } else if (!reportPath.empty()) {
        pendingReport = data::PendingFile::Prepare(reportPath.string(), report);
        if (const auto& error = pendingReport.Error()) {
            return fail("cannot write " + reportPath.string() + ": " + error->Reason());
        }
    }
    if (auto error = folder.Commit()) return fail(*error);
    if (!reportPath.empty() && reportInside.empty()) {
        if (auto error = pendingReport.Commit()) {
            return fail("cannot write " + reportPath.string() + ": " + error->Reason());
        }
    }
    return true;
}

}  // namespace korvel::timetable
