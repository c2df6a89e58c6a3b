#include "online/qt/web_browser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <cstdlib>
#include <string>

#ifdef KORVEL_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

namespace korvel {

bool OpenExternalUrl(const QUrl& url, LinkSource source) {
    if (!url.isValid()) return false;
    const QByteArray scheme = url.scheme().toLatin1();
    if (!ExternalLinkAllowed(std::string_view(scheme.constData(), scheme.size()), source)) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

void OpenWebLink(WebLink link) {
    std::string_view address = LinkUrl(link);
    OpenExternalUrl(
        QUrl(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size()))));
}

void PrepareWebEngine() {
#ifdef KORVEL_HAVE_WEBENGINE
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Told through Chromium's own switch rather than QTWEBENGINE_DISABLE_SANDBOX, which
    // would announce "Sandboxing disabled by user." on every start.
    if (::geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX")) {
        const char* flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
        std::string all = flags ? flags : "";
        if (all.find("--no-sandbox") == std::string::npos) {
            all = all.empty() ? "--no-sandbox" : all + " --no-sandbox";
            ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", all.c_str(), 1);
        }
    }
#endif
}

bool WebEngineEnabled() {
#ifdef KORVEL_HAVE_WEBENGINE
    const char* text = std::getenv("KORVEL_TEXT_BROWSER");
    return text == nullptr || std::string_view(text) != "1";
#else
    return false;
#endif
}

#ifdef KORVEL_HAVE_WEBENGINE
namespace {

// Catches the address of a link that asked for a new window and hands it to the default
// browser; the page itself is never shown. A live page may only send web addresses out.
class ExternalLinkPage : public QWebEnginePage {
  public:
    ExternalLinkPage(LinkSource source, QObject* parent) : QWebEnginePage(parent), source_(source) {
        settings()->setUnknownUrlSchemePolicy(source == LinkSource::Program
                                                  ? QWebEngineSettings::AllowAllUnknownUrlSchemes
                                                  : QWebEngineSettings::DisallowUnknownUrlSchemes);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        OpenExternalUrl(url, source_);
        deleteLater();
        return false;
    }

  private:
    LinkSource source_;
};

// Live pages navigate in place; links clicked in a written document (the start page) and
// links that want a new window open in the default browser instead.
class KorvelWebPage : public QWebEnginePage {
  public:
    explicit KorvelWebPage(QObject* parent) : QWebEnginePage(parent) { ShowWritten(false); }
    bool showsWrittenDocument = false;

    // Schemes the engine does not show itself (mailto, tel, other programs' handlers) go to
    // the desktop: from the program's own page (its mail address) but never from a live one.
    void ShowWritten(bool written) {
        showsWrittenDocument = written;
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
        if (showsWrittenDocument &&
            (type == NavigationTypeLinkClicked || !shownHere.contains(url.scheme()))) {
            OpenExternalUrl(url, LinkSource::Program);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        return new ExternalLinkPage(
            showsWrittenDocument ? LinkSource::Program : LinkSource::LivePage, this);
    }
};

}  // namespace
#endif

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
#ifdef KORVEL_HAVE_WEBENGINE
    if (WebEngineEnabled()) {
        auto* web = new QWebEngineView(this);
        auto* page = new KorvelWebPage(web);
        web->setPage(page);
        connect(web, &QWebEngineView::loadFinished, this, &WebBrowser::LoadFinished);
        view_ = web;
        engine_ = true;
    }
#endif
    if (view_ == nullptr) {
        auto* text = new QTextBrowser(this);
        text->setOpenLinks(false);
        text->setFrameShape(QFrame::NoFrame);
        text->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
        connect(text, &QTextBrowser::anchorClicked, this,
                [](const QUrl& url) { OpenExternalUrl(url, LinkSource::Program); });
        view_ = text;
    }
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(view_);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QUrl& url) {
    written_.clear();
    navigated_ = url;
#ifdef KORVEL_HAVE_WEBENGINE
    if (engine_) {
        auto* web = static_cast<QWebEngineView*>(view_);
        static_cast<KorvelWebPage*>(web->page())->ShowWritten(url.scheme() == "about");
        web->load(url);
        return;
    }
#endif
    // Without an engine a live page cannot be shown: offer it to the default browser.
    auto* text = static_cast<QTextBrowser*>(view_);
    if (url.scheme() == "about") {
        text->clear();
    } else {
        QString address = url.toString().toHtmlEscaped();
        text->setHtml(QString::fromUtf8("<p style=\"font-size:12px\">本页面需要内置浏览器显示，请"
                                        "<a href=\"%1\">用浏览器打开</a>：%1</p>")
                          .arg(address));
    }
    emit LoadFinished(true);
}

void WebBrowser::WriteHtml(const QString& html) {
    written_ = html;
    navigated_ = QUrl();
#ifdef KORVEL_HAVE_WEBENGINE
    if (engine_) {
        auto* web = static_cast<QWebEngineView*>(view_);
        static_cast<KorvelWebPage*>(web->page())->ShowWritten(true);
        web->setHtml(html, QUrl(QStringLiteral("about:blank")));
        return;
    }
#endif
    static_cast<QTextBrowser*>(view_)->setHtml(html);
    emit LoadFinished(true);
}

}  // namespace korvel
