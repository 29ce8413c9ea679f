// Shared set-up of the Qt widget tests: an application folder with the catalogue and the
// templates, a window that holds the control next to another focusable widget, and the fixture
// the widget and editor tests build each case on.
#pragma once

#include "platform/qt/dalmure_widget_p.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

namespace dalmure::qt::testing {

inline bool makeAppFolder(const QTemporaryDir& dir, const QByteArray& ini = {}) {
    const QString app = dir.path();
    bool ok = QFile::copy(QStringLiteral(DALMURE_TEST_FIXTURES "/ORLngClient.MDB"),
                          app + QStringLiteral("/ORLngClient.MDB"));
    const QDir templates(QStringLiteral(DALMURE_SOURCE_DIR "/share/templates"));
    for (const QString& t : templates.entryList({QStringLiteral("*.html")}, QDir::Files))
        ok = QFile::copy(templates.filePath(t), app + QLatin1Char('/') + t) && ok;
    if (!ini.isEmpty()) {
        QFile f(app + QStringLiteral("/ORClient.INI"));
        ok = f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size() && ok;
    }
    return ok;
}

// The clock every test runs at.
inline platform::LocalTime testNow() {
    platform::LocalTime t;
    t.year = 2024, t.month = 3, t.day = 15, t.hour = 10, t.minute = 20, t.second = 30;
    return t;
}

// Platform options that print the minutes into pdf, with no dialog.
inline QtPlatformOptions printingInto(const QString& pdf) {
    QtPlatformOptions options;
    options.printPdf = pdf;
    return options;
}

// A host window: a line edit (somewhere else to put the focus) and the control.
struct HostWindow {
    std::unique_ptr<QWidget> window;
    QLineEdit* elsewhere = nullptr;
    DalmureWidget* control = nullptr;

    explicit HostWindow(const QString& appFolder, QtPlatformOptions options = {}) {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        elsewhere = new QLineEdit(window.get());
        layout->addWidget(elsewhere);
        if (!options.now)
            options.now = testNow();
        control = new DalmureWidget(appFolder, window.get(), std::move(options));
        layout->addWidget(control, 1);
        window->resize(700, 560);
        window->show();
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
    }
    QtPlatform& platform() { return platformOf(*control); }
};

// One case's host window on a fresh application folder, and the clerk's mouse on the grid.
class WidgetFixture {
  public:
    // Called from a test's init(); false when the folder could not be made.
    bool open() {
        if (!dir_.isValid() || !makeAppFolder(dir_))
            return false;
        host_ = std::make_unique<HostWindow>(dir_.path());
        return true;
    }
    // Called from a test's cleanup(): the next case starts from an empty folder.
    void close() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    HostWindow& host() { return *host_; }
    DalmureWidget& w() { return *host_->control; }
    QtPlatform& p() { return host_->platform(); }
    QWidget* viewport() { return p().gridView()->viewport(); }
    QWidget* elsewhere() { return host_->elsewhere; }

    // A click on a grid cell, which must be laid out.
    void clickCell(int row, int col, Qt::MouseButton button = Qt::LeftButton) {
        const QRect r = p().cellRect(row, col);
        QVERIFY2(r.isValid(), "cell not laid out");
        QTest::mouseClick(viewport(), button, {}, r.center());
    }
    // The editor's rectangle, in the frame that holds it and the grid.
    QRect editorRect() { return p().editorWidget()->geometry(); }
    // A cell's rectangle in that same frame.
    QRect cellInFrame(int row, int col) {
        const QRect r = p().cellRect(row, col);
        return QRect(viewport()->mapTo(p().editorWidget()->parentWidget(), r.topLeft()), r.size());
    }
    // Whether the editor lies over the cell, give or take the rounding of twips.
    bool editorOver(int row, int col) {
        return cellInFrame(row, col).adjusted(-2, -2, 2, 2).contains(editorRect().center());
    }

  private:
    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> host_;
};

} // namespace dalmure::qt::testing
