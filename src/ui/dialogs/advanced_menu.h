// The advanced pop-up menu of the main window (opened from the "高级" button and by a
// right click on the result grid).
#pragma once

#include <QString>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace korvel::ui {

struct AdvancedMenuCallbacks {
    // Runs each time the menu is about to open, before it is shown (the window's
    // MAdvancedPopup: it may enable or disable items through AdvancedMenuAction).
    std::function<void()> popup;
    // When set, MPrint and MExport are enabled exactly when it returns true, checked each
    // time the menu opens (after `popup`).
    std::function<bool()> resultsShown;
    std::function<void()> MPrintClick;
    // When set, the menu has MPreview "打印预览" after MPrint, enabled as MPrint is.
    std::function<void()> MPreviewClick;
    std::function<void()> MExportClick;
    std::function<void()> MDesktopClick;
    std::function<void()> NStartClick;
    // When set, the menu has MUpdate "更新时刻表…" before MAbout.
    std::function<void()> MUpdateClick;
    std::function<void()> MAboutClick;
};

// The menu `MAdvanced`, owned by `parent`: MPrint "打印查询结果", MExport "导出查询结果", a
// separator, the sub-menu MShortcuts "创建快捷方式" (MDesktop "桌面快捷方式", NStart
// "开始菜单快捷方式"), a separator, MUpdate "更新时刻表…" (with its callback), MAbout "关于". Each
// action's object name is its control name. MPrint and MExport start disabled (no results yet).
// With a preview callback the print preview MPreview "打印预览" follows MPrint.
QMenu* BuildAdvancedMenu(QWidget* parent, const AdvancedMenuCallbacks& callbacks);

// The action named `name` ("MPrint", "MPreview", "MExport", "MShortcuts", "MDesktop", "NStart",
// "MUpdate", "MAbout") in the menu or its sub-menu, or nullptr.
QAction* AdvancedMenuAction(QMenu* menu, const QString& name);

}  // namespace korvel::ui
