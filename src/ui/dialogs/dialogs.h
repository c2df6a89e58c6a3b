// Entry points of the dialogs for the main window's view: the detail and transfer windows
// (modal, created for one use and destroyed on closing), the export file name, printing and
// export of grids, and the advanced menu.
//
// How the main window's MainView uses them:
//   ShowDetailWindow(model)    -> ShowDetailDialog(window, model)
//   ShowTransferWindow(model)  -> ShowTransferDialog(window, model)
//   ShowJourneyWindow(model)   -> ShowJourneyDialog(window, model, JourneyWindowClosed)
//   AskSaveFileName()          -> AskExportPath(window)
//   the pop-up menu            -> BuildAdvancedMenu(window, {popup = ShowAdvancedMenu, ...});
//                                 SetEnabled(PrintItem/ExportItem) -> AdvancedMenuAction(menu,
//                                 name)
//   printing the result grid   -> PrintGridOnDefaultPrinter(window, grid, GridLayout::Main,
//                                 grid.ShownCount()) once the user has confirmed
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/dialogs/advanced_menu.h"
#include "ui/dialogs/grid_export_qt.h"
#include "ui/dialogs/grid_print_qt.h"

class QWidget;

namespace korvel {
class DetailWindowModel;
class TransferWindowModel;
class JourneyWindowModel;
class MapData;
}  // namespace korvel

namespace korvel::ui {

// Shows the train detail window modally; returns when it is closed. With `map` it has a
// 地图 tab.
void ShowDetailDialog(QWidget* parent, DetailWindowModel& model,
                      std::shared_ptr<const MapData> map = nullptr);
// Shows the transfer window modally; every pick runs model.onPick while it stays open.
void ShowTransferDialog(QWidget* parent, TransferWindowModel& model);
// Shows the journey window beside `parent` without blocking it (or brings the open one
// forward); it plans through the model as it opens and on 查询. `onClosed` runs once the
// window has been destroyed: the model may go then.
// With `map` it has a 地图 tab showing the chosen journey.
void ShowJourneyDialog(QWidget* parent, JourneyWindowModel& model, std::function<void()> onClosed,
                       std::shared_ptr<const MapData> map = nullptr);

}  // namespace korvel::ui
