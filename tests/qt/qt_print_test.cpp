// The print command through Qt WebEngine: the minutes page prints itself into a PDF file.
#include "qt_test_support.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QToolButton>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

class QtPrintTest : public QObject {
    Q_OBJECT

  private:
    static QString run(const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(30000))
            return {};
        return QString::fromUtf8(p.readAllStandardOutput());
    }

  private slots:
    void printsTheListIntoAPdf() {
        QTemporaryDir dir;
        QVERIFY(makeAppFolder(dir, "[CONFIG]\r\nPVPRINTSIZE=5\r\n"));
        const QString pdf = dir.filePath(QStringLiteral("minutes.pdf"));
        QtPlatformOptions options;
        options.printPdf = pdf;
        HostWindow host(dir.path(), options);
        DalmureWidget& w = *host.control;
        w.setNoDossier(QStringLiteral("500-17-012345-241"));
        w.setUserName(QStringLiteral("Greffier Tremblay"));
        w.annoAdd(QStringLiteral("09:30:00"), QStringLiteral("Ouverture de l'audience"));
        w.annoAdd(QStringLiteral("09:45:10"), QStringLiteral("Temoignage du demandeur"));
        w.annoAdd(QStringLiteral("10:02:55"), QStringLiteral("Pause"));
        QSignalSpy finished(&w, &DalmureWidget::printFinished);
        // The user clicks an annotation, then the print button.
        QTest::mouseClick(host.platform().gridView()->viewport(), Qt::LeftButton, {},
                          host.platform().cellRect(0, 1).center());
        QTest::mouseClick(host.platform().buttonWidget(platform::ButtonId::CWButton5),
                          Qt::LeftButton);
        QVERIFY(finished.wait(90000) || finished.count() > 0);
        QVERIFY(finished.at(0).at(1).toBool());
        QCOMPARE(finished.at(0).at(0).toString(), pdf);
        QVERIFY(QFile::exists(pdf));

        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("500-17-012345-241")), qPrintable(text));
        for (const char* d : {"Ouverture de l", "Temoignage du demandeur", "Pause"})
            QVERIFY2(text.contains(QString::fromUtf8(d)), d);
        // The print-size setting 5 chooses legal paper: 8.5 x 14 inches.
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QStringLiteral("612 x 1008")), qPrintable(info));
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QtPrintTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_print_test.moc"
