#include "online/qt/web_browser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cstdlib>
#include <string>
#include <vector>

#include "online/qt/web_engine_module.h"

namespace korvel::ui {

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

QStringList ModuleCandidates() {
    const QString name = QStringLiteral("korvel-webengine.so");
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList candidates = {programDir.filePath(name)};
#ifdef KORVEL_ENGINE_MODULE_RELDIR
    candidates << QDir::cleanPath(
        programDir.filePath(QStringLiteral(KORVEL_ENGINE_MODULE_RELDIR) + QLatin1Char('/') + name));
#endif
    return candidates;
}

const EngineModuleApi* LoadModule(QString& error) {
    for (const QString& candidate : ModuleCandidates()) {
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

// Qt's rich text enlarges headings by a step even when the page gives their size in pixels;
// a web browser shows the size the page asks for, and so does this.
void SetHtmlAsWritten(QTextBrowser* text, const QString& html) {
    text->setHtml(html);
    struct Mend {
        int from, to;
        QTextCharFormat format;
    };
    std::vector<Mend> mends;  // applied afterwards: a changed format regroups the fragments
    for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.hasProperty(QTextFormat::FontPixelSize) &&
                format.hasProperty(QTextFormat::FontSizeAdjustment)) {
                format.clearProperty(QTextFormat::FontSizeAdjustment);
                mends.push_back(
                    {fragment.position(), fragment.position() + fragment.length(), format});
            }
        }
    }
    QTextCursor cursor(text->document());
    for (const Mend& mend : mends) {
        cursor.setPosition(mend.from);
        cursor.setPosition(mend.to, QTextCursor::KeepAnchor);
        cursor.setCharFormat(mend.format);
    }
}

}  // namespace

const EngineModuleApi* LoadWebEngineModule() {
    if (!WebEngineEnabled()) return nullptr;
    static bool tried = false;
    static const EngineModuleApi* module = nullptr;
    if (tried) return module;
    tried = true;
    QString error;
    module = LoadModule(error);
    if (module == nullptr) qWarning("Web pages are shown as plain text: %s", qPrintable(error));
    return module;
}

WebBrowser::WebBrowser(QWidget* parent)
    : QWidget(parent), view_(MakeTextBrowser(this)), engineWanted_(WebEngineEnabled()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(view_);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::InstallEngine(const EngineModuleApi* module) {
    engineWanted_ = false;
    if (engine_ != nullptr || module == nullptr) return;
    QWidget* text = view_;
    EngineHooks hooks;
    hooks.openExternal = [](const QUrl& url, LinkSource source) {
        return OpenExternalUrl(url, source);
    };
    hooks.loadFinished = [this](bool ok) { emit LoadFinished(ok); };
    engine_ = module->createView(this, std::move(hooks));
    view_ = engine_->Widget();
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    layout()->replaceWidget(text, view_);
    delete text;
    view_->show();
    // The page last asked for, now in the engine.
    if (!written_.isEmpty()) {
        engine_->WriteHtml(written_);
    } else if (navigated_.isValid()) {
        engine_->Navigate(navigated_);
    }
}

void WebBrowser::Navigate(const QUrl& url) {
    written_.clear();
    navigated_ = url;
    // The engine comes with the first live page: the program's own pages read as well in the
    // text browser, most sessions never need more, and Chromium stays off the start-up path.
    if (engineWanted_ && url.scheme() != QLatin1String("about")) {
        InstallEngine(LoadWebEngineModule());
        if (engine_ != nullptr) return;  // it has loaded the address
    }
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
    if (engine_ != nullptr) {
        engine_->WriteHtml(html);
        return;
    }
    SetHtmlAsWritten(static_cast<QTextBrowser*>(view_), html);
    emit LoadFinished(true);
}

}  // namespace korvel::ui
