// A Qt host: the widget in a window, two annotations.
#include <dalmure/dalmure_widget.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dalmure::qt::DalmureWidget w(QStringLiteral(DALMURE_DATA_DIR));
    w.annoAdd(QStringLiteral("10:15:32"), QStringLiteral("Ouverture"));
    w.annoAdd(QStringLiteral("10:16:00"), QStringLiteral("Témoin"), QStringLiteral("Notes"));
    std::printf("widget AnnoCount=%d\n", w.annoCount());
    return w.annoCount() == 2 && w.annoData(1) == QStringLiteral("Notes") ? 0 : 1;
}
