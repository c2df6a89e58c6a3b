// One embedded browser of the main window (WebB1 ... WebB4). It wraps a view of the Qt
// WebEngine module once that is installed, or else a QTextBrowser that shows written HTML and
// opens every link in the default browser. Context menus never open inside it.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include "online/web_panels.h"

namespace korvel {

// Opens an address in the user's default browser when ExternalLinkAllowed lets it out from
// that source; anything else is dropped without a word. Returns whether it was handed on.
bool OpenExternalUrl(const QUrl& url, LinkSource source = LinkSource::Program);
void OpenWebLink(WebLink link);

// Call before the QApplication is created: Chromium's sandbox refuses to start for root
// unless it is told not to use it.
void PrepareWebEngine();

// Whether browsers use Qt WebEngine: its module is built and not turned off by setting the
// environment variable KORVEL_TEXT_BROWSER=1 (which selects the plain text browser).
bool WebEngineEnabled();

struct EngineModuleApi;
// The Qt WebEngine module, loaded and started on the first call (on the user-interface
// thread, with the QApplication running) from `path`, or else from beside the program or
// its installed library folder. Null when WebEngine is turned off or the module cannot be
// loaded or started; the reason is reported once as a warning.
const EngineModuleApi* LoadWebEngineModule(const QString& path = QString());

class EngineView;

class WebBrowser : public QWidget {
    Q_OBJECT

  public:
    // With WebEngine turned on, a blank stand-in shows until InstallEngine; what is
    // navigated to or written meanwhile is shown once the engine is there.
    explicit WebBrowser(QWidget* parent = nullptr);
    ~WebBrowser() override;

    // Replaces the stand-in by a view of `module` (by the plain text browser when it is
    // null) and shows the page last asked for. Does nothing once a view is in place.
    void InstallEngine(const EngineModuleApi* module);
    bool WaitsForEngine() const { return standIn_; }

    // Loads an address into the browser.
    void Navigate(const QUrl& url);
    // Replaces the document by `html`, which then renders as the current page. Links in a
    // written document open in the default browser.
    void WriteHtml(const QString& html);

    // The widget that shows the page; mouse input arrives at it or at its children.
    QWidget* View() const { return view_; }
    bool UsesWebEngine() const { return engine_ != nullptr; }
    // The last written document (empty after Navigate) and the last address navigated to.
    const QString& WrittenHtml() const { return written_; }
    const QUrl& NavigatedUrl() const { return navigated_; }

  signals:
    // A navigation or written document finished loading (ok: the engine rendered it).
    void LoadFinished(bool ok);

  private:
    void ShowLastPage();

    QWidget* view_ = nullptr;
    EngineView* engine_ = nullptr;
    bool standIn_ = false;
    QString written_;
    QUrl navigated_;
};

}  // namespace korvel
