// The first live page starts Qt WebEngine from its module without a word on standard error,
// and the page's console does not reach it either. Set up as the program sets itself up (a
// private X server, the sandbox switched off by the program as root, no GPU). Standard error
// is caught at the descriptor, so Chromium's own processes, which inherit it, are caught too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>
#include <string>

#include "online/qt/web_browser.h"
#include "ui/app_setup.h"

namespace korvel::ui {
namespace {

// Sends descriptor 2 into a file until Release, which returns what arrived.
class StderrCatcher {
  public:
    StderrCatcher() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        std::FILE* file = std::tmpfile();
        ::dup2(::fileno(file), 2);
        file_ = file;
    }
    std::string Release() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        std::rewind(file_);
        std::string text;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file_)) text.append(buffer, n);
        std::fclose(file_);
        return text;
    }

  private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(QuietEngine, FirstLivePageStartsTheEngineSilently) {
    // A desktop session has a private runtime folder; without one Qt says so.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    StderrCatcher caught;
    ui::QuietWebEngineStartup();
    PrepareWebEngine();
    int argc = 1;
    char name[] = "korvel";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ui::SetUpApplication(app);

    bool ok = false;
    bool rendered = false;
    {
        WebBrowser browser;
        browser.resize(600, 300);
        browser.show();
        QObject::connect(&browser, &WebBrowser::LoadFinished, [&](bool loaded) {
            ok = loaded;
            rendered = true;
        });
        // A page that talks on its console, as live pages do.
        browser.Navigate(QUrl(QStringLiteral(
            "data:text/html,<p>live</p><script>console.log('log');console.error('error');"
            "</script>")));
        QElapsedTimer clock;
        clock.start();
        while (!rendered && clock.elapsed() < 20000) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_TRUE(browser.UsesWebEngine());
        Settle(1500);  // room for anything the engine's processes would say late
    }
    // The catcher itself works: this line, and only this line, arrives.
    std::fputs("control\n", stderr);
    const std::string text = caught.Release();
    EXPECT_TRUE(ok) << "the engine did not render the page";
    EXPECT_EQ(text, "control\n");
}

}  // namespace
}  // namespace korvel::ui
