// The Qt WebEngine module: views whose pages keep every link that leaves the program under
// the program's rules. Loaded by the program with the first live page (see web_browser.cpp).
#include "online/qt/web_engine_module.h"

#include <QOpenGLContext>
#include <QStringList>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

// Qt WebEngine needs one OpenGL context that all its views share. Qt makes it while the
// application starts when Qt::AA_ShareOpenGLContexts is set, but that costs every start an
// OpenGL set-up before the window can show. A module loaded later makes it itself, through
// the same exported Qt GUI functions that Qt WebEngine uses for this.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace korvel::ui {
namespace {

// Catches the address of a link of the program's own page that asked for a new window and
// hands it to the default browser; the page itself is never shown.
class ExternalLinkPage : public QWebEnginePage {
  public:
    ExternalLinkPage(const EngineHooks& hooks, QObject* parent)
        : QWebEnginePage(parent), hooks_(hooks) {
        settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        hooks_.openExternal(url, LinkSource::Program);
        deleteLater();
        return false;
    }

  private:
    const EngineHooks& hooks_;
};

// Live pages navigate in place; links clicked in a written document (the start page) and
// links that want a new window open in the default browser instead.
class KorvelWebPage : public QWebEnginePage {
  public:
    KorvelWebPage(const EngineHooks& hooks, QObject* parent)
        : QWebEnginePage(parent), hooks_(hooks) {
        ShowWritten(false);
        connect(this, &QWebEnginePage::linkHovered, this,
                [this](const QString& url) { hovered_ = QUrl(url); });
        connect(this, &QWebEnginePage::loadStarted, this, [this] { hovered_.clear(); });
        connect(this, &QWebEnginePage::newWindowRequested, this,
                [this](QWebEngineNewWindowRequest& request) { LiveNewWindow(request); });
    }

    // Schemes the engine does not show itself (mailto, tel, other programs' handlers) go to
    // the desktop: from the program's own page (its mail address) but never from a live one.
    void ShowWritten(bool written) {
        showsWrittenDocument_ = written;
        settings()->setUnknownUrlSchemePolicy(written
                                                  ? QWebEngineSettings::AllowAllUnknownUrlSchemes
                                                  : QWebEngineSettings::DisallowUnknownUrlSchemes);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // From the program's own page, links and any address the engine would hand to the
        // desktop itself go through the same door as every other link.
        static const QStringList shownHere = {QStringLiteral("about"), QStringLiteral("data"),
                                              QStringLiteral("blob"), QStringLiteral("http"),
                                              QStringLiteral("https")};
        if (showsWrittenDocument_ &&
            (type == NavigationTypeLinkClicked || !shownHere.contains(url.scheme()))) {
            hooks_.openExternal(url, LinkSource::Program);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    // A live page's console messages are its own business; they never reach the terminal
    // the program was started from.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
    // A live page gets no window: its request comes to LiveNewWindow instead.
    QWebEnginePage* createWindow(WebWindowType) override {
        if (!showsWrittenDocument_) return nullptr;
        return new ExternalLinkPage(hooks_, this);
    }

  private:
    // A live page may send an address to the desktop only as a link the user clicked: the
    // request comes from the user's own click or key press, and names the link under the
    // pointer. Scripts that open windows on their own (on load, on a timer, from a click
    // elsewhere on the page) reach nothing; the request is dropped.
    void LiveNewWindow(const QWebEngineNewWindowRequest& request) {
        if (showsWrittenDocument_ || !request.isUserInitiated() || hovered_.isEmpty() ||
            request.requestedUrl() != hovered_) {
            return;
        }
        hooks_.openExternal(request.requestedUrl(), LinkSource::LivePage);
    }

    QUrl hovered_;  // the link under the pointer, empty when none
    const EngineHooks& hooks_;
    bool showsWrittenDocument_ = false;
};

class KorvelWebView : public QWebEngineView, public EngineView {
  public:
    KorvelWebView(QWidget* parent, EngineHooks hooks)
        : QWebEngineView(parent), hooks_(std::move(hooks)), page_(new KorvelWebPage(hooks_, this)) {
        setPage(page_);
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (hooks_.loadFinished) hooks_.loadFinished(ok);
        });
    }

    QWidget* Widget() override { return this; }
    void Navigate(const QUrl& url) override {
        page_->ShowWritten(url.scheme() == QLatin1String("about"));
        load(url);
    }
    void WriteHtml(const QString& html) override {
        page_->ShowWritten(true);
        setHtml(html, QUrl(QStringLiteral("about:blank")));
    }

  private:
    EngineHooks hooks_;  // before page_, which keeps a reference to it
    KorvelWebPage* page_;
};

bool Start() {
    if (qt_gl_global_share_context() != nullptr) return true;
    auto* context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) {
        delete context;
        return false;
    }
    qt_gl_set_global_share_context(context);
    return true;
}

EngineView* CreateView(QWidget* parent, EngineHooks hooks) {
    return new KorvelWebView(parent, std::move(hooks));
}

const EngineModuleApi kApi = {kEngineModuleVersion, &Start, &CreateView};

}  // namespace
}  // namespace korvel::ui

extern "C" Q_DECL_EXPORT const korvel::ui::EngineModuleApi* korvel_engine_module() {
    return &korvel::ui::kApi;
}
