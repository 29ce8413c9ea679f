// The conformance tests' entry point: with the Qt platform built, a QApplication lives for the
// whole run (offscreen when there is no display), so that each Qt case gets a running event loop.
#include <gtest/gtest.h>

#ifdef DALMURE_HOST_WITH_QT
#include <QApplication>
#include <QtGlobal>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef DALMURE_HOST_WITH_QT
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
