// The in-memory components behind HeadlessPlatform. Internal to the headless platform: the
// control reaches them only through the platform interfaces.
#pragma once

#include "platform/headless/headless_platform.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace dalmure::headless {

// What every component shares: where notifications and happenings go, and the right-click
// choice waiting for the popup menu.
struct Context {
    platform::Notifications* notifications = nullptr;
    HappeningSink* happenings = nullptr;
    std::optional<platform::MenuItemId> pendingChoice;
    std::function<void()> pendingEvents;
};

// Text metrics of the in-memory platform: each character 10 x S twips wide, each line 25 x S
// high for a font of S points. A line ends at CR LF, CR or LF; an empty text is one line.
double measureWidth(StrView text, double points);
double measureHeight(StrView text, double points);

// VB's run-time error 380.
[[noreturn]] void invalidPropertyValue();

// ---------------------------------------------------------------------------------------------
// The annotation grid. Rows live in chunks of at most kMaxChunk rows; two Fenwick trees over the
// chunks hold their row counts and height sums, so that locating a row, its position and an
// insertion or removal cost O(log n + chunk size). Cell colours carry the epoch of the last
// fillCellBackColor they saw, which makes a fill O(1).
class HeadlessGrid final : public platform::Grid {
  public:
    HeadlessGrid();
    ~HeadlessGrid() override;

    std::int32_t rows() const override;
    std::int32_t cols() const override;
    std::int32_t row() const override;
    void setRow(std::int32_t row) override;
    std::int32_t col() const override;
    void setCol(std::int32_t col) override;
    Str text() const override;
    void textInto(Str& out) const override;
    void setText(const Str& text) override;
    Str textMatrix(std::int32_t row, std::int32_t col) const override;
    int compareText(std::int32_t row, std::int32_t col, StrView text) const override;
    void addItem(const Str& item, std::int32_t index) override;
    void removeItem(std::int32_t index) override;
    void clear() override;
    std::int32_t topRow() const override;
    void setTopRow(std::int32_t row) override;
    std::int32_t colWidth(std::int32_t col) const override;
    void setColWidth(std::int32_t col, std::int32_t width) override;
    std::int32_t rowHeight(std::int32_t row) const override;
    void setRowHeight(std::int32_t row, std::int32_t height) override;
    std::int32_t colAlignment(std::int32_t col) const override;
    void setColAlignment(std::int32_t col, std::int32_t alignment) override;
    std::int32_t rowPos(std::int32_t row) const override;
    std::int32_t colPos(std::int32_t col) const override;
    std::int32_t cellBackColor() const override;
    void setCellBackColor(std::int32_t color) override;
    bool cellFontBold() const override;
    void setCellFontBold(bool bold) override;
    std::int32_t cellBackColorAt(std::int32_t row, std::int32_t col) const override;
    bool cellFontBoldAt(std::int32_t row, std::int32_t col) const override;
    void fillCellBackColor(std::int32_t color) override;
    std::int32_t backColor() const override;
    void setBackColor(std::int32_t color) override;
    std::int32_t backColorBkg() const override;
    void setBackColorBkg(std::int32_t color) override;
    std::int32_t backColorFixed() const override;
    double fontSize() const override;
    void setFontSize(double points) override;
    std::int32_t left() const override;
    void setLeft(std::int32_t v) override;
    std::int32_t top() const override;
    void setTop(std::int32_t v) override;
    std::int32_t width() const override;
    void setWidth(std::int32_t v) override;
    std::int32_t height() const override;
    void setHeight(std::int32_t v) override;
    bool visible() const override;
    void setVisible(bool v) override;

    // The cell (row, col) exists.
    bool cellExists(std::int32_t row, std::int32_t col) const;
    // Text of a cell without a copy (valid until the cell changes).
    StrView cellView(std::int32_t row, std::int32_t col) const;

    static constexpr std::int32_t kCols = 2;
    // FlexGrid's flexAlignGeneral, the alignment of a column nobody set.
    static constexpr std::int32_t kAlignGeneral = 9;

  private:
    struct Row {
        // Both cells' texts in one allocation: column 0's then column 1's.
        std::unique_ptr<char16_t[]> text;
        std::uint32_t len0 = 0, len1 = 0;
        std::int32_t height = 0;
        std::array<std::int32_t, kCols> color{};
        std::array<std::uint32_t, kCols> epoch{};
        std::uint8_t flags = 0; // kBold0, kBold1, kOwnColor0, kOwnColor1
    };
    static constexpr std::uint8_t kBold0 = 1, kOwnColor0 = 4;
    struct Chunk {
        std::vector<Row> rows;
        std::int64_t height = 0; // sum of the rows' heights
    };
    struct Place {
        std::size_t chunk;
        std::size_t offset;
    };
    static constexpr std::size_t kMaxChunk = 128;
    static constexpr std::size_t kMinChunk = 24;

    static std::unique_ptr<Chunk> newChunk();
    // Room for one more row at p, whose chunk is full; returns where the row now goes.
    Place makeRoom(Place p);
    Row makeRow(StrView c0, StrView c1) const;
    static StrView cellOf(const Row& r, std::int32_t col);
    static void setCellOf(Row& r, std::int32_t col, StrView text);
    std::int32_t colorOf(const Row& r, std::int32_t col) const;

    void checkRow(std::int32_t row) const;
    void checkCol(std::int32_t col) const;
    Place locate(std::int32_t row) const;
    Row& rowAt(std::int32_t row);
    const Row& rowAt(std::int32_t row) const;
    // Sum of the heights of rows 0 .. row - 1 (row may equal rows()).
    std::int64_t heightBefore(std::int32_t row) const;

    // Fenwick trees over the chunks.
    void rebuildIndex();
    void indexAdd(std::size_t chunk, std::int64_t count, std::int64_t height);
    std::int64_t countPrefix(std::size_t chunks) const;
    std::int64_t heightPrefix(std::size_t chunks) const;
    void afterShrink(std::size_t chunk);

    // Forgets the cached places below; on any change of the chunks or of their row counts.
    void forgetPlaces() const;

    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<std::int64_t> countTree_;  // 1-based Fenwick
    std::vector<std::int64_t> heightTree_; // 1-based Fenwick
    std::int32_t rows_ = 0;

    // Walks over rows in order (the minutes, the resize) ask for row after row: the chunk last
    // located (with the number of its first row) answers them without descending the index,
    // and a known heightBefore(row) gives heightBefore(row + 1) by one addition. The top row's
    // own figure is kept apart, since rowPos asks for both each time. Both marks follow height
    // changes of the rows above them.
    struct HeightMark {
        std::int32_t row = -1;
        std::int64_t before = 0;
    };
    static constexpr std::size_t kNoChunk = static_cast<std::size_t>(-1);
    mutable std::size_t placeChunk_ = kNoChunk;
    mutable std::int64_t placeFirst_ = 0;
    mutable HeightMark walkMark_, topMark_;

    std::int32_t row_ = 0, col_ = 0, topRow_ = 0;
    std::array<std::int32_t, kCols> colWidth_{};
    std::array<std::int32_t, kCols> colAlign_{};
    std::uint32_t fillEpoch_ = 0;
    std::int32_t fillColor_ = 0;
    std::int32_t backColor_, backColorBkg_, backColorFixed_;
    double fontSize_;
    std::int32_t left_, top_, width_, height_;
    bool visible_ = true;
};

// ---------------------------------------------------------------------------------------------
class HeadlessFrame final : public platform::Frame {
  public:
    HeadlessFrame(std::int32_t width, std::int32_t height, bool visible)
        : width_(width), height_(height), visible_(visible) {}
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override;
    std::int32_t height() const override { return height_; }
    void setHeight(std::int32_t v) override;
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }

  private:
    std::int32_t width_, height_;
    bool visible_;
};

class HeadlessSurface final : public platform::ControlSurface {
  public:
    explicit HeadlessSurface(Context& ctx);
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override { width_ = v; }
    std::int32_t height() const override { return height_; }
    void setHeight(std::int32_t v) override { height_ = v; }
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override { backColor_ = color; }
    double fontSize() const override { return fontSize_; }
    void setFontSize(double points) override { fontSize_ = points; }
    double textWidth(StrView text) const override { return measureWidth(text, fontSize_); }
    double textHeight(StrView text) const override { return measureHeight(text, fontSize_); }
    void propertyChanged(const Str& name) override { changed_.push_back(name); }
    void yieldToPendingEvents() override;

    const std::vector<Str>& propertiesChanged() const { return changed_; }

  private:
    Context& ctx_;
    std::int32_t width_, height_, backColor_;
    double fontSize_;
    std::vector<Str> changed_;
};

// ---------------------------------------------------------------------------------------------
class HeadlessEditor final : public platform::TextBox {
  public:
    HeadlessEditor(Context& ctx, const platform::Frame& holder);

    Str text() const override { return text_; }
    void setText(const Str& text) override;
    std::int32_t selStart() const override { return selStart_; }
    void setSelStart(std::int32_t pos) override;
    std::int32_t left() const override { return left_; }
    void setLeft(std::int32_t v) override { left_ = v; }
    std::int32_t top() const override { return top_; }
    void setTop(std::int32_t v) override { top_ = v; }
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override;
    std::int32_t height() const override { return height_; }
    void setHeight(std::int32_t v) override;
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }
    bool readOnly() const override { return readOnly_; }
    void setReadOnly(bool v) override { readOnly_ = v; }
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override { backColor_ = color; }
    double fontSize() const override { return fontSize_; }
    void setFontSize(double points) override { fontSize_ = points; }
    void setFocus() override;
    bool hasFocus() const override { return focus_; }

    // The user's editing at the caret (each raises the change notification when it changes
    // the text).
    void typeAtCaret(StrView text);
    void backspace();
    // The focus goes elsewhere: the focus-lost notification when the editor had it.
    void loseFocus();

  private:
    void changed();

    Context& ctx_;
    const platform::Frame& holder_;
    Str text_;
    std::int32_t selStart_ = 0;
    std::int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false, readOnly_ = false, focus_ = false;
    std::int32_t backColor_;
    double fontSize_;
};

// ---------------------------------------------------------------------------------------------
class HeadlessButton final : public platform::CommandButton {
  public:
    explicit HeadlessButton(platform::ButtonId id);
    std::int32_t left() const override { return left_; }
    void setLeft(std::int32_t v) override { left_ = v; }
    std::int32_t top() const override { return top_; }
    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    bool visible() const override { return visible_; }
    void setVisible(bool v) override { visible_ = v; }
    Str toolTipText() const override { return toolTip_; }
    void setToolTipText(const Str& text) override { toolTip_ = text; }
    std::int32_t buttonColor() const override { return color_; }
    void setButtonColor(std::int32_t color) override { color_ = color; }

  private:
    std::int32_t left_, top_, width_, height_;
    bool visible_ = true;
    Str toolTip_;
    std::int32_t color_;
};

class HeadlessMenu final : public platform::PopupMenu {
  public:
    explicit HeadlessMenu(Context& ctx);
    Str caption(platform::MenuItemId item) const override;
    void setCaption(platform::MenuItemId item, const Str& caption) override;
    bool enabled(platform::MenuItemId item) const override;
    void setEnabled(platform::MenuItemId item, bool v) override;
    bool visible(platform::MenuItemId item) const override;
    void setVisible(platform::MenuItemId item, bool v) override;
    void popup(bool rightButtonChooses) override;

    int popups() const { return popups_; }

  private:
    struct Item {
        Str caption;
        bool enabled = true;
        bool visible = true;
    };
    Context& ctx_;
    std::array<Item, platform::kAllMenuItems.size()> items_;
    int popups_ = 0;
};

// ---------------------------------------------------------------------------------------------
class HeadlessDialogs final : public platform::Dialogs {
  public:
    explicit HeadlessDialogs(Context& ctx) : ctx_(ctx) {}
    Str inputBox(const Str& message, const Str& title, const Str& defaultText) override;
    void messageBox(const Str& message, const Str& title) override;

    void queue(std::optional<Str> answer) { answers_.push_back(std::move(answer)); }
    std::size_t queued() const { return answers_.size(); }

  private:
    Context& ctx_;
    std::deque<std::optional<Str>> answers_; // nullopt: cancel
};

class HeadlessBrowser final : public platform::BrowserComponent {
  public:
    explicit HeadlessBrowser(Context& ctx);
    void navigate(const Str& path) override;
    std::int32_t width() const override { return width_; }
    void setWidth(std::int32_t v) override { width_ = v; }

  private:
    Context& ctx_;
    std::int32_t width_;
};

class HeadlessShell final : public platform::Shell {
  public:
    HeadlessShell(Context& ctx, std::optional<Str> htmlProgram)
        : ctx_(ctx), htmlProgram_(std::move(htmlProgram)) {}
    int findExecutable(const Str& file, const Str& directory, Str& programBuffer) override;
    int shellExecute(const Str& operation, const Str& program, const std::vector<Str>& arguments,
                     const Str& directory, int showMode) override;

  private:
    Context& ctx_;
    std::optional<Str> htmlProgram_;
};

class HeadlessPrinter final : public platform::Printer {
  public:
    explicit HeadlessPrinter(Context& ctx) : ctx_(ctx) {}
    void setPrintSize(std::int16_t size) override;
    std::int16_t printSize() const override { return size_; }

  private:
    Context& ctx_;
    std::int16_t size_ = 0;
};

class HeadlessScreen final : public platform::Screen {
  public:
    explicit HeadlessScreen(Context& ctx) : ctx_(ctx) {}
    void setMousePointer(int pointer) override;
    int mousePointer() const override { return pointer_; }

  private:
    Context& ctx_;
    int pointer_ = platform::kPointerDefault;
};

class HeadlessClock final : public platform::Clock {
  public:
    explicit HeadlessClock(std::optional<platform::LocalTime> fixed) : fixed_(fixed) {}
    platform::LocalTime now() const override;
    double secondsSinceMidnight() const override;
    void fix(const platform::LocalTime& t) { fixed_ = t; }

  private:
    std::optional<platform::LocalTime> fixed_;
};

} // namespace dalmure::headless
