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
    // ShowAdvancedMenu: it may enable or disable items through AdvancedMenuAction).
    std::function<void()> popup;
    // When set, PrintItem and ExportItem are enabled exactly when it returns true, checked each
    // time the menu opens (after `popup`).
    std::function<bool()> resultsShown;
    std::function<void()> PrintClicked;
    // When set, the menu has PreviewItem "打印预览" after PrintItem, enabled as PrintItem is.
    std::function<void()> PreviewClicked;
    std::function<void()> ExportClicked;
    std::function<void()> DesktopShortcutClicked;
    std::function<void()> StartMenuShortcutClicked;
    // When set, the menu has UpdateItem "更新时刻表…" before AboutItem.
    std::function<void()> UpdateClicked;
    std::function<void()> AboutClicked;
};

// The menu `AdvancedMenu`, owned by `parent`: PrintItem "打印查询结果", ExportItem "导出查询结果",
// a separator, the sub-menu ShortcutsMenu "创建快捷方式" (DesktopShortcutItem "桌面快捷方式",
// StartMenuShortcutItem "开始菜单快捷方式"), a separator, UpdateItem "更新时刻表…" (with its
// callback), AboutItem "关于". Each action's object name is its control name. PrintItem and
// ExportItem start disabled (no results yet). With a preview callback the print preview PreviewItem
// "打印预览" follows PrintItem.
QMenu* BuildAdvancedMenu(QWidget* parent, const AdvancedMenuCallbacks& callbacks);

// The action named `name` ("PrintItem", "PreviewItem", "ExportItem", "ShortcutsMenu",
// "DesktopShortcutItem", "StartMenuShortcutItem", "UpdateItem", "AboutItem") in the menu or its
// sub-menu, or nullptr.
QAction* AdvancedMenuAction(QMenu* menu, const QString& name);

}  // namespace korvel::ui
