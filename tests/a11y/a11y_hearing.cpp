// A recording screen for the screen-reader walk: the control with one annotation every three
// seconds from 9:00, on a real event loop. Prints "ready" once the window is up.
#include "qt_test_support.h"

#include <QTimer>

#include <cstdio>

using namespace dalmure::qt::testing;

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!makeAppFolder(dir))
        return 1;
    HostWindow host(dir.path());
    for (int i = 0, count = argc > 1 ? std::atoi(argv[1]) : 10000; i < count; ++i)
        host.control->annoAdd(QTime(9, 0).addSecs(3 * i).toString(u"HH:mm:ss"_s),
                              u"Annotation %1"_s.arg(i));
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
