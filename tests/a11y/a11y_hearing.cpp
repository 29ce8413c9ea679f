// A recording screen for the screen-reader walk: the control with a day of annotations, on a
// real event loop. Prints "ready" once the window is up.
#include <dalmure/dalmure_widget.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;

    QTemporaryDir dir;
    QFile::copy(QStringLiteral(DALMURE_TEST_FIXTURES "/ORLngClient.MDB"),
                dir.filePath(QStringLiteral("ORLngClient.MDB")));
    const QDir templates(QStringLiteral(DALMURE_SOURCE_DIR "/share/templates"));
    for (const QString& t : templates.entryList({QStringLiteral("*.html")}, QDir::Files))
        QFile::copy(templates.filePath(t), dir.filePath(t));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Hearing"));
    auto* layout = new QVBoxLayout(&window);
    auto* control = new dalmure::qt::DalmureWidget(dir.path(), &window);
    layout->addWidget(control);
    window.resize(800, 600);
    window.show();
    window.activateWindow();
    // One annotation every three seconds from 9:00, in order.
    for (int i = 0; i < count; ++i)
        control->annoAdd(QTime(9, 0).addSecs(3 * i).toString(QStringLiteral("HH:mm:ss")),
                         QStringLiteral("Annotation %1").arg(i));
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
