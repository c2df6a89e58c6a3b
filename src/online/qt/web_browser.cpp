#include "online/qt/web_browser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <cstdlib>
#include <string>

#include "online/qt/web_engine_module.h"

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

namespace {

// Qt WebEngine asks plug-ins that load it into a running application to have set
// Qt::AA_ShareOpenGLContexts before the application started. The module makes the shared
// context itself (without the start-up cost the attribute brings), so that one notice is
// dropped while the module loads; every other message goes on unchanged.
QtMessageHandler g_previousHandler = nullptr;

void DropSharedContextNotice(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin"))) {
        return;
    }
    g_previousHandler(type, context, message);
}

QStringList ModuleCandidates(const QString& path) {
    if (!path.isEmpty()) return {path};
    const QString name = QStringLiteral("korvel-webengine.so");
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList candidates = {programDir.filePath(name)};
#ifdef KORVEL_ENGINE_MODULE_RELDIR
    candidates << QDir::cleanPath(
        programDir.filePath(QStringLiteral(KORVEL_ENGINE_MODULE_RELDIR) + QLatin1Char('/') + name));
#endif
    return candidates;
}

const EngineModuleApi* LoadModule(const QString& path, QString& error) {
    for (const QString& candidate : ModuleCandidates(path)) {
        if (!QFileInfo::exists(candidate)) continue;
        // Never unloaded: its views and Chromium live until the program ends.
        auto* library = new QLibrary(candidate);
        g_previousHandler = qInstallMessageHandler(DropSharedContextNotice);
        const bool loaded = library->load();
        qInstallMessageHandler(g_previousHandler);
        if (!loaded) {
            error = library->errorString();
            delete library;
            return nullptr;
        }
        auto entry = reinterpret_cast<EngineModuleEntry>(library->resolve(kEngineModuleEntry));
        const EngineModuleApi* api = entry != nullptr ? entry() : nullptr;
        if (api == nullptr || api->version != kEngineModuleVersion) {
            error = candidate + QStringLiteral(" is not a module of this program's version");
            return nullptr;
        }
        if (!api->start()) {
            error = QStringLiteral("no OpenGL context for Qt WebEngine");
            return nullptr;
        }
        return api;
    }
    error = QStringLiteral("module korvel-webengine.so not found");
    return nullptr;
}

QWidget* MakeTextBrowser(WebBrowser* owner) {
    auto* text = new QTextBrowser(owner);
    text->setOpenLinks(false);
    text->setFrameShape(QFrame::NoFrame);
    text->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
    QObject::connect(text, &QTextBrowser::anchorClicked, owner,
                     [](const QUrl& url) { OpenExternalUrl(url, LinkSource::Program); });
    return text;
}

}  // namespace

const EngineModuleApi* LoadWebEngineModule(const QString& path) {
    if (!WebEngineEnabled()) return nullptr;
    static bool tried = false;
    static const EngineModuleApi* module = nullptr;
    if (tried) return module;
    tried = true;
    QString error;
    module = LoadModule(path, error);
    if (module == nullptr) qWarning("Web pages are shown as plain text: %s", qPrintable(error));
    return module;
}

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (WebEngineEnabled()) {
        // A blank page until the engine comes, as a browser shows while it starts.
        view_ = new QWidget(this);
        view_->setAutoFillBackground(true);
        QPalette blank = view_->palette();
        blank.setColor(QPalette::Window, Qt::white);
        view_->setPalette(blank);
        standIn_ = true;
    } else {
        view_ = MakeTextBrowser(this);
    }
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(view_);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::InstallEngine(const EngineModuleApi* module) {
    if (!standIn_) return;
    QWidget* standIn = view_;
    if (module != nullptr) {
        EngineHooks hooks;
        hooks.openExternal = [](const QUrl& url, LinkSource source) {
            return OpenExternalUrl(url, source);
        };
        hooks.loadFinished = [this](bool ok) { emit LoadFinished(ok); };
        engine_ = module->createView(this, std::move(hooks));
        view_ = engine_->Widget();
    } else {
        view_ = MakeTextBrowser(this);
    }
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    layout()->replaceWidget(standIn, view_);
    delete standIn;
    view_->show();
    standIn_ = false;
    ShowLastPage();
}

void WebBrowser::ShowLastPage() {
    if (!written_.isEmpty()) {
        WriteHtml(written_);
    } else if (navigated_.isValid()) {
        Navigate(navigated_);
    }
}

void WebBrowser::Navigate(const QUrl& url) {
    written_.clear();
    navigated_ = url;
    if (standIn_) return;
    if (engine_ != nullptr) {
        engine_->Navigate(url);
        return;
    }
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
    if (standIn_) return;
    if (engine_ != nullptr) {
        engine_->WriteHtml(html);
        return;
    }
    static_cast<QTextBrowser*>(view_)->setHtml(html);
    emit LoadFinished(true);
}

}  // namespace korvel
