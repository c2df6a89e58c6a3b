// The application object as every window expects it: its name, Qt's own texts in Chinese,
// the fonts, and a quiet start.
#pragma once

class QApplication;

namespace korvel::ui {

// Call before the QApplication exists: the web engine's initialisation report (the logging
// category qt.webenginecontext) is not printed; every other message still is, and
// QT_LOGGING_RULES can turn the report back on.
void QuietWebEngineStartup();

// Call first, before any Qt call (the first may read the system locale): dates in Qt's own dialogs (the file dialogs' 修改日期)
// follow the system locale's time category, read once at start-up; it is set to Simplified
// Chinese unless LC_ALL fixes every category. Other categories are left as they are.
void PrepareChineseLocale();

// Loads Qt's Simplified Chinese translations (qtbase_zh_CN) into the application, so that
// the buttons and dialogs Qt draws itself read 是/否/取消, 另存为 and so on. Returns
// whether they were found.
bool InstallQtTranslations(QApplication& app);

// The application's name "Korvel时刻" (no display name: the platform would append it to
// every window caption), the translations, Chinese as the default locale of every widget
// (dates, numbers) and the default font.
void SetUpApplication(QApplication& app);

}  // namespace korvel::ui
