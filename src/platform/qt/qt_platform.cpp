// The Qt platform: builds the control's form (surface, frames, buttons, grid, editor, menu,
// browser) from its design-time values and connects the focus tracking.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"
#include "platform/desktop/gio_shell.h"
#include "platform/mdb/mdb_catalogue.h"

#include <QApplication>
#include <QKeyEvent>

namespace dalmure::qt {

namespace {

// The desktop's shell; every program it starts is reported as it starts.
class QtShell final : public platform::Shell {
  public:
    QtShell(Context& ctx, std::optional<Str> htmlProgram)
        : ctx_(ctx), desktop_(std::move(htmlProgram)) {}
    int findExecutable(const Str& file, const Str& directory, Str& programBuffer) override {
        return desktop_.findExecutable(file, directory, programBuffer);
    }
    int shellExecute(const Str& operation, const Str& program, const std::vector<Str>& arguments,
                     const Str& directory, int showMode) override {
        if (ctx_.happenings)
            ctx_.happenings->launch(program, platform::quotedArguments(arguments));
        return desktop_.shellExecute(operation, program, arguments, directory, showMode);
    }

  private:
    Context& ctx_;
    platform::DesktopShell desktop_;
};

bool inside(const QWidget* w, const QWidget* root) {
    return w != nullptr && (w == root || root->isAncestorOf(w));
}

// A character key pressed on the grid: the grid's character-key notification (whose handling
// opens the editor), then, when the editor took the focus, the same key typed into the editor,
// so that the first key of a note is not lost.
class GridCharacterKeys final : public QObject {
  public:
    GridCharacterKeys(Context& ctx, QtTextBox& editor, QObject* parent)
        : QObject(parent), ctx_(ctx), editor_(editor) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        auto* k = static_cast<QKeyEvent*>(e);
        std::int16_t ascii = 0;
        const QString t = k->text();
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
            ascii = 13;
        else if (k->key() == Qt::Key_Escape)
            ascii = 27;
        else if (!t.isEmpty() && (t.at(0).unicode() >= 32 || t.at(0).unicode() == 8))
            ascii = static_cast<std::int16_t>(t.at(0).unicode());
        if (ascii == 0 || watched == nullptr)
            return false; // moves, the menu key: the grid's own
        if (ctx_.sink)
            ctx_.sink->gridKeyPress(ascii);
        platform::TextBoxModel& m = editor_.model();
        // A key the handling took (set to 0) is not typed.
        if (ascii != 0 && m.visible() && m.hasFocus())
            QApplication::sendEvent(editor_.widget(), k);
        k->accept();
        return true;
    }

  private:
    Context& ctx_;
    QtTextBox& editor_;
};

// Remembers whether the focus last came to one of the control's widgets by Tab or Shift+Tab.
class TabArrival final : public QObject {
  public:
    using QObject::QObject;
    bool arrived = false;

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* e) override {
        if (e->type() == QEvent::FocusIn) {
            const Qt::FocusReason r = static_cast<QFocusEvent*>(e)->reason();
            arrived = r == Qt::TabFocusReason || r == Qt::BacktabFocusReason;
        }
        return false;
    }
};

} // namespace

struct QtPlatform::Impl {
    Context ctx;
    QPointer<SurfaceWidget> surfaceWidget;
    std::unique_ptr<QtSurface> surface;
    std::unique_ptr<QtFrame> frame3, frame1;
    std::unique_ptr<QtGrid> grid;
    std::unique_ptr<QtTextBox> editor;
    std::unique_ptr<QtFindBar> findBar;
    std::array<std::unique_ptr<QtButton>, 7> buttons;
    std::unique_ptr<QtMenu> menu;
    std::unique_ptr<QtDialogs> dialogs;
    std::unique_ptr<headless::HeadlessPrinter> printer;
    std::unique_ptr<QtBrowser> browser;
    std::unique_ptr<QtShell> shell;
    std::unique_ptr<QtScreen> screen;
    std::unique_ptr<headless::HeadlessClock> clock;
    platform::MdbCatalogueDatabase catalogue;
    QMetaObject::Connection focusConnection;
    bool entering = false, entered = false; // the container is giving the control the focus
    TabArrival* tabArrival = nullptr;

    Impl(QWidget* parent, QtPlatformOptions& options) {
        surfaceWidget = new SurfaceWidget(ctx, parent);
        surfaceWidget->setObjectName(QStringLiteral("Dalmure"));
        ctx.surface = surfaceWidget;
        surface = std::make_unique<QtSurface>(ctx, surfaceWidget);

        auto* f1 = new QFrame(surfaceWidget);
        f1->setObjectName(QStringLiteral("Frame1"));
        f1->setFrameShape(QFrame::NoFrame);
        f1->setAttribute(Qt::WA_TransparentForMouseEvents);
        frame1 = std::make_unique<QtFrame>(ctx, f1, design::frame1Placement());

        auto* f3 = new QFrame(surfaceWidget);
        f3->setObjectName(QStringLiteral("Frame3"));
        f3->setFrameShape(QFrame::StyledPanel);
        f3->setFrameShadow(QFrame::Sunken);
        frame3 = std::make_unique<QtFrame>(ctx, f3, design::frame3Placement());

        grid = std::make_unique<QtGrid>(ctx, f3);
        editor = std::make_unique<QtTextBox>(ctx, *frame3);

        for (auto id : platform::kAllButtons) {
            QtFrame* const holder = id == platform::ButtonId::Play ? nullptr : frame3.get();
            buttons[static_cast<std::size_t>(id)] =
                std::make_unique<QtButton>(ctx, id, surfaceWidget, holder);
        }
        frame3->onVisibility = [this] {
            for (auto& b : buttons)
                b->apply();
        };

        menu = std::make_unique<QtMenu>(ctx, surfaceWidget, [this] {
            GridView* v = grid->view();
            return v->viewport()->mapToGlobal(v->lastMouse);
        });
        ctx.commandMenu = menu.get();
        dialogs = std::make_unique<QtDialogs>(ctx);
        printer = std::make_unique<headless::HeadlessPrinter>(ctx.happenings);
        browser = std::make_unique<QtBrowser>(ctx, *frame1, *printer, options.printPdf);
        shell = std::make_unique<QtShell>(ctx, options.htmlProgram);
        screen = std::make_unique<QtScreen>(ctx);
        clock = std::make_unique<headless::HeadlessClock>(options.now);

        // Keyboard order, as the eye reads the control: the commands from left to right, then
        // the list, then the notes. The modes only hide commands or close the gap they leave, so
        // this order stays the visual one; Qt passes over the hidden ones.
        using platform::ButtonId;
        const ButtonId order[] = {ButtonId::Play,         ButtonId::Rename, ButtonId::View,
                                  ButtonId::Print,        ButtonId::Delete, ButtonId::EntryStyleTwo,
                                  ButtonId::EntryStyleOne};
        tabArrival = new TabArrival(surfaceWidget);
        QWidget* previous = nullptr;
        for (ButtonId id : order) {
            QWidget* w = buttons[static_cast<std::size_t>(id)]->widget();
            w->installEventFilter(tabArrival);
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
        QWidget::setTabOrder(previous, grid->view());
        QWidget::setTabOrder(grid->view(), editor->widget());
        grid->view()->installEventFilter(tabArrival);
        editor->setFocusHome(grid->view());
        grid->view()->installEventFilter(new GridCharacterKeys(ctx, *editor, surfaceWidget));
        // Installed last, so that its keys come to it before the grid's character keys.
        findBar =
            std::make_unique<QtFindBar>(ctx, f3, QList<QWidget*>{grid->view(), editor->widget()});

        ctx.focusTaken = [this](QWidget* w) { editor->focusChanged(nullptr, w); };
        focusConnection = QObject::connect(
            qApp, &QApplication::focusChanged, surfaceWidget, [this](QWidget* old, QWidget* now) {
                editor->focusChanged(old, now);
                // The focus entered the control from elsewhere in its window.
                const bool fromOutside =
                    entering || (old != nullptr && !inside(old, surfaceWidget) &&
                                 old->window() == surfaceWidget->window());
                // Tabbing in onto a command or the list stays there, so that Tab and Shift+Tab
                // reach every part; any other way in, the control puts the focus in the notes.
                const bool tabbedIn = !entering && tabArrival->arrived;
                tabArrival->arrived = false;
                if (ctx.sink && inside(now, surfaceWidget) && fromOutside) {
                    entered = true;
                    if (!tabbedIn)
                        ctx.sink->surfaceEnterFocus();
                }
            });
        surfaceWidget->onContainerResize = [this](QSize px) { surface->containerResized(px); };
        // On a screen of another DPI the twips stay and the pixels follow.
        surfaceWidget->onScreenChange = [this] {
            surface->apply();
            frame1->apply();
            frame3->apply();
            grid->applyPixelSizes();
            editor->applyGeometry();
            findBar->apply();
            for (auto& b : buttons)
                b->apply();
        };
    }
};

QtPlatform::QtPlatform(QWidget* parent, QtPlatformOptions options)
    : impl_(std::make_unique<Impl>(parent, options)) {
    Impl& in = *impl_;
    platform::Components parts{.surface = in.surface.get(),
                               .frame1 = in.frame1.get(),
                               .frame3 = in.frame3.get(),
                               .grid = &in.grid->model(),
                               .editor = &in.editor->model(),
                               .menu = in.menu.get(),
                               .dialogs = in.dialogs.get(),
                               .browser = in.browser.get(),
                               .shell = in.shell.get(),
                               .printer = in.printer.get(),
                               .screen = in.screen.get(),
                               .clock = in.clock.get(),
                               .catalogue = &in.catalogue,
                               .findBar = in.findBar.get()};
    for (std::size_t i = 0; i < parts.buttons.size(); ++i)
        parts.buttons[i] = in.buttons[i].get();
    setComponents(parts);
}

QtPlatform::~QtPlatform() {
    // The widgets belong to the surface: they go first, with nothing left to notify.
    impl_->ctx.sink = nullptr;
    impl_->ctx.happenings = nullptr;
    impl_->ctx.focusTaken = nullptr;
    QObject::disconnect(impl_->focusConnection);
    delete impl_->surfaceWidget.data();
    impl_.reset();
}

void QtPlatform::setNotifications(platform::Notifications* sink) {
    impl_->ctx.sink = sink;
}
QWidget* QtPlatform::findBarWidget() const {
    return impl_->findBar->widget();
}

QWidget* QtPlatform::surfaceWidget() const {
    return impl_->surfaceWidget;
}
QFrame* QtPlatform::frameWidget(platform::FrameId id) const {
    return id == platform::FrameId::Frame1 ? impl_->frame1->widget() : impl_->frame3->widget();
}
QTableView* QtPlatform::gridView() const {
    return impl_->grid->view();
}
QPlainTextEdit* QtPlatform::editorWidget() const {
    return impl_->editor->widget();
}
QToolButton* QtPlatform::buttonWidget(platform::ButtonId id) const {
    return impl_->buttons[static_cast<std::size_t>(id)]->widget();
}
QMenu* QtPlatform::menuWidget() const {
    return impl_->menu->widget();
}

QRect QtPlatform::cellRect(std::int32_t row, std::int32_t col) const {
    QTableView* v = impl_->grid->view();
    if (row < 0 || row >= impl_->grid->rows() || col < 0 || col > 1)
        return {};
    return v->visualRect(v->model()->index(row, col));
}

QRect QtPlatform::revealCell(std::int32_t row, std::int32_t col) {
    if (row < 0 || row >= impl_->grid->rows() || col < 0 || col > 1)
        return {};
    impl_->grid->reveal(row);
    return cellRect(row, col);
}

void QtPlatform::restoreScroll() {
    impl_->grid->applyScroll();
}

void QtPlatform::containerResize(std::int32_t widthTwips, std::int32_t heightTwips) {
    impl_->surface->containerResize(widthTwips, heightTwips);
}

void QtPlatform::containerFocus() {
    QWidget* surface = impl_->surfaceWidget;
    if (inside(QApplication::focusWidget(), surface)) {
        if (impl_->ctx.sink)
            impl_->ctx.sink->surfaceEnterFocus();
        return;
    }
    impl_->entering = true;
    impl_->entered = false;
    surface->setFocus(Qt::TabFocusReason);
    impl_->entering = false;
    if (!impl_->entered && impl_->ctx.sink)
        impl_->ctx.sink->surfaceEnterFocus(); // the window is not active: no focus event came
    // With no notes to take it, the keyboard goes on to the list rather than staying on the
    // surface, where no key does anything (notes hidden out of view keep it there).
    QTableView* list = impl_->grid->view();
    if (QApplication::focusWidget() == surface && !impl_->editor->model().hasFocus() &&
        list->isVisible())
        list->setFocus(Qt::OtherFocusReason);
}

void QtPlatform::containerAmbientChanged(const Str& name) {
    if (impl_->ctx.sink)
        impl_->ctx.sink->ambientChanged(name);
}

void QtPlatform::setHappeningSink(headless::HappeningSink* sink) {
    impl_->ctx.happenings = sink;
}
void QtPlatform::setNow(const platform::LocalTime& now) {
    impl_->clock->fix(now);
}
bool QtPlatform::buttonShown(platform::ButtonId id) const {
    return impl_->buttons[static_cast<std::size_t>(id)]->shown();
}
void QtPlatform::setModalDriver(std::function<void(QWidget*)> driver) {
    impl_->ctx.modalDriver = std::move(driver);
}
void QtPlatform::setPrintFinished(std::function<void(const QString&, bool)> callback) {
    impl_->ctx.printFinished = std::move(callback);
}
bool QtPlatform::printing() const {
    return impl_->browser->busy();
}
int QtPlatform::pxX(double twips) const {
    return impl_->ctx.pxX(twips);
}
int QtPlatform::pxY(double twips) const {
    return impl_->ctx.pxY(twips);
}

} // namespace dalmure::qt
