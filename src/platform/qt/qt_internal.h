// The Qt platform's components. Private to dalmure-qt.
#pragma once

#include "platform/grid_model.h"
#include "platform/qt/qt_platform.h"
#include "platform/text_box_model.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QMenu>
#include <QPageSize>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QWebEngineView;
class QPrinter;

namespace dalmure::qt {

QString toQ(StrView s);
Str fromQ(const QString& s);
// 0x00BBGGRR (or a system colour 0x800000nn) to a QColor.
QColor toQColor(std::int32_t color);
// The host language's shift mask (1 shift, 2 ctrl, 4 alt) and key codes.
int shiftMask(Qt::KeyboardModifiers m);
// The mouse buttons held, as the control counts them (left and right).
int buttonMask(Qt::MouseButtons b);
std::int16_t virtualKeyCode(int qtKey);
// The menu key or Shift+F10: the control's popup menu, from the keyboard.
bool isMenuKey(const QKeyEvent* e);

class QtMenu;

// What every component shares: the notification sink, the happening sink, the DPI source.
struct Context {
    platform::Notifications* sink = nullptr;
    headless::HappeningSink* happenings = nullptr;
    QWidget* surface = nullptr;
    std::function<void(QWidget*)> modalDriver;
    std::function<void(const QString&, bool)> printFinished;
    // The user acted on something that takes the focus without moving the real focus.
    std::function<void(QWidget*)> focusTaken;
    // The control's popup menu, whose items other menus show too.
    QtMenu* commandMenu = nullptr;

    double dpiX() const;
    double dpiY() const;
    int pxX(double twips) const;
    int pxY(double twips) const;
    double twipsX(double px) const { return px * 1440.0 / dpiX(); }
    double twipsY(double px) const { return px * 1440.0 / dpiY(); }
    // Shows a modal widget to the driver once the event loop runs it.
    void driveModal(QWidget* w);
};

// ---------------------------------------------------------------------------------------------
// Surface and frames

class SurfaceWidget : public QWidget {
    Q_OBJECT
  public:
    SurfaceWidget(Context& ctx, QWidget* parent);
    bool resizing = false; // the control itself is resizing the surface
    std::function<void(QSize)> onContainerResize;
    std::function<void()> onScreenChange; // the logical DPI may have changed
    QColor background;

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool event(QEvent* e) override;

  private:
    Context& ctx_;
};

class QtSurface final : public platform::ControlSurface {
  public:
    QtSurface(Context& ctx, SurfaceWidget* w);
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override;
    std::int32_t height() const override { return height_; }
    void setHeight(std::int32_t v) override;
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override;
    double fontSize() const override { return font_.pointSizeF(); }
    void setFontSize(double points) override;
    double textWidth(StrView text) const override;
    double textHeight(StrView text) const override;
    void propertyChanged(const Str& name) override;
    void yieldToPendingEvents() override;

    // The container resized the widget to this many pixels.
    void containerResized(QSize px);
    void containerResize(std::int32_t w, std::int32_t h);
    const QFont& font() const { return font_; }
    void apply();

  private:
    // A resize reported by Qt is handed to the control from the event loop, once, so that the
    // control's per-row yield never runs inside Qt's own show or layout.
    bool resizeQueued_ = false;
    Context& ctx_;
    SurfaceWidget* w_;
    std::int32_t width_, height_, backColor_;
    QFont font_;
};

class QtFrame final : public platform::Placed<platform::Frame> {
  public:
    QtFrame(Context& ctx, QFrame* w, platform::Placement placement);
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;
    QFrame* widget() const { return w_; }
    std::function<void()> onVisibility;
    void apply();

  private:
    void placementChanged() override { apply(); }
    Context& ctx_;
    QFrame* w_;
    bool visible_ = true;
};

// ---------------------------------------------------------------------------------------------
// Grid: a view of the grid model. GridTable hands the model's cells to a QTableView, GridView
// paints them and reports the user's mouse, wheel and keys, and QtGrid relays the model's changes
// to both.

class QtGrid;

class GridTable final : public QAbstractTableModel {
    Q_OBJECT
  public:
    GridTable(const platform::GridModel& grid, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QFont font, boldFont;
    void beginInsert(int first, int count) { beginInsertRows({}, first, first + count - 1); }
    void endInsert() { endInsertRows(); }
    void beginRemove(int first, int count) { beginRemoveRows({}, first, first + count - 1); }
    void endRemove() { endRemoveRows(); }
    void rowsChanged(int first, int last);

  private:
    const platform::GridModel& grid_;
};

class GridView final : public QTableView {
    Q_OBJECT
  public:
    GridView(Context& ctx, QtGrid& grid, QWidget* parent);
    bool programmatic = false; // scroll bar moves made by the control's own code
    bool userScroll = false;   // the next scroll bar move is the user's
    QPoint lastMouse;          // viewport coordinates of the last mouse event
    QtGrid& owner() const { return grid_; }

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void verticalScrollbarValueChanged(int value) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    void alignTopRow();
    void userMoveTo(int row, int col);
    void openMenuFromKeyboard();
    Context& ctx_;
    QtGrid& grid_;
    bool pressed_ = false;
    bool rightPressed_ = false; // a right press on an annotation, to be selected at release
};

// Screen readers see the grid as a list of annotations (qt_accessible.cpp).
void installGridAccessibility();

class QtGrid final : public platform::GridObserver {
  public:
    QtGrid(Context& ctx, QWidget* frame);
    ~QtGrid() override;

    platform::GridModel& model() { return model_; }
    std::int32_t rows() const { return model_.rows(); }
    GridView* view() const { return view_; }
    bool ready() const { return ready_; }
    void applyPixelSizes(); // after a DPI change
    // Shows row without telling the control (the top row it set stays as it is), and back.
    void reveal(std::int32_t row);
    void applyScroll();
    // The view's current cell follows the model's (it is brought up to date lazily: walks over
    // the rows move the current cell thousands of times).
    void syncCurrent();
    // The height the rows are shown in, given to the model.
    void updatePage();

    void rowsAboutToBeInserted(std::int32_t first, std::int32_t count) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(std::int32_t first, std::int32_t count) override;
    void rowsRemoved() override;
    void cellsChanged(std::int32_t first, std::int32_t last) override;
    void rowHeightChanged(std::int32_t row) override;
    void rowHiddenChanged(std::int32_t row) override;
    void columnsChanged() override;
    void lookChanged() override;
    void currentCellChanged() override;
    void topRowChanged() override;
    void placementChanged() override;
    void visibilityChanged() override;

  private:
    void applyRowHeight(std::int32_t row);
    void refreshRange();

    Context& ctx_;
    platform::GridModel model_;
    bool ready_ = false; // the view is set up (Qt lays it out while it is being made)
    GridTable* table_;
    GridView* view_;
    std::int32_t inserted_ = 0, insertedCount_ = 0;
    bool currentPending_ = false;
    std::int32_t paletteBkg_ = -1;
};

// ---------------------------------------------------------------------------------------------
// Find bar (qt_find_bar.cpp)

class FindBarWidget final : public QWidget {
    Q_OBJECT
  public:
    explicit FindBarWidget(QWidget* parent);
    QLineEdit* line;
    QLabel* count;
    QToolButton* close;
};

class QtFindBar;

// The keys of finding, wherever the clerk presses them: the grid, the notes, the bar's line.
class FindKeys final : public QObject {
    Q_OBJECT
  public:
    FindKeys(Context& ctx, QtFindBar& bar, QObject* parent)
        : QObject(parent), ctx_(ctx), bar_(bar) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    Context& ctx_;
    QtFindBar& bar_;
};

class QtFindBar final : public platform::FindBar {
  public:
    // keySources: the widgets whose Ctrl+F and F3 the bar takes; the first gets the focus back
    // when the bar is hidden with it.
    QtFindBar(Context& ctx, QWidget* frame, QList<QWidget*> keySources);
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;
    Str text() const override;
    void setText(const Str& text) override;
    Str count() const override { return count_; }
    void setCount(const Str& text) override;
    void setCaptions(const Str& closeToolTip, const Str& placeholder) override;
    void setFocus() override;
    bool hasFocus() const override;
    std::int32_t height() const override;
    void setPlacement(std::int32_t left, std::int32_t top, std::int32_t width) override;

    FindBarWidget* widget() const { return w_; }
    void apply(); // after a DPI change

  private:
    Context& ctx_;
    FindBarWidget* w_;
    FindKeys* keys_;
    QPointer<QWidget> home_;
    bool visible_ = false;
    Str count_;
    std::int32_t left_ = 0, top_ = 0, width_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Editor

class QtTextBox;

// The editor's widget: shows the model's text and hands every key, composed text and edit of
// its own to the model.
class EditorWidget final : public QPlainTextEdit {
    Q_OBJECT
  public:
    EditorWidget(QtTextBox& box, QWidget* parent);
    // Keeps the first line in view while the whole text fits the editor (the control sizes the
    // editor to its text in the surface's line height).
    void keepTextInView();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    // The menu a right click opens over the notes at at (in the widget's coordinates).
    QMenu* notesMenu(const QPoint& at);
    QtTextBox& box_;
    quint64 lastPress_ = 0; // when the editor itself was last pressed (the event's timestamp)
};

// The text box component: the toolkit-free model, shown by an EditorWidget.
class QtTextBox final : public platform::TextBoxView {
  public:
    QtTextBox(Context& ctx, QtFrame& frame);

    platform::TextBoxModel& model() { return model_; }
    EditorWidget* widget() const { return w_; }
    // The widget that takes the focus when the editor is hidden while it has it (the grid).
    void setFocusHome(QWidget* home) { home_ = home; }
    void applyGeometry();
    // The application's focus moved from old to now.
    void focusChanged(QWidget* old, QWidget* now);
    // The widget's document or caret changed by the widget's own doing.
    void viewEdited();
    void viewSelected();
    bool syncing() const { return syncing_; }
    bool moving() const { return moving_; }
    // Puts the spelling help for the word at pos (in the widget's viewport) at the top of the
    // editor's right-click menu: the suggestions, each replacing the word, and "add to
    // glossary". Nothing when no misspelled word is there.
    void addSpellingEntries(QMenu& menu, QPoint pos);
    // The menu key or Shift+F10 in the editor: the control's popup menu.
    void requestMenu() {
        if (ctx_.sink)
            ctx_.sink->menuRequested();
    }
    // Adds the control's commands to menu, in the states its popup menu would show them.
    void addCommands(QMenu& menu);
    // Shows menu at the global position at; a command chosen from it runs.
    void runMenu(QMenu& menu, const QPoint& at);

    // --- platform::TextBoxView ---
    void textReplaced() override;
    void textEdited(std::int32_t at, std::int32_t removed, std::int32_t inserted) override;
    void editTakenBack(std::int32_t at, std::int32_t removed, std::int32_t inserted) override;
    void selectionMoved() override;
    void geometryChanged() override { applyGeometry(); }
    void visibilityChanged() override;
    void readOnlyChanged() override;
    void appearanceChanged() override;
    void focusGiven() override;
    void marksChanged() override;

  private:
    void showSelection();

    Context& ctx_;
    platform::TextBoxModel model_;
    EditorWidget* w_;
    QPointer<QWidget> home_;
    bool moving_ = false;  // the editor itself moves the real focus
    bool parked_ = false;  // hidden with its row out of view, the focus waits on the surface
    bool syncing_ = false; // the widget is being made to show the model
};

// ---------------------------------------------------------------------------------------------
// Buttons, menu, dialogs, printer, screen, clock, shell, browser

class ButtonWidget final : public QToolButton {
    Q_OBJECT
  public:
    ButtonWidget(Context& ctx, platform::ButtonId id, QWidget* parent);

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    Context& ctx_;
    platform::ButtonId id_;
};

class QtButton final : public platform::Placed<platform::CommandButton> {
  public:
    QtButton(Context& ctx, platform::ButtonId id, QWidget* surface, QtFrame* frame);
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;
    Str toolTipText() const override { return toolTip_; }
    void setToolTipText(const Str& text) override;
    std::int32_t buttonColor() const override { return color_; }
    void setButtonColor(std::int32_t color) override;

    bool shown() const { return visible_ && (frame_ == nullptr || frame_->visible()); }
    void apply();
    ButtonWidget* widget() const { return w_; }

  private:
    void placementChanged() override { apply(); }
    Context& ctx_;
    ButtonWidget* w_;
    QtFrame* frame_;
    std::int32_t color_;
    bool visible_ = true;
    Str toolTip_;
};

// A drawn icon for each command, used when the desktop's icon theme has none.
QIcon commandIcon(platform::ButtonId id);

class QtMenu final : public platform::MenuItems {
  public:
    QtMenu(Context& ctx, QWidget* surface, std::function<QPoint()> mousePos);
    void popup(bool rightButtonChooses) override;
    ~QtMenu() override;
    QMenu* widget() const { return menu_; }
    // Shows the items in another menu too, as they are now (the same actions).
    void addItemsTo(QMenu& other) const;
    // An action chosen from another menu: when it is one of the items, its command runs.
    void chosenElsewhere(const QAction* chosen);

  private:
    QAction* action(platform::MenuItemId id) const;
    // The item's action shows it as set.
    void itemChanged(platform::MenuItemId id) override;
    Context& ctx_;
    QPointer<QMenu> menu_;
    std::array<QAction*, 7> actions_{};
    std::function<QPoint()> mousePos_;
};

class QtDialogs final : public platform::Dialogs {
  public:
    explicit QtDialogs(Context& ctx) : ctx_(ctx) {}
    Str inputBox(const Str& message, const Str& title, const Str& defaultText) override;
    void messageBox(const Str& message, const Str& title) override;

  private:
    Context& ctx_;
};

// The paper of a print-size setting (the Windows paper-size numbers: 1 Letter, 5 Legal, 8 A3,
// 9 A4, 11 A5, ...); a number that names no paper gives Letter.
QPageSize paperOfPrintSize(std::int16_t size);

class QtScreen final : public platform::Screen {
  public:
    explicit QtScreen(Context& ctx) : ctx_(ctx) {}
    ~QtScreen() override;
    void setMousePointer(int pointer) override;
    int mousePointer() const override { return pointer_; }

  private:
    Context& ctx_;
    int pointer_ = platform::kPointerDefault;
    bool overridden_ = false;
};

class QtBrowser final : public platform::BrowserComponent {
  public:
    QtBrowser(Context& ctx, QtFrame& frame1, const platform::Printer& printer,
              std::optional<QString> printPdf);
    ~QtBrowser() override;
    void navigate(const Str& path) override;
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override;
    bool busy() const { return busy_; }

  private:
    void ensureView();
    void startPendingPrint();
    void print();
    Context& ctx_;
    QtFrame& frame1_;
    const platform::Printer& printer_;
    std::optional<QString> printPdf_;
    QPointer<QWebEngineView> view_;
    std::unique_ptr<QPrinter> qprinter_;
    std::int32_t width_;
    bool busy_ = false;
    bool loaded_ = false;
    bool printPending_ = false;
};

// ---------------------------------------------------------------------------------------------
// Qt's own texts in the control's language (qt_translations.cpp)

// The language of Qt's translations for a catalogue column ("fr" for French); "" when Qt's own
// English texts serve.
QString qtLanguageOfColumn(StrView column);

// Holds Qt's translation for a control's language while the control lives; shared by every
// control of the application, and never installed over a translation of Qt's texts the host has.
class QtTextsTranslation {
  public:
    explicit QtTextsTranslation(StrView languageColumn);
    ~QtTextsTranslation();
    QtTextsTranslation(const QtTextsTranslation&) = delete;
    QtTextsTranslation& operator=(const QtTextsTranslation&) = delete;

  private:
    bool held_ = false;
};

} // namespace dalmure::qt
