#include "ui/dialogs/advanced_menu.h"

#include <QAction>
#include <QMenu>

#include "ui/dialogs/qt_text.h"

namespace korvel::ui {

namespace {

QAction* AddItem(QMenu* menu, const char* name, const QString& text,
                 const std::function<void()>& onClick) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    if (onClick) QObject::connect(action, &QAction::triggered, menu, [onClick] { onClick(); });
    return action;
}

}  // namespace

QMenu* BuildAdvancedMenu(QWidget* parent, const AdvancedMenuCallbacks& callbacks) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("AdvancedMenu"));
    menu->setFont(SongFont(12));
    QAction* print =
        AddItem(menu, "PrintItem", QStringLiteral("打印查询结果"), callbacks.PrintClicked);
    QAction* preview = nullptr;
    if (callbacks.PreviewClicked) {
        preview =
            AddItem(menu, "PreviewItem", QStringLiteral("打印预览"), callbacks.PreviewClicked);
        preview->setEnabled(false);
    }
    QAction* exportItem =
        AddItem(menu, "ExportItem", QStringLiteral("导出查询结果"), callbacks.ExportClicked);
    menu->addSeparator();
    QMenu* shortcuts = menu->addMenu(QStringLiteral("创建快捷方式"));
    shortcuts->setObjectName(QStringLiteral("ShortcutsSubmenu"));
    shortcuts->menuAction()->setObjectName(QStringLiteral("ShortcutsMenu"));
    AddItem(shortcuts, "DesktopShortcutItem", QStringLiteral("桌面快捷方式"),
            callbacks.DesktopShortcutClicked);
    AddItem(shortcuts, "StartMenuShortcutItem", QStringLiteral("开始菜单快捷方式"),
            callbacks.StartMenuShortcutClicked);
    menu->addSeparator();
    if (callbacks.UpdateClicked) {
        AddItem(menu, "UpdateItem", QStringLiteral("更新时刻表…"), callbacks.UpdateClicked);
    }
    AddItem(menu, "AboutItem", QStringLiteral("关于"), callbacks.AboutClicked);

    print->setEnabled(false);
    exportItem->setEnabled(false);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [callbacks, print, preview, exportItem] {
        if (callbacks.popup) callbacks.popup();
        if (callbacks.resultsShown) {
            const bool shown = callbacks.resultsShown();
            print->setEnabled(shown);
            exportItem->setEnabled(shown);
        }
        // A preview of nothing is as pointless as printing nothing.
        if (preview) preview->setEnabled(print->isEnabled());
    });
    return menu;
}

QAction* AdvancedMenuAction(QMenu* menu, const QString& name) {
    if (!menu) return nullptr;
    for (QAction* action : menu->actions()) {
        if (action->objectName() == name) return action;
        if (QMenu* sub = action->menu()) {
            if (QAction* found = AdvancedMenuAction(sub, name)) return found;
        }
    }
    return nullptr;
}

}  // namespace korvel::ui
