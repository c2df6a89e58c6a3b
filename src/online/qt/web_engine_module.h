// The Qt WebEngine side of the embedded browsers, built as a module of its own that the
// program loads when the first live web page is asked for. Linking Qt WebEngine into the
// program itself would put its libraries, an OpenGL context and Chromium's start on the way
// to the first window; as a module they cost nothing until a web page is wanted, and a
// machine without it still runs the program with its plain text browsers.
//
// Only Qt Widgets types cross this boundary: the program never includes a WebEngine header.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "online/web_panels.h"

namespace korvel::ui {

// One WebEngine view, owned by its widget (deleting Widget() ends it).
class EngineView {
  public:
    virtual ~EngineView() = default;
    virtual QWidget* Widget() = 0;
    // Loads an address; about: pages are the program's own and hand their links out.
    virtual void Navigate(const QUrl& url) = 0;
    // Shows `html` as the document; its links open in the default browser.
    virtual void WriteHtml(const QString& html) = 0;
};

// What the program gives every view.
struct EngineHooks {
    // Hands an address to the default browser when it may leave from `source`.
    std::function<bool(const QUrl&, LinkSource)> openExternal;
    // A navigation or written document finished loading.
    std::function<void(bool)> loadFinished;
};

// The module's table of entry points, returned by its one exported C function.
struct EngineModuleApi {
    // Raised whenever this table or EngineView changes; the program refuses another value.
    int version;
    // Prepares the engine (the OpenGL context its views share). False when it cannot run.
    bool (*start)();
    // Makes a view under `parent`. Call only after start() returned true.
    EngineView* (*createView)(QWidget* parent, EngineHooks hooks);
};

inline constexpr int kEngineModuleVersion = 1;
inline constexpr const char* kEngineModuleEntry = "korvel_engine_module";
using EngineModuleEntry = const EngineModuleApi* (*)();

}  // namespace korvel::ui
