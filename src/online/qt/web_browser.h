// One embedded browser of the main window (StartPageBrowser ... TicketsBrowser). It starts as a
// QTextBrowser, which shows written HTML and opens every link in the default browser, and turns
// into a view of the Qt WebEngine module when the first live page is asked for (or when the engine
// is installed). Context menus never open inside it.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "online/web_panels.h"

namespace korvel::ui {

// Opens an address in the user's default browser when ExternalLinkAllowed lets it out from
// that source; anything else is dropped without a word. Returns whether it was handed on.
// When no browser takes an address the program may open, the user is told so in a message
// box with the address to copy (BrowserFailureNotice, replaceable by tests).
bool OpenExternalUrl(const QUrl& url, LinkSource source = LinkSource::Program);
bool OpenWebLink(WebLink link);

// What the user is told when no browser could open `url`. Default: a message box over the
// active window, not waiting for an answer, with the address selectable for copying.
std::function<void(const QUrl& url)>& BrowserFailureNotice();
// The text of that box.
QString BrowserFailureText(const QUrl& url);

// Call before the QApplication is created: Chromium's sandbox refuses to start for root
// unless it is told not to use it.
void PrepareWebEngine();

// Whether browsers use Qt WebEngine: its module is built and not turned off by setting the
// environment variable KORVEL_TEXT_BROWSER=1 (which selects the plain text browser).
bool WebEngineEnabled();

struct EngineModuleApi;
// The Qt WebEngine module, loaded and started on the first call (on the user-interface
// thread, with the QApplication running) from beside the program or from its installed
// library folder. Null when WebEngine is turned off or the module cannot be loaded or
// started; the reason is reported once as a warning.
const EngineModuleApi* LoadWebEngineModule();

class EngineView;

class WebBrowser : public QWidget {
    Q_OBJECT

  public:
    explicit WebBrowser(QWidget* parent = nullptr);
    ~WebBrowser() override;

    // Replaces the text browser by a view of `module`, which shows the page last asked for.
    // With a null module the text browser stays for good.
    void InstallEngine(const EngineModuleApi* module);

    // Loads an address into the browser; a live page (not about:) loads the engine first
    // unless WebEngine is turned off or failed to load.
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
    QWidget* view_ = nullptr;
    EngineView* engine_ = nullptr;
    bool engineWanted_ = false;  // a live page will load the engine
    QString written_;
    QUrl navigated_;
};

}  // namespace korvel::ui
