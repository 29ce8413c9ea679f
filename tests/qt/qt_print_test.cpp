// The print command through Qt WebEngine: the minutes page prints itself into a PDF file, and
// a note that carries markup of its own reaches nothing beyond the page.
#include "qt_test_support.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>

#include <sys/inotify.h>
#include <unistd.h>

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

    // The user clicks the first annotation, then the print button; the file the minutes were
    // printed into, empty when printing failed.
    static QString printThroughTheButton(HostWindow& host) {
        QSignalSpy finished(host.control, &DalmureWidget::printFinished);
        QTest::mouseClick(host.platform().gridView()->viewport(), Qt::LeftButton, {},
                          host.platform().cellRect(0, 1).center());
        QTest::mouseClick(host.platform().buttonWidget(platform::ButtonId::Print), Qt::LeftButton);
        if ((!finished.wait(90000) && finished.count() == 0) || !finished.at(0).at(1).toBool())
            return {};
        return finished.at(0).at(0).toString();
    }

  private slots:
    // The minutes print into a PDF on the paper the print-size setting chooses (5: legal,
    // 8.5 x 14 inches), with the dossier and every annotation. Words longer than a line (a
    // reference run together, a URL) wrap inside the page instead of running off it: every
    // character is in the PDF's text, with the shipped templates and with the table alone.
    void printsTheListIntoAPdfWithLongWordsWhole() {
        QString word;
        for (int i = 0; word.size() < 396; ++i)
            word += QString::number(i % 10);
        word = u"W"_s + word + u"END"_s;
        QString url = u"https://registre.example.org/dossiers/"_s;
        for (int i = 0; url.size() < 196; ++i)
            url += QChar(u'a' + i % 26);
        url += u"/fin"_s;
        for (const bool templates : {true, false}) {
            QTemporaryDir dir;
            QVERIFY(makeAppFolder(dir, "[CONFIG]\r\nPVPRINTSIZE=5\r\n"));
            if (!templates)
                for (const char* t : {"pvTemplateFRA.html", "pvTemplateENG.html"})
                    QVERIFY(QFile::remove(dir.filePath(QString::fromLatin1(t))));
            const QString pdf = dir.filePath(u"minutes.pdf"_s);
            HostWindow host(dir.path(), {.now = {}, .htmlProgram = {}, .printPdf = pdf});
            DalmureWidget& w = *host.control;
            w.setNoDossier(u"500-17-012345-241"_s);
            w.annoAdd(u"09:30:00"_s, u"Ouverture de l'audience"_s);
            w.annoAdd(u"09:45:10"_s, u"Pi\u00e8ce P-1"_s, u"Voir "_s + word + u" et "_s + url);
            w.annoAdd(u"09:46:00"_s, word);
            QCOMPARE(printThroughTheButton(host), pdf);
            // In the order the page draws it: a wrapped description is not interleaved with
            // the time beside it.
            QString text = run(u"pdftotext"_s, {u"-raw"_s, pdf, u"-"_s});
            text.remove(QRegularExpression(u"\\s"_s));
            QVERIFY2(text.count(word) == 2, qPrintable(text));
            QVERIFY2(text.contains(url), qPrintable(text));
            QVERIFY2(text.contains(u"Ouverturedel"_s), qPrintable(text));
            if (templates) {
                QVERIFY2(text.contains(u"500-17-012345-241"_s), qPrintable(text));
                const QString info = run(u"pdfinfo"_s, {pdf});
                QVERIFY2(info.contains(u"612 x 1008"_s), qPrintable(info));
            }
        }
    }

    // A note written to read a local file and to reach the network, in every way a page can
    // try: scripts (fetch, XMLHttpRequest), frames, images and their error handlers, a style
    // sheet, an object, a refresh to another address, a new window. None of it may read the
    // file or open a connection, the printout must hold nothing of the file, and the page
    // itself must still print (its own script runs).
    void aHostileNoteReachesNoFileAndNoNetwork() {
        QTemporaryDir dir, elsewhere;
        QVERIFY(makeAppFolder(dir));
        const QString secretPath = elsewhere.filePath(u"secret.txt"_s);
        const QByteArray secret =
            "DALMURE-SECRET-" + QByteArray::number(QRandomGenerator::global()->generate());
        {
            QFile f(secretPath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(secret);
        }
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int connections = 0;
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                ++connections;
                s->deleteLater();
            }
        });
        // Who opens or reads the secret file, in any process.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, secretPath.toLocal8Bit().constData(),
                                    IN_OPEN | IN_ACCESS) >= 0);

        const QString file = QUrl::fromLocalFile(secretPath).toString();
        const QString net = u"http://127.0.0.1:%1"_s.arg(server.serverPort());
        QString note = QStringLiteral(
            "<div id=\"o\">NOTE-SCRIPT:</div>"
            "<script>function put(t){document.getElementById('o').textContent+=' '+t;}"
            "fetch('FILE').then(r=>r.text()).then(put).catch(()=>put('fetch-refused'));"
            "try{var x=new XMLHttpRequest();x.open('GET','FILE',false);x.send();"
            "put(x.responseText);}catch(e){put('xhr-refused');}"
            "fetch('NET/fetch').then(r=>r.text()).then(put).catch(()=>put('net-refused'));"
            "var w=window.open('FILE');put(w?'window':'no-window');"
            "setTimeout(function(){location.href='FILE';},0);</script>"
            "<iframe src=\"FILE\"></iframe><iframe src=\"NET/frame\"></iframe>"
            "<img src=\"FILE\" onerror=\"put('img-error-ran')\"><img src=\"NET/img\">"
            "<link rel=\"stylesheet\" href=\"NET/css\"><object data=\"FILE\"></object>"
            "<meta http-equiv=\"refresh\" content=\"0;url=FILE\">");
        note.replace(u"FILE"_s, file).replace(u"NET"_s, net);

        const QString pdf = dir.filePath(u"minutes.pdf"_s);
        HostWindow host(dir.path(), {.now = {}, .htmlProgram = {}, .printPdf = pdf});
        DalmureWidget& w = *host.control;
        w.setNoDossier(u"500-17-054321-241"_s);
        w.annoAdd(u"09:30:00"_s, u"Ouverture de l'audience"_s, note);
        w.annoAdd(u"09:45:10"_s, u"Temoignage du demandeur"_s);
        QCOMPARE(printThroughTheButton(host), pdf);
        QTest::qWait(1500); // late attempts (timers, the refresh) have had their chance

        const QString text = run(u"pdftotext"_s, {pdf, u"-"_s});
        QVERIFY2(!text.contains(QString::fromLatin1(secret)), qPrintable(text));
        for (const char* own : {"500-17-054321-241", "Ouverture de l", "Temoignage du demandeur"})
            QVERIFY2(text.contains(QString::fromUtf8(own)), qPrintable(text));
        QCOMPARE(connections, 0);
        char events[4096];
        const ssize_t n = ::read(watch, events, sizeof events);
        ::close(watch);
        QVERIFY2(n <= 0, "the secret file was opened");
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QtPrintTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_print_test.moc"
