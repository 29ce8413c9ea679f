// Shared set-up of the Qt widget tests: an application folder with the catalogue and the
// templates, and a window that holds the control next to another focusable widget.
#pragma once

#include "platform/qt/dalmure_widget.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
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
    QtPlatform& platform() { return control->platform(); }
};

} // namespace dalmure::qt::testing
