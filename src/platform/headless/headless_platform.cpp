// HeadlessPlatform: owns the in-memory components and simulates the user's actions in the order
// a desktop delivers them.
#include "platform/headless/headless_platform.h"

#include "platform/design.h"
#include "platform/headless/headless_components.h"
#include "platform/mdb/mdb_catalogue.h"
#include "platform/text_box_model.h"

namespace dalmure::headless {

namespace {

using platform::ButtonId;

// The menu item a simulated user chooses, by its name (none: nothing is chosen); false when no
// item has that name.
bool menuChoice(const std::optional<std::string>& name,
                std::optional<platform::MenuItemId>& choice) {
    choice.reset();
    if (!name) {
        return true;
    }
    platform::MenuItemId id{};
    if (!platform::menuItemFromName(*name, id)) {
        return false;
    }
    choice = id;
    return true;
}

} // namespace

struct HeadlessPlatform::Impl {
    explicit Impl(HeadlessOptions options)
        : frame1(design::frame1Placement(), true),
          // Frame3 is hidden on the form: start-up shows it once it has set up the grid.
          frame3(design::frame3Placement(), false), surface(ctx), editor(ctx.notifications, frame3),
          menu(ctx), dialogs(ctx), browser(ctx), shell(ctx, std::move(options.htmlProgram)),
          printer(ctx.happenings), screen(ctx), clock(options.now),
          findBar([this] { gridFocus = true; }), buttons{HeadlessButton(ButtonId::Delete),
                                                         HeadlessButton(ButtonId::View),
                                                         HeadlessButton(ButtonId::Play),
                                                         HeadlessButton(ButtonId::Rename),
                                                         HeadlessButton(ButtonId::Print),
                                                         HeadlessButton(ButtonId::EntryStyleTwo),
                                                         HeadlessButton(ButtonId::EntryStyleOne)} {}

    platform::Notifications* note() const { return ctx.notifications; }

    // Tells the control (notify), which may open the popup menu, with the user's choice waiting
    // in it; a menu that did not open forgets the choice.
    template <class Notify>
    void offerChoice(std::optional<platform::MenuItemId> choice, Notify notify) {
        ctx.pendingChoice = choice;
        if (auto* n = note()) {
            notify(*n);
        }
        ctx.pendingChoice.reset();
    }

    // A character key on the grid, whose handling may open the editor; the key is then typed
    // into the editor when it has the focus.
    void gridCharacter(char16_t c) {
        auto ascii = static_cast<std::int16_t>(c);
        if (auto* n = note()) {
            n->gridKeyPress(ascii);
        }
        // A key the handling took (set to 0) is not typed.
        if (ascii != 0 && editor.visible() && editor.hasFocus()) {
            editor.typeKey(c);
        }
    }

    Context ctx;
    HeadlessFrame frame1;
    HeadlessFrame frame3;
    HeadlessSurface surface;
    HeadlessGrid grid;
    platform::TextBoxModel editor;
    HeadlessMenu menu;
    HeadlessDialogs dialogs;
    HeadlessBrowser browser;
    HeadlessShell shell;
    HeadlessPrinter printer;
    HeadlessScreen screen;
    HeadlessClock clock;
    HeadlessFindBar findBar;
    std::array<HeadlessButton, platform::kAllButtons.size()> buttons;
    platform::MdbCatalogueDatabase catalogue;
    // The grid was the last to take the focus from the editor (a click, a key on the grid, the
    // editor hidden while it had the focus): it has the focus whenever the editor has not.
    bool gridFocus = false;
};

HeadlessPlatform::HeadlessPlatform(HeadlessOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
    impl_->editor.setFocusLeaving([this] { impl_->gridFocus = true; });
    impl_->findBar.beforeFocus = [this] {
        impl_->editor.focusOut();
        impl_->gridFocus = false;
    };
    impl_->findBar.editorFocused = [this] { return impl_->editor.hasFocus(); };
    Impl& in = *impl_;
    platform::Components parts{.surface = &in.surface,
                               .frame1 = &in.frame1,
                               .frame3 = &in.frame3,
                               .grid = &in.grid,
                               .editor = &in.editor,
                               .menu = &in.menu,
                               .dialogs = &in.dialogs,
                               .browser = &in.browser,
                               .shell = &in.shell,
                               .printer = &in.printer,
                               .screen = &in.screen,
                               .clock = &in.clock,
                               .catalogue = &in.catalogue,
                               .findBar = &in.findBar};
    for (std::size_t i = 0; i < parts.buttons.size(); ++i) {
        parts.buttons[i] = &in.buttons[i];
    }
    setComponents(parts);
}

HeadlessPlatform::~HeadlessPlatform() = default;

// --- platform::Platform -----------------------------------------------------------------------

void HeadlessPlatform::setNotifications(platform::Notifications* sink) {
    impl_->ctx.notifications = sink;
}

// --- Observing --------------------------------------------------------------------------------

void HeadlessPlatform::setHappeningSink(HappeningSink* sink) {
    impl_->ctx.happenings = sink;
}
void HeadlessPlatform::setNow(const platform::LocalTime& now) {
    impl_->clock.fix(now);
}

bool HeadlessPlatform::buttonShown(platform::ButtonId id) const {
    // Every button but the play button stands in Frame3.
    const bool inFrame3 = id != ButtonId::Play;
    return impl_->buttons[static_cast<std::size_t>(id)].visible() &&
           (!inFrame3 || impl_->frame3.visible());
}

void HeadlessPlatform::setPendingEventsHook(std::function<void()> hook) {
    impl_->ctx.pendingEvents = std::move(hook);
}

const std::vector<Str>& HeadlessPlatform::propertiesChanged() const {
    return impl_->surface.propertiesChanged();
}

int HeadlessPlatform::menuPopups() const {
    return impl_->menu.popups();
}

void HeadlessPlatform::queueAnswer(const Str& text) {
    impl_->dialogs.queue(text);
}
void HeadlessPlatform::queueCancel() {
    impl_->dialogs.queue(std::nullopt);
}

// --- The user ---------------------------------------------------------------------------------

bool HeadlessPlatform::userClick(std::int32_t row, std::int32_t col) {
    impl_->findBar.blur();
    auto& g = impl_->grid;
    if (!g.cellExists(row, col)) {
        return false;
    }
    impl_->editor.focusOut();
    impl_->gridFocus = true;
    clickCell(row, col);
    return true;
}

// The part of a click after the editor lost the focus: the cell becomes current, then the
// click notification.
void HeadlessPlatform::clickCell(std::int32_t row, std::int32_t col) {
    auto& g = impl_->grid;
    auto* n = impl_->note();
    if (row != g.row() || col != g.col()) {
        if (n) {
            n->gridLeaveCell();
        }
        // The handlers may have removed rows meanwhile: the click lands on what is there.
        if (g.cellExists(row, col)) {
            g.setRow(row);
            g.setCol(col);
        }
    }
    if (n) {
        n->gridClick();
    }
}

bool HeadlessPlatform::userDblClick(std::int32_t row, std::int32_t col) {
    if (!userClick(row, col)) {
        return false;
    }
    if (auto* n = impl_->note()) {
        n->gridDblClick();
    }
    return true;
}

bool HeadlessPlatform::userRightClick(std::int32_t row, std::int32_t col,
                                      std::optional<std::string> choose) {
    auto& g = impl_->grid;
    if (!g.cellExists(row, col)) {
        return false;
    }
    std::optional<platform::MenuItemId> choice;
    if (!menuChoice(choose, choice)) {
        return false;
    }
    const double x = g.colPos(col) + 15.0;
    const double y = g.rowPos(row) + 15.0;
    impl_->editor.focusOut();
    impl_->findBar.blur();
    impl_->gridFocus = true;
    // A right click on an annotation selects it first; on the empty list it only opens the menu.
    const bool emptyList = g.rows() == 2 && g.textMatrix(0, 0).empty();
    if (!emptyList) {
        clickCell(row, col);
    }
    impl_->offerChoice(choice, [&](platform::Notifications& n) {
        n.gridMouseUp(platform::kRightButton, 0, x, y);
    });
    return true;
}

void HeadlessPlatform::userKeyPress(std::int16_t ascii) {
    impl_->findBar.blur();
    impl_->editor.focusOut();
    impl_->gridFocus = true;
    impl_->gridCharacter(static_cast<char16_t>(static_cast<std::uint16_t>(ascii)));
}

void HeadlessPlatform::userKeyDown(std::int16_t keyCode, int shift) {
    impl_->editor.focusOut();
    impl_->gridFocus = true;
    if (auto* n = impl_->note()) {
        n->gridKeyDown(keyCode, shift);
    }
}

bool HeadlessPlatform::userMenuKey(std::optional<std::string> choose) {
    std::optional<platform::MenuItemId> choice;
    if (!menuChoice(choose, choice)) {
        return false;
    }
    // The focus stays where it is: on the grid, or in the editor.
    impl_->offerChoice(choice, [](platform::Notifications& n) { n.menuRequested(); });
    return true;
}

int HeadlessPlatform::userType(const Str& text) {
    auto& ed = impl_->editor;
    int delivered = 0;
    for (char16_t c : text) {
        if (impl_->findBar.hasFocus()) {
            // As a line edit reports only the edits that change its text.
            auto* n = impl_->note();
            if (impl_->findBar.typeKey(c) && n != nullptr)
                n->findTextChanged();
        } else if (ed.visible() && ed.hasFocus()) {
            ed.typeKey(c);
        } else if (impl_->gridFocus && !ed.hasFocus()) {
            impl_->gridCharacter(c);
        } else {
            break;
        }
        ++delivered;
    }
    return delivered;
}

void HeadlessPlatform::userBlur() {
    impl_->findBar.blur();
    impl_->editor.focusOut();
    impl_->gridFocus = false;
}

void HeadlessPlatform::userFocus() {
    if (auto* n = impl_->note()) {
        n->surfaceEnterFocus();
    }
}

bool HeadlessPlatform::userButton(platform::ButtonId id) {
    impl_->findBar.blur();
    if (!buttonShown(id)) {
        return false;
    }
    impl_->editor.focusOut();
    impl_->gridFocus = false;
    if (auto* n = impl_->note()) {
        n->buttonClick(id);
    }
    return true;
}

bool HeadlessPlatform::userHover(const std::string& over) {
    auto* n = impl_->note();
    ButtonId id{};
    if (platform::buttonFromName(over, id)) {
        if (!buttonShown(id)) {
            return false;
        }
        if (n) {
            n->buttonMouseMove(id);
        }
        return true;
    }
    if (over == "grid") {
        if (n) {
            n->gridMouseMove(0, 0, 15.0, 15.0);
        }
        return true;
    }
    if (over == "surface") {
        if (n) {
            n->surfaceMouseMove(0, 0, 15.0, 15.0);
        }
        return true;
    }
    return false;
}

bool HeadlessPlatform::userScroll(std::optional<std::int32_t> topRow) {
    auto& g = impl_->grid;
    const std::int64_t wanted = topRow ? *topRow : static_cast<std::int64_t>(g.topRow()) + 1;
    if (wanted < 0 || wanted >= g.rows()) {
        return false;
    }
    g.setTopRow(static_cast<std::int32_t>(wanted));
    if (auto* n = impl_->note()) {
        n->gridScroll();
    }
    return true;
}

bool HeadlessPlatform::userFind() {
    auto& bar = impl_->findBar;
    const bool editorFocus = impl_->editor.visible() && impl_->editor.hasFocus();
    if (!editorFocus && !impl_->gridFocus && !bar.hasFocus())
        return false;
    if (auto* n = impl_->note())
        n->findRequested();
    return true;
}

bool HeadlessPlatform::userFindKey(FindKey key) {
    auto& bar = impl_->findBar;
    auto* n = impl_->note();
    const bool editorFocus = impl_->editor.visible() && impl_->editor.hasFocus();
    switch (key) {
    case FindKey::Enter:
    case FindKey::Escape:
        if (!bar.hasFocus())
            return false;
        break;
    case FindKey::F3:
    case FindKey::ShiftF3:
        if (!bar.visible() || (!bar.hasFocus() && !editorFocus && !impl_->gridFocus))
            return false;
        break;
    case FindKey::Close:
        if (!bar.visible())
            return false;
        break;
    }
    if (n == nullptr)
        return true;
    if (key == FindKey::Escape || key == FindKey::Close)
        n->findClosed();
    else
        n->findNext(key == FindKey::ShiftF3);
    return true;
}

bool HeadlessPlatform::findBarShown() const {
    return impl_->findBar.visible();
}
bool HeadlessPlatform::findBarFocused() const {
    return impl_->findBar.hasFocus();
}
Str HeadlessPlatform::findBarCount() const {
    return impl_->findBar.count();
}

void HeadlessPlatform::userResize(std::int32_t width, std::int32_t height) {
    impl_->surface.setWidth(width);
    impl_->surface.setHeight(height);
    if (auto* n = impl_->note()) {
        n->surfaceResize();
    }
}

void HeadlessPlatform::userAmbient(const Str& name) {
    if (auto* n = impl_->note()) {
        n->ambientChanged(name);
    }
}

} // namespace dalmure::headless
