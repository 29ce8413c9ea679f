// The annotation grid on a QTableView over its own model. Cells, heights and colours live in the
// model; the view draws them. Filling every cell's colour is one step (cells painted before the
// last fill carry an older epoch and show the fill colour), row tops are cached prefix sums.
#include "platform/qt/qt_internal.h"

#include "control/design.h"
#include "support/errors.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

namespace dalmure::qt {

// ---------------------------------------------------------------------------------------------
// Model

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}
int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size()))
        return {};
    const auto r = static_cast<std::size_t>(index.row());
    const int c = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        QString s = toQ(rows[r].text[c]);
        s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        return s;
    }
    case Qt::FontRole:
        return rows[r].bold[c] ? boldFont : font;
    case Qt::BackgroundRole:
        return toQColor(colorAt(r, c));
    case Qt::TextAlignmentRole:
        return alignment[c] == 4 ? QVariant(Qt::AlignCenter)
                                 : QVariant(Qt::AlignLeft | Qt::AlignTop);
    default:
        return {};
    }
}

void GridModel::cellChanged(int r, int c) {
    const QModelIndex i = index(r, c);
    emit dataChanged(i, i);
}

void GridModel::allChanged() {
    if (!rows.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(rows.size()) - 1, 1));
}

// ---------------------------------------------------------------------------------------------
// View

GridView::GridView(Context& ctx, QtGrid& grid, QWidget* parent)
    : QTableView(parent), ctx_(ctx), grid_(grid) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
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
    QObject::connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!userScroll || programmatic)
            return;
        userScroll = false;
        const int last = std::max(0, grid_.rows() - 1);
        if (value > last) {
            programmatic = true;
            bar->setValue(last);
            programmatic = false;
            value = last;
        }
        grid_.userScrolledTo(value);
        if (ctx_.sink)
            ctx_.sink->gridScroll();
    });
}

void GridView::updateGeometries() {
    const bool was = programmatic;
    programmatic = true;
    QTableView::updateGeometries();
    // Any row can be the first one shown, the last one included: the control keeps the
    // annotation it works on at the top. (The range ends one further, as a header view puts
    // its last section at the bottom when the scroll bar is at its maximum.)
    const int last = std::max(0, model() ? model()->rowCount() - 1 : 0);
    verticalScrollBar()->setRange(0, last + 1);
    verticalScrollBar()->setValue(std::clamp(grid_.topRow(), 0, last));
    programmatic = was;
}

void GridView::userMoveTo(int row, int col) {
    if (row == grid_.row() && col == grid_.col())
        return;
    if (ctx_.sink)
        ctx_.sink->gridLeaveCell();
    grid_.userSetCurrent(row, col);
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
    const bool emptyList = grid_.rows() == 2 && grid_.textMatrix(0, 0).empty();
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
    int button = 0;
    if (e->buttons() & Qt::LeftButton)
        button |= platform::kLeftButton;
    if (e->buttons() & Qt::RightButton)
        button |= platform::kRightButton;
    if (ctx_.sink)
        ctx_.sink->gridMouseMove(button, shiftMask(e->modifiers()), ctx_.twipsX(lastMouse.x()),
                                 ctx_.twipsY(lastMouse.y()));
}

void GridView::wheelEvent(QWheelEvent* e) {
    // One notch scrolls by one row, as the grid scrolls by whole rows.
    const int steps = e->angleDelta().y() / 120;
    if (steps == 0) {
        e->accept();
        return;
    }
    for (int i = 0; i < std::abs(steps); ++i)
        verticalScrollBar()->triggerAction(steps > 0 ? QAbstractSlider::SliderSingleStepSub
                                                     : QAbstractSlider::SliderSingleStepAdd);
    e->accept();
}

void GridView::contextMenuEvent(QContextMenuEvent* e) {
    // The mouse's context menu comes through the right button's release; the keyboard's menu
    // key opens it on the current cell.
    if (e->reason() == QContextMenuEvent::Mouse) {
        e->accept();
        return;
    }
    const QRect r = visualRect(model()->index(grid_.row(), grid_.col()));
    lastMouse = r.isValid() ? r.center() : QPoint(4, 4);
    if (ctx_.sink)
        ctx_.sink->gridMouseUp(platform::kRightButton, 0, ctx_.twipsX(lastMouse.x()),
                               ctx_.twipsY(lastMouse.y()));
    e->accept();
}

void GridView::keyPressEvent(QKeyEvent* e) {
    const int rows = grid_.rows();
    int row = grid_.row(), col = grid_.col();
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
    case Qt::Key_Menu:
    case Qt::Key_F10:
        if (e->key() == Qt::Key_Menu || (e->modifiers() & Qt::ShiftModifier)) {
            QContextMenuEvent ce(QContextMenuEvent::Keyboard, QPoint(), QPoint(), e->modifiers());
            contextMenuEvent(&ce);
            return;
        }
        QTableView::keyPressEvent(e);
        return;
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
// The grid component

QtGrid::QtGrid(Context& ctx, QWidget* frame)
    : ctx_(ctx), model_(new GridModel(frame)),
      view_(new GridView(ctx, *this, frame)), colWidth_{design::kGridDefaultColWidth,
                                                        design::kGridDefaultColWidth},
      backColor_(design::kGridBackColor), backColorBkg_(design::kGridBackColorBkg),
      backColorFixed_(design::kGridBackColorFixed), left_(design::kGridLeft),
      top_(design::kGridTop), width_(design::kGridWidth), height_(design::kGridHeight) {
    model_->fillColor = backColor_;
    model_->font = QFont(view_->font());
    model_->font.setPointSizeF(design::kFontSize);
    model_->boldFont = model_->font;
    model_->boldFont.setBold(true);
    view_->setFont(model_->font);
    // Two empty rows, as the form holds them.
    for (int r = 0; r < 2; ++r) {
        GridRow g;
        g.color = {backColor_, backColor_};
        g.epoch = {model_->epoch, model_->epoch};
        g.height = design::kGridDefaultRowHeight;
        model_->rows.push_back(std::move(g));
    }
    prefix_.assign(1, 0);
    view_->setModel(model_);
    applyPixelSizes();
    applyPalette();
    applyGeometry();
}

QtGrid::~QtGrid() = default;

std::int32_t QtGrid::rows() const {
    return static_cast<std::int32_t>(model_->rows.size());
}

void QtGrid::checkRow(std::int32_t row) const {
    if (row < 0 || row >= rows())
        errors::invalidRow();
}
void QtGrid::checkCol(std::int32_t col) const {
    if (col < 0 || col > 1)
        errors::invalidCol();
}

void QtGrid::syncCurrent() {
    if (row_ < rows())
        view_->selectionModel()->setCurrentIndex(model_->index(row_, col_),
                                                 QItemSelectionModel::NoUpdate);
}

void QtGrid::setRow(std::int32_t row) {
    checkRow(row);
    row_ = row;
    syncCurrent();
}
void QtGrid::setCol(std::int32_t col) {
    checkCol(col);
    col_ = col;
    syncCurrent();
}
void QtGrid::userSetCurrent(int row, int col) {
    row_ = row;
    col_ = col;
    syncCurrent();
}

Str QtGrid::text() const {
    checkRow(row_);
    return model_->rows[static_cast<std::size_t>(row_)].text[col_];
}
void QtGrid::setText(const Str& text) {
    checkRow(row_);
    model_->rows[static_cast<std::size_t>(row_)].text[col_] = text;
    model_->cellChanged(row_, col_);
}
Str QtGrid::textMatrix(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return model_->rows[static_cast<std::size_t>(row)].text[col];
}
int QtGrid::compareText(std::int32_t row, std::int32_t col, StrView text) const {
    checkRow(row);
    checkCol(col);
    const int c = StrView(model_->rows[static_cast<std::size_t>(row)].text[col]).compare(text);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void QtGrid::addItem(const Str& item, std::int32_t index) {
    if (index < 0 || index > rows())
        errors::invalidRow();
    GridRow g;
    const auto tab = item.find(u'\t');
    g.text[0] = item.substr(0, tab);
    if (tab != Str::npos) {
        const auto next = item.find(u'\t', tab + 1);
        g.text[1] = item.substr(tab + 1, next == Str::npos ? Str::npos : next - tab - 1);
    }
    g.color = {backColor_, backColor_};
    g.epoch = {model_->epoch, model_->epoch};
    g.height = design::kGridDefaultRowHeight;
    view_->programmatic = true;
    model_->beginInsert(index);
    model_->rows.insert(model_->rows.begin() + index, std::move(g));
    model_->endInsert();
    view_->verticalHeader()->resizeSection(index,
                                           std::max(1, ctx_.pxY(design::kGridDefaultRowHeight)));
    view_->programmatic = false;
    invalidatePositions(index);
    if (row_ >= rows())
        row_ = rows() - 1;
    syncCurrent();
}

void QtGrid::removeItem(std::int32_t index) {
    removeItems(index, 1);
}

// One model change for the whole range: the view relays itself out once, not once per row.
void QtGrid::removeItems(std::int32_t index, std::int32_t count) {
    if (count <= 0)
        return;
    checkRow(index);
    checkRow(index + count - 1);
    view_->programmatic = true;
    model_->beginRemove(index, count);
    model_->rows.erase(model_->rows.begin() + index, model_->rows.begin() + index + count);
    model_->endRemove();
    view_->programmatic = false;
    invalidatePositions(index);
    if (row_ >= rows())
        row_ = std::max(0, rows() - 1);
    if (topRow_ >= rows()) {
        topRow_ = std::max(0, rows() - 1);
        applyScroll();
    }
    syncCurrent();
}

void QtGrid::clear() {
    ++model_->epoch;
    model_->fillColor = backColor_;
    for (GridRow& g : model_->rows) {
        g.text = {};
        g.bold = {false, false};
    }
    model_->allChanged();
}

void QtGrid::applyScroll() {
    view_->programmatic = true;
    auto* bar = view_->verticalScrollBar();
    if (bar->maximum() <= topRow_)
        bar->setMaximum(rows());
    bar->setValue(topRow_);
    view_->programmatic = false;
}

void QtGrid::reveal(std::int32_t row) {
    const QRect r = view_->visualRect(model_->index(row, 0));
    if (r.isValid() && view_->viewport()->rect().contains(r.center()))
        return;
    view_->programmatic = true;
    view_->verticalScrollBar()->setValue(row);
    view_->programmatic = false;
}

void QtGrid::setTopRow(std::int32_t row) {
    checkRow(row);
    topRow_ = row;
    applyScroll();
}

std::int32_t QtGrid::colWidth(std::int32_t col) const {
    checkCol(col);
    return colWidth_[col];
}
void QtGrid::setColWidth(std::int32_t col, std::int32_t width) {
    checkCol(col);
    colWidth_[col] = width;
    view_->horizontalHeader()->resizeSection(col, std::max(0, ctx_.pxX(width)));
}

std::int32_t QtGrid::rowHeight(std::int32_t row) const {
    checkRow(row);
    return model_->rows[static_cast<std::size_t>(row)].height;
}
void QtGrid::setRowHeight(std::int32_t row, std::int32_t height) {
    checkRow(row);
    auto& g = model_->rows[static_cast<std::size_t>(row)];
    if (g.height == height)
        return;
    g.height = height;
    view_->programmatic = true;
    view_->verticalHeader()->resizeSection(row, std::max(1, ctx_.pxY(height)));
    view_->programmatic = false;
    invalidatePositions(row + 1);
}

std::int32_t QtGrid::colAlignment(std::int32_t col) const {
    checkCol(col);
    return model_->alignment[col];
}
void QtGrid::setColAlignment(std::int32_t col, std::int32_t alignment) {
    checkCol(col);
    model_->alignment[col] = alignment;
    model_->allChanged();
}

void QtGrid::invalidatePositions(std::int32_t fromRow) const {
    validPrefix_ = std::min(validPrefix_, std::max(0, fromRow));
}

std::int64_t QtGrid::prefix(std::int32_t row) const {
    if (prefix_.size() < static_cast<std::size_t>(rows()) + 1)
        prefix_.resize(static_cast<std::size_t>(rows()) + 1);
    prefix_[0] = 0;
    for (std::int32_t i = validPrefix_; i < row; ++i)
        prefix_[static_cast<std::size_t>(i) + 1] =
            prefix_[static_cast<std::size_t>(i)] + model_->rows[static_cast<std::size_t>(i)].height;
    validPrefix_ = std::max(validPrefix_, row);
    return prefix_[static_cast<std::size_t>(row)];
}

std::int32_t QtGrid::rowPos(std::int32_t row) const {
    checkRow(row);
    const std::int32_t top = std::min(topRow_, rows() - 1);
    return static_cast<std::int32_t>(prefix(row) - prefix(top));
}

std::int32_t QtGrid::colPos(std::int32_t col) const {
    checkCol(col);
    return col == 0 ? 0 : colWidth_[0];
}

std::int32_t QtGrid::cellBackColor() const {
    checkRow(row_);
    return model_->colorAt(static_cast<std::size_t>(row_), col_);
}
void QtGrid::setCellBackColor(std::int32_t color) {
    checkRow(row_);
    auto& g = model_->rows[static_cast<std::size_t>(row_)];
    g.color[col_] = color;
    g.epoch[col_] = model_->epoch;
    model_->cellChanged(row_, col_);
}
bool QtGrid::cellFontBold() const {
    checkRow(row_);
    return model_->rows[static_cast<std::size_t>(row_)].bold[col_];
}
void QtGrid::setCellFontBold(bool bold) {
    checkRow(row_);
    model_->rows[static_cast<std::size_t>(row_)].bold[col_] = bold;
    model_->cellChanged(row_, col_);
}
std::int32_t QtGrid::cellBackColorAt(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return model_->colorAt(static_cast<std::size_t>(row), col);
}
bool QtGrid::cellFontBoldAt(std::int32_t row, std::int32_t col) const {
    checkRow(row);
    checkCol(col);
    return model_->rows[static_cast<std::size_t>(row)].bold[col];
}
void QtGrid::fillCellBackColor(std::int32_t color) {
    ++model_->epoch;
    model_->fillColor = color;
    model_->allChanged();
}

void QtGrid::applyPalette() {
    QPalette p = view_->palette();
    p.setColor(QPalette::Base, toQColor(backColor_));
    p.setColor(QPalette::Window, toQColor(backColorBkg_));
    view_->setPalette(p);
    view_->viewport()->setAutoFillBackground(true);
    view_->setStyleSheet(QStringLiteral("QTableView { background-color: %1; gridline-color: %2; }")
                             .arg(toQColor(backColorBkg_).name(), QColor(0xc0, 0xc0, 0xc0).name()));
}

void QtGrid::setBackColor(std::int32_t color) {
    backColor_ = color;
    model_->allChanged();
}
void QtGrid::setBackColorBkg(std::int32_t color) {
    backColorBkg_ = color;
    applyPalette();
}

void QtGrid::setFontSize(double points) {
    if (points <= 0)
        points = 1;
    model_->font.setPointSizeF(points);
    model_->boldFont.setPointSizeF(points);
    view_->setFont(model_->font);
    model_->allChanged();
}

void QtGrid::setLeft(std::int32_t v) {
    left_ = v;
    applyGeometry();
}
void QtGrid::setTop(std::int32_t v) {
    top_ = v;
    applyGeometry();
}
void QtGrid::setWidth(std::int32_t v) {
    width_ = v;
    applyGeometry();
}
void QtGrid::setHeight(std::int32_t v) {
    height_ = v;
    applyGeometry();
}

void QtGrid::setVisible(bool v) {
    if (visible_ == v)
        return;
    visible_ = v;
    // Hidden while the control makes long changes: nothing is laid out or painted until it is
    // shown again, and the user's input goes nowhere meanwhile.
    view_->setUpdatesEnabled(v);
    view_->setVisible(v);
    if (v) {
        applyScroll();
        syncCurrent();
    }
}

void QtGrid::applyGeometry() {
    view_->setGeometry(ctx_.pxX(left_), ctx_.pxY(top_), std::max(0, ctx_.pxX(width_)),
                       std::max(0, ctx_.pxY(height_)));
}

void QtGrid::applyPixelSizes() {
    view_->programmatic = true;
    for (int c = 0; c < 2; ++c)
        view_->horizontalHeader()->resizeSection(c, std::max(0, ctx_.pxX(colWidth_[c])));
    for (std::size_t r = 0; r < model_->rows.size(); ++r)
        view_->verticalHeader()->resizeSection(static_cast<int>(r),
                                               std::max(1, ctx_.pxY(model_->rows[r].height)));
    view_->programmatic = false;
    applyGeometry();
}

} // namespace dalmure::qt
