#include "ui/shortcut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace korvel::ui {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

// A value of user-dirs.dirs: "$HOME/..." or an absolute path in double quotes.
std::string ExpandUserDirValue(std::string value, const std::string& home) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            out += value[++i];
        } else {
            out += value[i];
        }
    }
    if (out.rfind("$HOME", 0) == 0) {
        if (home.empty()) return {};
        return home + out.substr(5);
    }
    if (!out.empty() && out.front() == '/') return out;
    return {};
}

std::string DesktopDirectory() {
    std::string home = Env("HOME");
    if (std::string env = Env("XDG_DESKTOP_DIR"); !env.empty() && env.front() == '/') {
        return env;
    }
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        config = home.empty() ? std::string() : home + "/.config";
    }
    if (!config.empty()) {
        std::ifstream in(config + "/user-dirs.dirs");
        std::string line;
        while (std::getline(in, line)) {
            static constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
            std::size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0) {
                continue;
            }
            std::string value = line.substr(start + kKey.size());
            while (!value.empty() &&
                   (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
                value.pop_back();
            }
            if (std::string dir = ExpandUserDirValue(value, home); !dir.empty()) return dir;
        }
    }
    if (home.empty()) return {};
    return home + "/Desktop";
}

std::string ApplicationsDirectory() {
    std::string data = Env("XDG_DATA_HOME");
    if (!data.empty() && data.front() == '/') return data + "/applications";
    std::string home = Env("HOME");
    if (home.empty()) return {};
    return home + "/.local/share/applications";
}

// Escapes a value of a desktop-entry key: backslash and the control characters that
// would end the line.
std::string EscapeValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
    return out;
}

// One Exec argument: quoted when it holds anything but plain path characters, with the
// characters that are special inside quotes backslash-escaped, and "%" doubled since field
// codes start with it.
std::string ExecArgument(std::string_view path) {
    bool plain = !path.empty();
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '/' || c == '.' || c == '_' || c == '-' || c == '+' || u >= 0x80;
        if (!ok) plain = false;
    }
    std::string arg;
    if (!plain) arg += '"';
    for (char c : path) {
        if (!plain && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
        if (c == '%') arg += '%';
    }
    if (!plain) arg += '"';
    return arg;
}

// Writes `text` to `path` through a temporary file in the same directory, so that a reader
// never sees a half-written entry and an old entry is replaced in one step.
bool WriteFileAtomically(const fs::path& path, const std::string& text, mode_t mode) {
    std::string pattern = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX"));
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ok && ::fchmod(fd, mode) != 0) ok = false;
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(name.data(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(name.data());
    return ok;
}

bool IsSafeLinkName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\0' || c == '\n' || c == '\r') return false;
    }
    return true;
}

}  // namespace

std::string SpecialFolderPath(int specialFolder) {
    switch (specialFolder) {
        case kDesktopFolder:
            return DesktopDirectory();
        case kProgramsFolder:
            return ApplicationsDirectory();
        default:
            return {};
    }
}

std::string DesktopEntryText(std::string_view target, std::string_view name,
                             std::string_view icon) {
    fs::path targetPath{std::string(target)};
    std::string dir = targetPath.parent_path().string();
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.0\n";
    text += "Name=" + EscapeValue(name) + "\n";
    text += "Exec=" + EscapeValue(ExecArgument(target)) + "\n";
    if (!dir.empty()) text += "Path=" + EscapeValue(dir) + "\n";
    if (!icon.empty()) text += "Icon=" + EscapeValue(icon) + "\n";
    text +=
        "Terminal=false\n"
        "Categories=Utility;\n";
    return text;
}

std::string ShortcutIconFor(std::string_view target) {
    fs::path prefix = fs::path(std::string(target)).parent_path().parent_path();
    for (const char* rel : {"share/icons/hicolor/scalable/apps/korvel.svg",
                            "share/icons/hicolor/64x64/apps/korvel.png"}) {
        std::error_code ec;
        fs::path icon = prefix / rel;
        if (fs::is_regular_file(icon, ec)) return icon.string();
    }
    return "korvel";
}

bool CreateShortcut(const std::string& target, const std::string& linkName,
                    const std::string& folder, int specialFolder) {
    std::error_code ec;
    if (target.empty() || !fs::is_regular_file(target, ec)) return false;

    std::string name = linkName;
    if (name.empty()) name = fs::path(target).stem().string();
    if (!IsSafeLinkName(name)) return false;

    if (folder.empty() && specialFolder < 0) specialFolder = kDesktopFolder;
    fs::path dir;
    if (specialFolder >= 0) {
        std::string resolved = SpecialFolderPath(specialFolder);
        if (resolved.empty()) return false;
        if (specialFolder == kProgramsFolder) fs::create_directories(resolved, ec);
        if (!fs::is_directory(resolved, ec)) return false;
        dir = resolved;
    } else {
        std::string stripped = folder;
        while (stripped.size() > 1 && stripped.back() == '/') stripped.pop_back();
        if (!fs::is_directory(stripped, ec)) return false;
        dir = stripped;
    }

    fs::path absoluteTarget = fs::absolute(target, ec);
    if (ec) return false;
    std::string text =
        DesktopEntryText(absoluteTarget.string(), name, ShortcutIconFor(absoluteTarget.string()));
    return WriteFileAtomically(dir / (name + ".desktop"), text, 0755);
}

bool DesktopShortcutClicked(const std::string& executable) {
    return CreateShortcut(executable, std::string(kShortcutLinkName), "", kNoSpecialFolder);
}

bool StartMenuShortcutClicked(const std::string& executable) {
    return CreateShortcut(executable, std::string(kShortcutLinkName), "", kProgramsFolder);
}

std::string RunningExecutablePath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

}  // namespace korvel::ui
