// The Qt 6 Widgets platform: the control's grid, editor, buttons, frames, menu, dialogs,
// browser component and printer as real widgets inside one surface widget. Sizes and positions
// are kept in twips as the control gives them and drawn in pixels at the surface's logical DPI.
#pragma once

#include "platform/headless/headless_platform.h"
#include "platform/platform.h"
#include <dalmure/dalmure_qt_export.h>

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class QTableView;
class QPlainTextEdit;
class QToolButton;
class QMenu;
class QFrame;

namespace dalmure::qt {

struct QtPlatformOptions {
    // Fixed local clock; nullopt: the real clock runs.
    std::optional<platform::LocalTime> now;
    // Program associated with .html files in place of the desktop's association; an empty text
    // means that none is associated.
    std::optional<Str> htmlProgram;
    // Print the minutes into this PDF file, with no dialog, instead of to a printer. When unset,
    // the environment variable DALMURE_PRINT_PDF gives the file, if set.
    std::optional<QString> printPdf;
};

class QtPlatform : public platform::Platform {
  public:
    // The surface widget is created as a child of parent.
    explicit QtPlatform(QWidget* parent, QtPlatformOptions options = {});
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    void setNotifications(platform::Notifications* sink) override;

    // --- The widgets ---
    QWidget* surfaceWidget() const;
    QFrame* frameWidget(platform::FrameId id) const;
    QTableView* gridView() const;
    QPlainTextEdit* editorWidget() const;
    QToolButton* buttonWidget(platform::ButtonId id) const;
    QMenu* menuWidget() const;
    // The find bar: its children FindText (a QLineEdit), FindCount (a QLabel), FindClose.
    QWidget* findBarWidget() const;
    // The pixel rectangle of a cell in the grid view's viewport (empty when the row is not laid
    // out, above the top row or hidden).
    QRect cellRect(std::int32_t row, std::int32_t col) const;
    // Scrolls the view, without telling the control, so that the cell can be clicked; its
    // rectangle as cellRect gives it. restoreScroll shows the top row the control set again.
    QRect revealCell(std::int32_t row, std::int32_t col);
    void restoreScroll();

    // --- The container ---
    // The container gives the control a size in twips (kept exactly, drawn in pixels).
    void containerResize(std::int32_t widthTwips, std::int32_t heightTwips);
    // The container gives the control the focus (it enters from outside; when the focus is
    // already inside the control, the control is told so all the same).
    void containerFocus();
    // The container reports a changed ambient property.
    void containerAmbientChanged(const Str& name);

    // --- Observing and driving, for hosts and tests ---
    void setHappeningSink(headless::HappeningSink* sink);
    void setNow(const platform::LocalTime& now);
    // A button is shown when it and the frame holding it are shown.
    bool buttonShown(platform::ButtonId id) const;
    // Called, from the event loop, once a modal prompt, message box or popup menu is on screen
    // (the QDialog or the QMenu); a driver answers it with real input events.
    void setModalDriver(std::function<void(QWidget*)> driver);
    // Called when the browser component has printed a page: the PDF file (or "" for a printer)
    // and whether it succeeded.
    void setPrintFinished(std::function<void(const QString&, bool)> callback);
    // True while the browser component loads or prints a page.
    bool printing() const;

    // Twips and pixels at the surface's logical DPI.
    int pxX(double twips) const;
    int pxY(double twips) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace dalmure::qt
