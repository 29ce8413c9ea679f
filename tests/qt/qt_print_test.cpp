// The print command through Qt WebEngine: the minutes page prints itself into a PDF file.
#include "qt_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
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

    void printsThroughThePrintDialog() {
        // Without a PDF setting the desktop's print dialog opens; here it is answered with a
        // printer that writes a file.
        QTemporaryDir dir;
        QVERIFY(makeAppFolder(dir, "[CONFIG]\r\nPVPRINTSIZE=9\r\n"));
        const QString out = dir.filePath(QStringLiteral("printer.pdf"));
        HostWindow host(dir.path());
        DalmureWidget& w = *host.control;
        w.setNoDossier(QStringLiteral("700-05-000111-246"));
        w.annoAdd(QStringLiteral("11:00:00"), QStringLiteral("Reprise"));
        bool asked = false;
        host.platform().setModalDriver([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintDialog*>(modal);
            QVERIFY(dialog != nullptr);
            asked = true;
            QCOMPARE(dialog->printer()->pageLayout().pageSize().id(), QPageSize::A4);
            // The dialog's own printer list: its "Print to File (PDF)" entry and file name.
            for (auto* combo : dialog->findChildren<QComboBox*>()) {
                const int pdf = combo->findText(QStringLiteral("PDF"), Qt::MatchContains);
                if (pdf >= 0)
                    combo->setCurrentIndex(pdf);
            }
            auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
            QVERIFY(file != nullptr);
            file->setText(out);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        QSignalSpy finished(&w, &DalmureWidget::printFinished);
        QTest::mouseClick(host.platform().buttonWidget(platform::ButtonId::CWButton5),
                          Qt::LeftButton);
        QVERIFY(finished.wait(90000) || finished.count() > 0);
        QVERIFY(asked);
        QVERIFY(finished.at(0).at(1).toBool());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out).size() > 0, 10000);
        // A printer receives the pages drawn at its resolution; the setting 9 chose A4 paper.
        const QString info = run(QStringLiteral("pdfinfo"), {out});
        QVERIFY2(info.contains(QStringLiteral("(A4)")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+[1-9]"))),
                 qPrintable(info));
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QtPrintTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_print_test.moc"
