// The grid as screen readers see it: a list with one item per annotation, read as "time,
// description, notes", whose focused item is the selected annotation.
//
// The grid view shows two rows per annotation (the description row and the notes row) and
// the control moves its current cell as it works, so Qt's own table interface would offer
// readers grid cells and the control's passing current cell. This one offers annotations.
//
// Items outlive nothing they point at: an item knows its annotation by the grid row of its
// description row, which the list moves as rows come and go; an item whose rows are removed
// is retired (invalid, empty) at once and released on the next turn of the event loop, so a
// reader holding it reads nothing rather than another annotation or freed memory.
#include "platform/qt/qt_internal.h"
#include <dalmure/dalmure_widget.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace dalmure::qt {

namespace {

// What an item and the list share about it; the list moves mainRow, and retires it.
struct ItemRef {
    std::int32_t mainRow = 0;
    bool retired = false;
};

class AnnotationList;

AnnotationList* listOf(GridView* view);

// The number of annotations the grid holds: two rows each, and an empty list keeps two rows
// with nothing in them.
std::int32_t annotationCount(const platform::GridModel& g) {
    if (g.rows() == 2 && g.cellView(0, 0).empty())
        return 0;
    return g.rows() / 2;
}

// A cell's text on one line, as it is read.
QString spoken(const platform::GridModel& g, std::int32_t row, std::int32_t col) {
    if (!g.cellExists(row, col))
        return {};
    QString s = toQ(g.cellView(row, col));
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s.trimmed();
}

// "time, description, notes", leaving out the parts that are empty.
QString annotationText(const platform::GridModel& g, std::int32_t mainRow) {
    QStringList parts;
    for (const QString& s :
         {spoken(g, mainRow, 0), spoken(g, mainRow, 1), spoken(g, mainRow + 1, 1)})
        if (!s.isEmpty())
            parts << s;
    return parts.join(QLatin1String(", "));
}

class AnnotationItem final : public QAccessibleInterface {
  public:
    AnnotationItem(GridView* view, std::shared_ptr<ItemRef> ref)
        : view_(view), ref_(std::move(ref)) {}

    bool isValid() const override { return !view_.isNull() && !ref_->retired; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

    // The annotation's index, or -1 once it is gone.
    std::int32_t index() const { return isValid() ? ref_->mainRow / 2 : -1; }

  private:
    // The annotation's description row, when the item still stands for rows that exist.
    bool rows(std::int32_t& mainRow) const;

    QPointer<GridView> view_;
    std::shared_ptr<ItemRef> ref_;
};

// Runs the list's reactions to the model's signals and the view's events, and goes with it.
class Relay final : public QObject {
  public:
    std::function<void()> onFocusIn;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::FocusIn && onFocusIn)
            onFocusIn();
        return false;
    }
};

class AnnotationList final : public QAccessibleWidget {
  public:
    explicit AnnotationList(GridView* view);
    ~AnnotationList() override;

    QAccessible::Role role() const override { return QAccessible::List; }
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    const platform::GridModel& model() const { return view()->owner().model(); }
    GridView* view() const { return static_cast<GridView*>(widget()); }
    // The selected annotation, or -1.
    std::int32_t selected() const;
    std::int32_t count() const { return follow() ? annotationCount(model()) : 0; }

  private:
    bool follow() const;
    // Changes are told once a reader is there: the platform's bridge is on, or something has
    // asked the list for its items.
    bool announcing() const { return asked_ || QAccessible::isActive(); }
    void retireBeyondCount();
    struct Entry {
        QAccessible::Id id = 0;
        std::shared_ptr<ItemRef> ref;
        QString name; // as readers last heard it
    };
    AnnotationItem* item(std::int32_t index) const;
    void rowsAboutToGo(int first, int last);
    void rowsGone(int first, int last);
    void rowsCame(int first, int last);
    void cellsChanged(int first, int last);
    void retireAll();
    void retire(std::map<std::int32_t, Entry>::iterator it);
    void settleLater();
    void settle();

    // The items readers asked for, by description row.
    mutable std::map<std::int32_t, Entry> items_;
    std::vector<QAccessible::Id> retired_;
    // Description rows inserted since the last settle (moved like the items).
    std::vector<std::int32_t> inserted_;
    static constexpr std::size_t kAnnouncedInsertions = 64;
    bool manyInserted_ = false;
    std::int32_t changedFirst_ = -1, changedLast_ = -1;
    std::int32_t announcedCount_ = 0;
    std::int32_t announcedSelected_ = -1;
    mutable std::int32_t selected_ = -1;
    mutable bool selectionKnown_ = false;
    bool settlePending_ = false;
    bool focusPending_ = false;
    std::unique_ptr<Relay> relay_ = std::make_unique<Relay>();
    mutable bool following_ = false;
    mutable bool asked_ = false;
};

// ---------------------------------------------------------------------------------------------
// Item

bool AnnotationItem::rows(std::int32_t& mainRow) const {
    if (!isValid())
        return false;
    mainRow = ref_->mainRow;
    const platform::GridModel& g = view_->owner().model();
    return mainRow >= 0 && mainRow / 2 < annotationCount(g) && g.cellExists(mainRow + 1, 1);
}

QWindow* AnnotationItem::window() const {
    QAccessibleInterface* p = parent();
    return p ? p->window() : nullptr;
}

QAccessibleInterface* AnnotationItem::parent() const {
    return isValid() ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString AnnotationItem::text(QAccessible::Text t) const {
    std::int32_t mainRow = 0;
    if (!rows(mainRow))
        return {};
    const platform::GridModel& g = view_->owner().model();
    switch (t) {
    case QAccessible::Name:
        return annotationText(g, mainRow);
    case QAccessible::Description:
        return spoken(g, mainRow + 1, 1);
    default:
        return {};
    }
}

QRect AnnotationItem::rect() const {
    std::int32_t mainRow = 0;
    if (!rows(mainRow))
        return {};
    QAbstractItemModel* m = view_->model();
    const QRect r =
        view_->visualRect(m->index(mainRow, 0)) | view_->visualRect(m->index(mainRow + 1, 1));
    const QRect shown = r & view_->viewport()->rect();
    if (shown.isEmpty())
        return {};
    return QRect(view_->viewport()->mapToGlobal(shown.topLeft()), shown.size());
}

QAccessible::State AnnotationItem::state() const {
    QAccessible::State s;
    std::int32_t mainRow = 0;
    if (!rows(mainRow)) {
        s.invalid = true;
        return s;
    }
    s.selectable = true;
    s.focusable = true;
    AnnotationList* list = listOf(view_.data());
    if (list != nullptr && list->selected() == mainRow / 2) {
        s.selected = true;
        s.focused = view_->hasFocus();
    }
    if (rect().isEmpty()) {
        s.invisible = true;
        s.offscreen = true;
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// List

AnnotationList* listOf(GridView* view) {
    return view ? dynamic_cast<AnnotationList*>(QAccessible::queryAccessibleInterface(view))
                : nullptr;
}

AnnotationList::AnnotationList(GridView* view) : QAccessibleWidget(view, QAccessible::List) {
    // After Qt's own news of the list taking the focus: the selected annotation has it.
    relay_->onFocusIn = [this] {
        (void)follow();
        focusPending_ = true;
        settleLater();
    };
    view->installEventFilter(relay_.get());
    if (!follow())
        QMetaObject::invokeMethod(
            relay_.get(), [this] { (void)follow(); }, Qt::QueuedConnection);
}

// The view may ask for its interface before it has its model (setting its name does): the list
// follows the model from the first time a reader asks for what it holds.
bool AnnotationList::follow() const {
    if (following_)
        return true;
    QAbstractItemModel* m = view()->model();
    if (m == nullptr)
        return false;
    auto* self = const_cast<AnnotationList*>(this);
    QObject* r = relay_.get();
    QObject::connect(
        m, &QAbstractItemModel::rowsAboutToBeRemoved, r,
        [self](const QModelIndex&, int first, int last) { self->rowsAboutToGo(first, last); });
    QObject::connect(
        m, &QAbstractItemModel::rowsRemoved, r,
        [self](const QModelIndex&, int first, int last) { self->rowsGone(first, last); });
    QObject::connect(
        m, &QAbstractItemModel::rowsInserted, r,
        [self](const QModelIndex&, int first, int last) { self->rowsCame(first, last); });
    QObject::connect(m, &QAbstractItemModel::dataChanged, r,
                     [self](const QModelIndex& a, const QModelIndex& b) {
                         self->cellsChanged(a.row(), b.row());
                     });
    QObject::connect(m, &QAbstractItemModel::modelReset, r, [self] { self->retireAll(); });
    following_ = true;
    self->announcedCount_ = count();
    self->announcedSelected_ = selected();
    return true;
}

// The items may outlive the list (the accessibility cache releases them in any order when the
// application ends): they are only told they are gone.
AnnotationList::~AnnotationList() {
    for (auto& [row, e] : items_)
        e.ref->retired = true;
}

QAccessible::State AnnotationList::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.focusable = true;
    return s;
}

QString AnnotationList::text(QAccessible::Text t) const {
    return QAccessibleWidget::text(t);
}

int AnnotationList::childCount() const {
    return count();
}

AnnotationItem* AnnotationList::item(std::int32_t index) const {
    asked_ = true;
    if (index < 0 || index >= count())
        return nullptr;
    const std::int32_t row = 2 * index;
    auto it = items_.find(row);
    if (it == items_.end()) {
        Entry e;
        e.ref = std::make_shared<ItemRef>();
        e.ref->mainRow = row;
        auto* iface = new AnnotationItem(view(), e.ref);
        e.id = QAccessible::registerAccessibleInterface(iface);
        e.name = iface->text(QAccessible::Name);
        it = items_.emplace(row, std::move(e)).first;
    }
    return static_cast<AnnotationItem*>(QAccessible::accessibleInterface(it->second.id));
}

QAccessibleInterface* AnnotationList::child(int index) const {
    return item(index);
}

int AnnotationList::indexOfChild(const QAccessibleInterface* child) const {
    const auto* a = dynamic_cast<const AnnotationItem*>(child);
    if (a == nullptr || a->parent() != this)
        return -1;
    return a->index() < count() ? a->index() : -1;
}

QAccessibleInterface* AnnotationList::childAt(int x, int y) const {
    const QPoint p = view()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex i = view()->indexAt(p);
    return i.isValid() ? item(i.row() / 2) : nullptr;
}

QAccessibleInterface* AnnotationList::focusChild() const {
    if (!view()->hasFocus())
        return nullptr;
    return item(selected());
}

// The control's selection when the grid is in a DalmureWidget; otherwise the annotation shown
// highlighted. The control keeps its selection when it clears the highlight (a double click,
// a new layout), so the highlight alone would lose it.
std::int32_t AnnotationList::selected() const {
    if (!follow())
        return -1;
    if (selectionKnown_)
        return selected_;
    const std::int32_t n = count();
    selected_ = -1;
    const DalmureWidget* host = nullptr;
    for (QWidget* w = view(); w != nullptr && host == nullptr; w = w->parentWidget())
        host = qobject_cast<const DalmureWidget*>(w);
    if (host != nullptr) {
        const int k = host->selected();
        selected_ = k >= 0 && k < n ? k : -1;
    } else {
        const platform::GridModel& g = model();
        for (std::int32_t k = 0; k < n && selected_ < 0; ++k)
            if (g.cellBackColorAt(2 * k, 0) == g.backColorFixed())
                selected_ = k;
    }
    selectionKnown_ = true;
    return selected_;
}

void AnnotationList::retire(std::map<std::int32_t, Entry>::iterator it) {
    if (announcing()) {
        if (QAccessibleInterface* iface = QAccessible::accessibleInterface(it->second.id)) {
            QAccessibleEvent gone(iface, QAccessible::ObjectDestroyed);
            QAccessible::updateAccessibility(&gone);
        }
    }
    it->second.ref->retired = true;
    retired_.push_back(it->second.id);
    items_.erase(it);
}

void AnnotationList::retireAll() {
    while (!items_.empty())
        retire(items_.begin());
    inserted_.clear();
    manyInserted_ = false;
    selectionKnown_ = false;
    settleLater();
}

void AnnotationList::rowsAboutToGo(int first, int last) {
    // An annotation that loses either of its rows is gone; announced while it can still be read
    // whole (its notes row goes first).
    for (auto it = items_.lower_bound(first - 1); it != items_.end() && it->first <= last;)
        retire(it++);
}

void AnnotationList::rowsGone(int first, int last) {
    const int n = last - first + 1;
    std::map<std::int32_t, Entry> moved;
    for (auto it = items_.upper_bound(last); it != items_.end();) {
        it->second.ref->mainRow -= n;
        moved.emplace(it->first - n, std::move(it->second));
        it = items_.erase(it);
    }
    items_.merge(moved);
    std::vector<std::int32_t> kept;
    for (std::int32_t r : inserted_)
        if (r < first)
            kept.push_back(r);
        else if (r > last)
            kept.push_back(r - n);
    inserted_.swap(kept);
    retireBeyondCount();
    selectionKnown_ = false;
    settleLater();
}

void AnnotationList::rowsCame(int first, int last) {
    const int n = last - first + 1;
    std::map<std::int32_t, Entry> moved;
    for (auto it = items_.lower_bound(first); it != items_.end();) {
        it->second.ref->mainRow += n;
        moved.emplace(it->first + n, std::move(it->second));
        it = items_.erase(it);
    }
    items_.merge(moved);
    // A host loading a whole hearing at once adds thousands of rows before readers hear
    // anything: past a few, they are not announced one by one (readers count the items again).
    if (!manyInserted_ && inserted_.size() + n <= kAnnouncedInsertions) {
        for (std::int32_t& r : inserted_)
            if (r >= first)
                r += n;
        for (int r = first; r <= last; ++r)
            inserted_.push_back(r);
    } else {
        manyInserted_ = true;
        inserted_.clear();
    }
    selectionKnown_ = false;
    settleLater();
}

// Rows written over (the last annotation cleared to the empty list) leave items beyond the
// annotations: they go at once.
void AnnotationList::retireBeyondCount() {
    for (auto it = items_.lower_bound(2 * count()); it != items_.end();)
        retire(it++);
}

void AnnotationList::cellsChanged(int first, int last) {
    retireBeyondCount();
    changedFirst_ = changedFirst_ < 0 ? first : std::min(changedFirst_, first);
    changedLast_ = std::max(changedLast_, last);
    selectionKnown_ = false;
    settleLater();
}

void AnnotationList::settleLater() {
    if (settlePending_)
        return;
    settlePending_ = true;
    QMetaObject::invokeMethod(
        relay_.get(), [this] { settle(); }, Qt::QueuedConnection);
}

// Once the control's operation is over (it adds or removes a description row and its notes row
// one after the other), readers hear what changed: annotations gone, new ones, renamed ones and
// the selection.
void AnnotationList::settle() {
    settlePending_ = false;
    if (!follow())
        return;
    retireBeyondCount();
    const std::int32_t n = count();
    std::vector<std::int32_t> added;
    for (std::int32_t r : inserted_)
        if (r % 2 == 0 && r / 2 < n)
            added.push_back(r / 2);
    // The first annotation is written over the empty list's rows.
    if (added.empty() && announcedCount_ == 0 && n == 1)
        added.push_back(0);
    inserted_.clear();
    manyInserted_ = false;
    const std::int32_t first = changedFirst_, last = changedLast_;
    changedFirst_ = changedLast_ = -1;
    announcedCount_ = n;

    if (announcing()) {
        std::sort(added.begin(), added.end());
        added.erase(std::unique(added.begin(), added.end()), added.end());
        for (std::int32_t k : added)
            if (AnnotationItem* a = item(k)) {
                QAccessibleEvent created(a, QAccessible::ObjectCreated);
                QAccessible::updateAccessibility(&created);
            }
        // Renamed: only the items readers know, and only when their text really changed (a
        // change of the highlight touches every row).
        if (first >= 0) {
            for (auto it = items_.lower_bound(first - 1); it != items_.end() && it->first <= last;
                 ++it) {
                auto* a =
                    static_cast<AnnotationItem*>(QAccessible::accessibleInterface(it->second.id));
                if (a == nullptr)
                    continue;
                const QString name = a->text(QAccessible::Name);
                if (name == it->second.name)
                    continue;
                it->second.name = name;
                QAccessibleEvent renamed(a, QAccessible::NameChanged);
                QAccessible::updateAccessibility(&renamed);
            }
        }
        const std::int32_t sel = selected();
        if (sel != announcedSelected_ || focusPending_) {
            if (AnnotationItem* a = item(sel)) {
                if (sel != announcedSelected_) {
                    QAccessibleEvent chosen(a, QAccessible::Selection);
                    QAccessible::updateAccessibility(&chosen);
                }
                if (view()->hasFocus()) {
                    QAccessibleEvent focus(a, QAccessible::Focus);
                    QAccessible::updateAccessibility(&focus);
                }
            }
        }
    } else {
        for (auto& [row, e] : items_)
            if (auto* a = QAccessible::accessibleInterface(e.id))
                e.name = a->text(QAccessible::Name);
    }
    announcedSelected_ = selectionKnown_ ? selected_ : selected();
    focusPending_ = false;

    for (QAccessible::Id id : retired_)
        if (QAccessible::accessibleInterface(id) != nullptr)
            QAccessible::deleteAccessibleInterface(id);
    retired_.clear();
}

QAccessibleInterface* gridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(GridView::staticMetaObject.className()))
        if (auto* view = qobject_cast<GridView*>(object))
            return new AnnotationList(view);
    return nullptr;
}

} // namespace

void installGridAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(gridFactory); });
}

} // namespace dalmure::qt
