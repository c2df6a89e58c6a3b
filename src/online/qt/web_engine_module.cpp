// The Qt WebEngine module: views whose pages keep every link that leaves the program under
// the program's rules. Loaded by the program with the first live page (see web_browser.cpp).
#include "online/qt/web_engine_module.h"

#include <QOpenGLContext>
#include <QStringList>
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

// Catches the address of a link that asked for a new window and hands it to the default
// browser; the page itself is never shown. A live page may only send web addresses out.
class ExternalLinkPage : public QWebEnginePage {
  public:
    ExternalLinkPage(LinkSource source, const EngineHooks& hooks, QObject* parent)
        : QWebEnginePage(parent), source_(source), hooks_(hooks) {
        settings()->setUnknownUrlSchemePolicy(source == LinkSource::Program
                                                  ? QWebEngineSettings::AllowAllUnknownUrlSchemes
                                                  : QWebEngineSettings::DisallowUnknownUrlSchemes);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        hooks_.openExternal(url, source_);
        deleteLater();
        return false;
    }

  private:
    LinkSource source_;
    const EngineHooks& hooks_;
};

// Live pages navigate in place; links clicked in a written document (the start page) and
// links that want a new window open in the default browser instead.
class KorvelWebPage : public QWebEnginePage {
  public:
    KorvelWebPage(const EngineHooks& hooks, QObject* parent)
        : QWebEnginePage(parent), hooks_(hooks) {
        ShowWritten(false);
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
    QWebEnginePage* createWindow(WebWindowType) override {
        return new ExternalLinkPage(
            showsWrittenDocument_ ? LinkSource::Program : LinkSource::LivePage, hooks_, this);
    }

  private:
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
