// MainWindow, the main window: the toolbar, the four stacked panels, the timetable panel with
// its header labels, result grid, query boxes and filters, and the status bar. It implements
// MainView for the MainController and forwards every user action to it; what an action does
// is the controller's decision.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/main_controller.h"
#include "app/main_view.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace korvel::ui {

class WebPanels;
class ResultGridModel;
class ResultTableView;
class ScrollCanvas;
class StationCombo;

// A label that reports clicks (the column headers Header1..Header15 and the links).
class ClickLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;
    std::function<void()> clicked;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A bitmap from the packed blobs for a screen of `dpr` device pixels per pixel: scaled up
// once, smoothly, rather than doubled pixel by pixel where it is drawn.
QPixmap ForScreen(const QPixmap& pm, qreal dpr);

class MainWindow : public QWidget, public MainView {
    Q_OBJECT

  public:
    static constexpr int kClientWidth = 985;
    static constexpr int kClientHeight = 681;
    static constexpr int kTopBarHeight = 68;
    // A short window's top bar: the toolbar's captions beside small images, a smaller logo.
    static constexpr int kCompactTopBarHeight = 36;
    static constexpr int kStatusBarHeight = 19;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The creation handler: images, panels, then the controller's start-up (loaders posted
    // back into this window's event loop). Options other than `post` reach the controller.
    void Start(StartOptions options = {});
    // Reloads the window in place on an installed timetable (after an update).
    void SwitchTimetable(const std::string& name, const std::string& folder);
    // Opens the "更新时刻表" dialog (the advanced menu's UpdateItem).
    void UpdateClicked();

    MainController& Controller() { return *controller_; }

    // --- MainView ---
    void SetEnabled(Control c, bool enabled) override;
    bool IsEnabled(Control c) const override;
    std::string Text(Control c) const override;
    void SetText(Control c, const std::string& gbk) override;
    bool Checked(Control c) const override;
    void SetChecked(Control c, bool checked) override;
    void SetFocus(Control c) override;
    MsgAnswer ShowMessage(const std::string& caption, const std::string& text, MsgButtons buttons,
                          MsgIcon icon) override;
    void SetComboItems(Control box, const std::vector<std::string>& items) override;
    void OpenDropDown(Control box) override;
    void SetCaretToEnd(Control box) override;
    void GridChanged() override;
    void SetHeaderLabel(int column, const std::string& caption, bool bold) override;
    void SetBusyCursor(bool busy) override;
    void ShowRouteAdvert(const std::string& from, const std::string& to) override;
    void SetStatusText(int panel, const std::string& gbk) override;
    void ShowTransferWindow(TransferWindowModel& model) override;
    void ShowDetailWindow(DetailWindowModel& model) override;
    void ShowTimeClassFilter(const TimeClassFilter& filter) override;
    void ShowJourneyWindow(JourneyWindowModel& model) override;
    bool JourneyWindowHasOwnBoxes() const override { return true; }
    void JourneyWindowTimetableChanged() override;
    std::optional<std::string> AskSaveFileName() override;
    void PrintResultGrid(const TextGrid& grid, int rowCount) override;
    void ShowExportOutcome(const std::string& path, int rows,
                           const std::optional<ExportFailure>& failure) override;

    // --- the web side ---
    // The toolbar handlers: panel 1..4 (P1..P4) becomes the visible one, its button pressed.
    void ToolbarClick(int button);
    int VisiblePanel() const;
    QWidget* PanelWidget(int panel) const;
    WebPanels* Web() const { return web_; }
    // Runs instead of the version-check thread when set (tests: no network).
    std::function<void()> startVersionCheck;

    // --- access for tests and screenshots ---
    QWidget* ControlWidget(Control c) const;
    StationCombo* Combo(Control box) const;
    ResultTableView* Grid() const { return grid_; }
    ResultGridModel* GridModel() const { return model_; }
    ClickLabel* HeaderLabel(int column) const { return headers_.at(column); }
    QToolButton* ToolButton(int n) const { return toolButtons_.at(n - 1); }
    QLabel* StatusPanel(int panel) const { return statusPanels_.at(panel); }
    QMenu* AdvancedMenu() const { return advancedMenu_; }
    // The departure-time box (全天, the four presets, 自定义…) and the five class toggles
    // (G·C, D, Z·T, K, 其他).
    QComboBox* DepartBox() const { return departBox_; }
    QToolButton* ClassToggle(int i) const { return classToggles_.at(i); }
    // Asks for a custom departure window (the 自定义… choice); nothing when cancelled.
    // Tests replace it.
    std::function<std::optional<DepartWindow>(const DepartWindow& current)> askDepartWindow;
    // ToolbarImages: the twelve toolbar images b1..b12 (placeholders where a blob is missing).
    const std::vector<QPixmap>& ToolbarImages() const { return toolbarImages_; }
    QPixmap LogoPixmap() const;

    // The scroll area that holds the window's content (scroll bars on a small screen).
    ScrollCanvas* Scroller() const { return scroll_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // A station box that becomes usable takes the station it held when the program last
    // closed (when the program keeps its settings and the box is still empty).
    void RestoreStation(Control c);
    // The extra room of a window larger than 985 x 681 goes to the result grid: what lies
    // under the grid moves down, the status bar stays at the bottom.
    void RememberBelowGrid();
    void LayOut(QSize canvas);
    // Where a control under the grid goes in a window narrower than the layout (`at`: its
    // place in the layout as drawn).
    QPoint NarrowPlace(QWidget* w, QPoint at, int width, int squeeze) const;
    // The headers and bands over their columns, moved sideways with the grid.
    void PlaceHeaders();
    void PlaceTopBar(int width, bool compact);
    void LayOutStatusBar(int width);
    void BuildTopBar();
    void BuildTimetablePanel();
    void BuildQueryBoxes(QWidget* p1);
    void BuildResultLine(QWidget* p1);
    void BuildTimeClassFilter(QWidget* p1, int left, int y);
    void TimeClassChanged();
    void BuildStatusBar();
    void LoadImages();
    void ApplyToolbarImages();
    void WireController();
    void WireQueryBoxes();
    void WireGrid();
    // Ctrl-click (toggle) or Shift-click / Shift+arrow on a row of the result grid.
    void ExtendGridSelection(int row, bool toggle);
    void WireTimeClassFilter();
    void WireMenu();
    // Tells the user where the shortcut went, or why it could not be made.
    void ReportShortcut(bool written, int folder);

    std::unique_ptr<MainController> controller_;

    ScrollCanvas* scroll_ = nullptr;
    QFrame* statusBar_ = nullptr;
    std::vector<std::pair<QWidget*, QPoint>> belowGrid_;
    QFrame* top_ = nullptr;
    std::array<QToolButton*, 4> toolButtons_{};
    std::array<QPoint, 4> toolButtonAt_{};  // as drawn, above a full-height top bar
    QButtonGroup* toolGroup_ = nullptr;
    ClickLabel* logo_ = nullptr;
    ClickLabel* ticketLink_ = nullptr;

    QFrame* p1_ = nullptr;
    WebPanels* web_ = nullptr;

    // The bands and headers lie on a strip over the grid's columns that clips them at the
    // grid's edges when the grid scrolls sideways.
    QWidget* headerStrip_ = nullptr;
    std::array<ClickLabel*, 15> headers_{};
    // The bands over groups of columns: label, first and last column.
    std::vector<std::tuple<QLabel*, int, int>> bands_;
    ResultTableView* grid_ = nullptr;
    ResultGridModel* model_ = nullptr;

    StationCombo* departureBox_ = nullptr;
    StationCombo* arrivalBox_ = nullptr;
    StationCombo* stationBox_ = nullptr;
    QLineEdit* trainNumberBox_ = nullptr;
    QPushButton* directButton_ = nullptr;
    QPushButton* swapButton_ = nullptr;
    QPushButton* transferButton_ = nullptr;
    QPushButton* journeyButton_ = nullptr;
    QPushButton* trainButton_ = nullptr;
    QPushButton* stationButton_ = nullptr;
    QPushButton* advancedButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* updateButton_ = nullptr;
    QLabel* resultLabel_ = nullptr;
    QLabel* newVersionLabel_ = nullptr;
    QCheckBox* originatesFilter_ = nullptr;
    QCheckBox* terminatesFilter_ = nullptr;
    QCheckBox* exactNamesFilter_ = nullptr;
    QCheckBox* emuOnlyFilter_ = nullptr;
    QGroupBox* stationGroup_ = nullptr;  // 车站全部车次查询
    QLabel* filterCaption_ = nullptr;    // 当前结果过滤:
    int resultLineRight_ = 0;            // the result line's right end as drawn
    int filterShift_ = 0;                // how far the filter boxes move over their caption
    QMenu* advancedMenu_ = nullptr;
    QComboBox* departBox_ = nullptr;
    std::array<QToolButton*, 5> classToggles_{};
    DepartWindow customDepart_{6 * 60, 12 * 60};
    int departIndex_ = 0;  // the choice before 自定义… was picked

    std::array<QLabel*, 5> statusPanels_{};
    std::vector<QPixmap> toolbarImages_;
    QPixmap logo_pixmap_;
    QPixmap update_pixmap_;
    int busyDepth_ = 0;
    // Rows chosen together survive the grid's repaints while this is set (scrolling,
    // extending the choice); any other change of the grid drops them.
    bool keepChosen_ = false;
    int anchorRow_ = -1;  // where a Shift-click range starts
};

}  // namespace korvel::ui
