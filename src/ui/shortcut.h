// Shortcuts to the program: freedesktop.org desktop entries on the user's desktop or in the
// applications menu. Paths and the link name are file-system text (UTF-8), not GBK.
#pragma once

#include <string>
#include <string_view>

namespace korvel::ui {

// Special folder numbers understood by CreateShortcut.
inline constexpr int kNoSpecialFolder = -1;
inline constexpr int kDesktopFolder = 0;   // the user's desktop directory
inline constexpr int kProgramsFolder = 2;  // the applications menu folder

// The name both menu commands give the shortcut.
inline constexpr std::string_view kShortcutLinkName = "Korvel时刻";

// The directory of a special folder, or an empty text for an unknown number or a
// desktop that cannot be determined. The desktop is XDG_DESKTOP_DIR (from the environment
// or the user-dirs.dirs file of xdg-user-dirs), else $HOME/Desktop; the applications folder
// is $XDG_DATA_HOME/applications, else $HOME/.local/share/applications. Nothing is created.
std::string SpecialFolderPath(int specialFolder);

// Writes the desktop entry `linkName`.desktop pointing at `target` (working directory: the
// target's directory) and returns whether it was written. An empty link name means the
// target's file name without its extension. With an empty folder and no special folder the
// desktop is used; a special folder of 0 or more wins over `folder`. An existing entry of
// the same name is replaced atomically and the file is made executable (desktops only
// launch trusted, executable entries).
//
// False when: the target is not an existing file; the special folder does not resolve to a
// directory (the applications folder is created when missing, as menus expect); the given
// folder does not exist; the link name would leave the folder (a path delimiter, "." or
// ".."); or writing fails.
bool CreateShortcut(const std::string& target, const std::string& linkName,
                    const std::string& folder, int specialFolder);

// The text of a desktop entry for `target` named `name`, with `icon` as its Icon key
// (omitted when empty). Values are escaped as the desktop-entry format requires.
std::string DesktopEntryText(std::string_view target, std::string_view name, std::string_view icon);

// The icon to name in an entry for `target`: the installed icon file next to the program
// (<prefix>/share/icons/hicolor/...) when there is one, else the theme name "korvel".
std::string ShortcutIconFor(std::string_view target);

// The menu commands: a shortcut named "Korvel时刻" to `executable` on the desktop, and in the
// applications menu. They return what CreateShortcut returned; the window shows nothing.
bool DesktopShortcutClicked(const std::string& executable);
bool StartMenuShortcutClicked(const std::string& executable);

// The path of the running program (from /proc/self/exe), or an empty text.
std::string RunningExecutablePath();

}  // namespace korvel::ui
