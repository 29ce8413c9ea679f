// The annotation grid on Qt: a QTableView over the toolkit-free grid model. The model holds the
// cells and applies every rule; the view draws what it holds and hands the user's input back.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dalmure::qt {

namespace {

// The grid's alignments: 0..8 are left / centre / right (by threes), each top / centre / bottom;
// 9 shows text left and centred vertically.
Qt::Alignment alignmentOf(std::int32_t a) {
    if (a < 0 || a > 8)
        return Qt::AlignLeft | Qt::AlignVCenter;
    static constexpr Qt::AlignmentFlag across[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    static constexpr Qt::AlignmentFlag down[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    return across[a / 3] | down[a % 3];
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Table

GridTable::GridTable(const platform::GridModel& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int GridTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.rows();
}
int GridTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.cols();
}

Qt::ItemFlags GridTable::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant GridTable::data(const QModelIndex& index, int role) const {
    const int r = index.row(), c = index.column();
    if (!index.isValid() || !grid_.cellExists(r, c))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        QString s = toQ(grid_.cellView(r, c));
        s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return s;
    }
    case Qt::FontRole:
        return grid_.cellFontBoldAt(r, c) ? boldFont : font;
    case Qt::BackgroundRole:
        return toQColor(grid_.cellBackColorAt(r, c));
    case Qt::TextAlignmentRole:
        return static_cast<int>(alignmentOf(grid_.colAlignment(c)));
    default:
        return {};
    }
}

void GridTable::rowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

// ---------------------------------------------------------------------------------------------
// View

GridView::GridView(Context& ctx, QtGrid& grid, QWidget* parent)
    : QTableView(parent), ctx_(ctx), grid_(grid) {
    installGridAccessibility();
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The control fits column 1 to the grid's width; the current cell moves without scrolling.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAutoScroll(false);
    setTabKeyNavigation(false);
    // The control moves the current cell while it works (the minutes walk every row, the host's
    // reads visit theirs): the view shows the top row the control set, never the current cell.
    setAutoScroll(false);
    setWordWrap(true);
    setCornerButtonEnabled(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::Box);
    setAccessibleName(QStringLiteral("Annotations"));

    // Only the user's scrolling (the scroll bar, the wheel, the keyboard) tells the control;
    // the moves the control makes and those Qt makes while laying out do not.
    auto* bar = verticalScrollBar();
    QObject::connect(bar, &QScrollBar::actionTriggered, this, [this, bar](int action) {
        if (action == QAbstractSlider::SliderNoAction || programmatic)
            return;
        if (bar->sliderPosition() != bar->value()) {
            userScroll = true; // the value follows
            return;
        }
        // A scroll that cannot move (already at the end) still tells the control.
        if (ctx_.sink)
            ctx_.sink->gridScroll();
    });
    // The range ends at the last full page: the user scrolls no further than the control can.
    QObject::connect(bar, &QScrollBar::valueChanged, this, [this](int value) {
        if (!userScroll || programmatic)
            return;
        userScroll = false;
        if (grid_.rows() > 0)
            grid_.model().setTopRow(std::min(value, grid_.rows() - 1));
        if (ctx_.sink)
            ctx_.sink->gridScroll();
    });
}

// The current cell is the control's working position, not the user's: readers hear of the
// selected annotation from the grid's accessible list instead.
void GridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
}

void GridView::updateGeometries() {
    const bool was = programmatic;
    programmatic = true;
    QTableView::updateGeometries();
    // The page and the scroll range as the model counts them, not as Qt does.
    if (grid_.ready()) {
        grid_.updatePage();
        grid_.applyScroll();
        alignTopRow();
    }
    programmatic = was;
}

void GridView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    alignTopRow();
}

// The item view looks for the item under the pointer after every scroll, asking the display
// server where the pointer is (a round trip). The control's own scrolling, several per added
// annotation, leaves that to the next move of the mouse; the user's scrolling does not.
void GridView::verticalScrollbarValueChanged(int value) {
    if (!programmatic)
        QTableView::verticalScrollbarValueChanged(value);
}

void GridView::alignTopRow() {
    // At the end of its range Qt puts the last row against the bottom edge; the grid puts its
    // top row against the top edge, where RowPos counts from.
    const int top = verticalScrollBar()->value();
    if (top != verticalScrollBar()->maximum() || top <= 0 || top >= verticalHeader()->count())
        return;
    const int position = verticalHeader()->sectionPosition(top);
    if (verticalHeader()->offset() != position) {
        verticalHeader()->setOffset(position);
        viewport()->update();
    }
}

void GridView::userMoveTo(int row, int col) {
    platform::GridModel& m = grid_.model();
    if (row == m.row() && col == m.col())
        return;
    if (ctx_.sink)
        ctx_.sink->gridLeaveCell();
    // The handlers may have removed rows meanwhile: the click lands on what is there.
    if (m.cellExists(row, col)) {
        m.setRow(row);
        m.setCol(col);
    }
}

void GridView::mousePressEvent(QMouseEvent* e) {
    lastMouse = e->position().toPoint();
    pressed_ = false;
    rightPressed_ = false;
    if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton)
        return;
    const QModelIndex i = indexAt(lastMouse);
    if (!i.isValid())
        return;
    // The right button selects too, but only an annotation: on the empty list it just opens
    // the menu.
    const bool emptyList = grid_.model().rows() == 2 && grid_.model().textMatrix(0, 0).empty();
    if (e->button() == Qt::RightButton && emptyList)
        return;
    userMoveTo(i.row(), i.column());
    (e->button() == Qt::LeftButton ? pressed_ : rightPressed_) = true;
}

void GridView::mouseReleaseEvent(QMouseEvent* e) {
    lastMouse = e->position().toPoint();
    const int button = e->button() == Qt::LeftButton     ? platform::kLeftButton
                       : e->button() == Qt::RightButton  ? platform::kRightButton
                       : e->button() == Qt::MiddleButton ? 4
                                                         : 0;
    const bool click = pressed_ && e->button() == Qt::LeftButton;
    const bool rightClick = rightPressed_ && e->button() == Qt::RightButton;
    pressed_ = false;
    rightPressed_ = false;
    // A right click selects the annotation before its menu opens.
    if (rightClick && ctx_.sink)
        ctx_.sink->gridClick();
    if (ctx_.sink && button != 0)
        ctx_.sink->gridMouseUp(button, shiftMask(e->modifiers()), ctx_.twipsX(lastMouse.x()),
                               ctx_.twipsY(lastMouse.y()));
    if (click && ctx_.sink)
        ctx_.sink->gridClick();
}

void GridView::mouseDoubleClickEvent(QMouseEvent* e) {
    lastMouse = e->position().toPoint();
    pressed_ = false;
    rightPressed_ = false;
    if (e->button() != Qt::LeftButton || !indexAt(lastMouse).isValid())
        return;
    // The second press of a double click took the focus and made its cell current: it is a
    // click too, so the double click leaves the notes open with the focus, as one click does.
    if (ctx_.sink)
        ctx_.sink->gridClick();
    if (ctx_.sink)
        ctx_.sink->gridDblClick();
}

bool GridView::viewportEvent(QEvent* e) {
    // The item view keeps double clicks to itself; the grid reports them.
    if (e->type() == QEvent::MouseButtonDblClick) {
        mouseDoubleClickEvent(static_cast<QMouseEvent*>(e));
        return true;
    }
    return QTableView::viewportEvent(e);
}

void GridView::mouseMoveEvent(QMouseEvent* e) {
    lastMouse = e->position().toPoint();
    const int button = buttonMask(e->buttons());
    if (ctx_.sink)
        ctx_.sink->gridMouseMove(button, shiftMask(e->modifiers()), ctx_.twipsX(lastMouse.x()),
                                 ctx_.twipsY(lastMouse.y()));
}

void GridView::wheelEvent(QWheelEvent* e) {
    // One notch scrolls by one whole annotation (its main row and its notes row), so that the
    // top of the list is always an annotation's main row.
    const int steps = e->angleDelta().y() / 120;
    e->accept();
    if (steps == 0)
        return;
    const platform::GridModel& m = grid_.model();
    const int rows = m.rows();
    int top = m.topRow();
    for (int i = 0; i < std::abs(steps); ++i) {
        int next = steps > 0 ? top - (top % 2 == 0 ? 2 : 1) : top - top % 2 + 2;
        // Annotations the find bar hides are passed over.
        while (next >= 0 && next < rows && m.rowHidden(next))
            next += steps > 0 ? -2 : 2;
        if (next < 0 || next >= rows)
            break;
        top = next;
    }
    // As a move of the scroll bar's slider: the control hears of it as of any scroll of the
    // user's, also when the list cannot move.
    QScrollBar* bar = verticalScrollBar();
    top = std::clamp(top, bar->minimum(), bar->maximum());
    if (top == bar->value()) {
        bar->triggerAction(steps > 0 ? QAbstractSlider::SliderSingleStepSub
                                     : QAbstractSlider::SliderSingleStepAdd);
        return;
    }
    bar->setSliderPosition(top);
}

void GridView::contextMenuEvent(QContextMenuEvent* e) {
    // The mouse's context menu comes through the right button's release; the keyboard's opens
    // the control's menu on the selected annotation.
    e->accept();
    if (e->reason() != QContextMenuEvent::Mouse)
        openMenuFromKeyboard();
}

void GridView::openMenuFromKeyboard() {
    // The menu opens over the current cell, where the selected annotation's notes are.
    const QRect r = visualRect(model()->index(grid_.model().row(), grid_.model().col()));
    lastMouse = r.isValid() && viewport()->rect().contains(r.center()) ? r.center() : QPoint(4, 4);
    if (ctx_.sink)
        ctx_.sink->menuRequested();
}

bool isMenuKey(const QKeyEvent* e) {
    return e->key() == Qt::Key_Menu ||
           (e->key() == Qt::Key_F10 && (e->modifiers() & Qt::ShiftModifier));
}

void GridView::keyPressEvent(QKeyEvent* e) {
    grid_.syncCurrent();
    if (isMenuKey(e)) {
        e->accept();
        openMenuFromKeyboard();
        return;
    }
    // The moves from one annotation to another are the control's: it selects as a click does.
    std::int16_t code = 0;
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        code = virtualKeyCode(e->key());
        break;
    default:
        break;
    }
    if (code != 0 && ctx_.sink) {
        ctx_.sink->gridKeyDown(code, shiftMask(e->modifiers()));
        if (code == 0) {
            e->accept();
            return;
        }
    }
    const int rows = grid_.rows();
    int row = grid_.model().row(), col = grid_.model().col();
    const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(row)));
    switch (e->key()) {
    case Qt::Key_Up:
        row = std::max(0, row - 1);
        break;
    case Qt::Key_Down:
        row = std::min(rows - 1, row + 1);
        break;
    case Qt::Key_Left:
        col = 0;
        break;
    case Qt::Key_Right:
        col = 1;
        break;
    case Qt::Key_PageUp:
        row = std::max(0, row - page);
        break;
    case Qt::Key_PageDown:
        row = std::min(rows - 1, row + page);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rows - 1;
        break;
    default: {
        const QString t = e->text();
        std::int16_t ascii = 0;
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            ascii = 13;
        else if (e->key() == Qt::Key_Escape)
            ascii = 27;
        else if (!t.isEmpty() && (t.at(0).unicode() >= 32 || t.at(0).unicode() == 8))
            ascii = static_cast<std::int16_t>(t.at(0).unicode());
        if (ascii != 0) {
            if (ctx_.sink)
                ctx_.sink->gridKeyPress(ascii);
            e->accept();
            return;
        }
        QTableView::keyPressEvent(e);
        return;
    }
    }
    e->accept();
    if (rows <= 0)
        return;
    userMoveTo(row, col);
    userScroll = true;
    scrollTo(model()->index(row, col));
    userScroll = false;
}

// ---------------------------------------------------------------------------------------------
// The model's changes, relayed

QtGrid::QtGrid(Context& ctx, QWidget* frame)
    : ctx_(ctx), table_(new GridTable(model_, frame)), view_(new GridView(ctx, *this, frame)) {
    table_->font = QFont(view_->font());
    view_->setModel(table_);
    QPalette p = view_->palette();
    p.setColor(QPalette::Base, toQColor(model_.backColor()));
    view_->setPalette(p);
    view_->viewport()->setAutoFillBackground(true);
    model_.setObserver(this);
    ready_ = true;
    lookChanged();
    applyPixelSizes();
}

QtGrid::~QtGrid() {
    model_.setObserver(nullptr);
}

void QtGrid::rowsAboutToBeInserted(std::int32_t first, std::int32_t count) {
    view_->programmatic = true;
    inserted_ = first;
    insertedCount_ = count;
    table_->beginInsert(first, count);
}

void QtGrid::rowsInserted() {
    table_->endInsert();
    for (std::int32_t r = inserted_; r < inserted_ + insertedCount_; ++r)
        applyRowHeight(r);
    view_->programmatic = false;
    refreshRange();
}

void QtGrid::rowsAboutToBeRemoved(std::int32_t first, std::int32_t count) {
    view_->programmatic = true;
    table_->beginRemove(first, count);
}

// One model change for the whole range: the view relays itself out once, not once per row.
void QtGrid::rowsRemoved() {
    table_->endRemove();
    view_->programmatic = false;
    refreshRange();
}

void QtGrid::cellsChanged(std::int32_t first, std::int32_t last) {
    table_->rowsChanged(first, last);
}

void QtGrid::applyRowHeight(std::int32_t row) {
    view_->verticalHeader()->resizeSection(row, std::max(1, ctx_.pxY(model_.rowHeight(row))));
}

void QtGrid::rowHeightChanged(std::int32_t row) {
    view_->programmatic = true;
    applyRowHeight(row);
    view_->programmatic = false;
    refreshRange();
}

void QtGrid::rowHiddenChanged(std::int32_t row) {
    view_->programmatic = true;
    // The header repaints a section it hides or shows only while its updates are on, and to
    // find where, it places every section again: thousands of rows hidden by one filter would
    // cost that many passes over the list. The view repaints the rows once, after the change.
    QHeaderView* header = view_->verticalHeader();
    const bool quiet = header->updatesEnabled();
    if (quiet)
        header->setUpdatesEnabled(false);
    view_->setRowHidden(row, model_.rowHidden(row));
    if (quiet)
        header->setUpdatesEnabled(true);
    view_->programmatic = false;
    refreshRange();
}

void QtGrid::columnsChanged() {
    view_->programmatic = true;
    for (int c = 0; c < model_.cols(); ++c)
        view_->horizontalHeader()->resizeSection(c, std::max(0, ctx_.pxX(model_.colWidth(c))));
    view_->programmatic = false;
    if (model_.rows() > 0)
        table_->rowsChanged(0, model_.rows() - 1); // the alignment
}

void QtGrid::lookChanged() {
    // Drawn with at least 1 point, whatever size the model keeps.
    const double points = std::max(1.0, model_.fontSize());
    if (table_->font.pointSizeF() != points) {
        table_->font.setPointSizeF(points);
        table_->boldFont = table_->font;
        table_->boldFont.setBold(true);
        view_->setFont(table_->font);
        if (model_.rows() > 0)
            table_->rowsChanged(0, model_.rows() - 1);
    }
    if (paletteBkg_ != model_.backColorBkg()) {
        paletteBkg_ = model_.backColorBkg();
        QPalette p = view_->palette();
        p.setColor(QPalette::Window, toQColor(paletteBkg_));
        view_->setPalette(p);
        view_->setStyleSheet(
            QStringLiteral("QTableView { background-color: %1; gridline-color: %2; }")
                .arg(toQColor(paletteBkg_).name(), QColor(0xc0, 0xc0, 0xc0).name()));
    }
}

void QtGrid::currentCellChanged() {
    if (currentPending_)
        return;
    currentPending_ = true;
    QMetaObject::invokeMethod(
        view_, [this] { syncCurrent(); }, Qt::QueuedConnection);
}

void QtGrid::syncCurrent() {
    if (!currentPending_)
        return;
    currentPending_ = false;
    if (model_.cellExists(model_.row(), model_.col()))
        view_->selectionModel()->setCurrentIndex(table_->index(model_.row(), model_.col()),
                                                 QItemSelectionModel::NoUpdate);
}

void QtGrid::topRowChanged() {
    applyScroll();
}

void QtGrid::applyScroll() {
    const bool was = view_->programmatic;
    view_->programmatic = true;
    auto* bar = view_->verticalScrollBar();
    bar->setRange(0, model_.lastFullPageTop());
    bar->setValue(model_.topRow());
    view_->programmatic = was;
}

// The scroll range follows the rows at once, so that the user's next scroll finds it; a hidden
// grid gets it when it is shown again.
void QtGrid::refreshRange() {
    if (!view_->isVisible())
        return;
    const bool was = view_->programmatic;
    view_->programmatic = true;
    view_->verticalScrollBar()->setRange(0, model_.lastFullPageTop());
    view_->programmatic = was;
}

void QtGrid::reveal(std::int32_t row) {
    const QRect r = view_->visualRect(table_->index(row, 0));
    if (r.isValid() && view_->viewport()->rect().contains(r.center()))
        return;
    view_->programmatic = true;
    view_->verticalScrollBar()->setValue(row);
    view_->programmatic = false;
}

void QtGrid::placementChanged() {
    view_->setGeometry(ctx_.pxX(model_.left()), ctx_.pxY(model_.top()),
                       std::max(0, ctx_.pxX(model_.width())),
                       std::max(0, ctx_.pxY(model_.height())));
    updatePage();
}

void QtGrid::updatePage() {
    // The rows are shown inside the frame; there is no horizontal scroll bar.
    model_.setPageHeight(
        static_cast<std::int32_t>(std::lround(ctx_.twipsY(view_->contentsRect().height()))));
}

void QtGrid::visibilityChanged() {
    const bool v = model_.visible();
    if (view_->isVisibleTo(view_->parentWidget()) == v)
        return;
    // Hidden while the control makes long changes: nothing is laid out or painted until it is
    // shown again, and the user's input goes nowhere meanwhile.
    view_->setUpdatesEnabled(v);
    // Hidden with the keyboard, the list would hand it to whatever widget Qt picks next, often
    // one of the host's: it waits on the control's surface and comes back when the list shows.
    if (!v && view_->hasFocus())
        ctx_.surface->setFocus(Qt::OtherFocusReason);
    view_->setVisible(v);
    // Notes that closed while the list was hidden (a failed selection) left the keyboard on the
    // control's own surface, where no key does anything: the list takes it back when shown.
    QWidget* focus = QApplication::focusWidget();
    if (v && focus != nullptr && focus->isAncestorOf(view_))
        view_->setFocus(Qt::OtherFocusReason);
    if (v) {
        applyScroll();
        syncCurrent();
    }
}

void QtGrid::applyPixelSizes() {
    view_->programmatic = true;
    for (int c = 0; c < model_.cols(); ++c)
        view_->horizontalHeader()->resizeSection(c, std::max(0, ctx_.pxX(model_.colWidth(c))));
    for (std::int32_t r = 0; r < model_.rows(); ++r)
        applyRowHeight(r);
    view_->programmatic = false;
    placementChanged();
}

} // namespace dalmure::qt
