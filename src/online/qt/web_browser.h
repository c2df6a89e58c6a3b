// One embedded browser of the main window (WebB1 ... WebB4). It wraps a Qt WebEngine view
// when the program is built with it, or else a QTextBrowser that shows written HTML and
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

// Call before the QApplication is created: Qt WebEngine needs shared OpenGL contexts, and
// Chromium's sandbox refuses to start for root unless it is told not to use it.
void PrepareWebEngine();

// Whether browsers use Qt WebEngine: built with it and not turned off by setting the
// environment variable KORVEL_TEXT_BROWSER=1 (which selects the plain text browser).
bool WebEngineEnabled();

class WebBrowser : public QWidget {
    Q_OBJECT

  public:
    explicit WebBrowser(QWidget* parent = nullptr);
    ~WebBrowser() override;

    // Loads an address into the browser.
    void Navigate(const QUrl& url);
    // Replaces the document by `html`, which then renders as the current page. Links in a
    // written document open in the default browser.
    void WriteHtml(const QString& html);

    // The widget that shows the page; mouse input arrives at it or at its children.
    QWidget* View() const { return view_; }
    bool UsesWebEngine() const { return engine_; }
    // The last written document (empty after Navigate) and the last address navigated to.
    const QString& WrittenHtml() const { return written_; }
    const QUrl& NavigatedUrl() const { return navigated_; }

  signals:
    // A navigation or written document finished loading (ok: the engine rendered it).
    void LoadFinished(bool ok);

  private:
    QWidget* view_ = nullptr;
    bool engine_ = false;
    QString written_;
    QUrl navigated_;
};

}  // namespace korvel
