#include "ui/dialogs/advanced_menu.h"

#include <QAction>
#include <QMenu>

#include "qt_text/qt_text.h"

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
    menu->setObjectName(QStringLiteral("MAdvanced"));
    menu->setFont(SongFont(12));
    QAction* print = AddItem(menu, "MPrint", QStringLiteral("打印查询结果"), callbacks.MPrintClick);
    QAction* preview = nullptr;
    if (callbacks.MPreviewClick) {
        preview = AddItem(menu, "MPreview", QStringLiteral("打印预览"), callbacks.MPreviewClick);
        preview->setEnabled(false);
    }
    QAction* exportItem =
        AddItem(menu, "MExport", QStringLiteral("导出查询结果"), callbacks.MExportClick);
    menu->addSeparator();
    QMenu* shortcuts = menu->addMenu(QStringLiteral("创建快捷方式"));
    shortcuts->setObjectName(QStringLiteral("MShortcutsMenu"));
    shortcuts->menuAction()->setObjectName(QStringLiteral("MShortcuts"));
    AddItem(shortcuts, "MDesktop", QStringLiteral("桌面快捷方式"), callbacks.MDesktopClick);
    AddItem(shortcuts, "NStart", QStringLiteral("开始菜单快捷方式"), callbacks.NStartClick);
    menu->addSeparator();
    if (callbacks.MUpdateClick) {
        AddItem(menu, "MUpdate", QStringLiteral("更新时刻表…"), callbacks.MUpdateClick);
    }
    AddItem(menu, "MAbout", QStringLiteral("关于"), callbacks.MAboutClick);

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
