// The print command through Qt WebEngine, into a PDF file.
#include "qt_test_support.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// A note that tries every way a page has to read the file at FILE or reach the server at NET.
const char* const kHostileNote =
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
    "<meta http-equiv=\"refresh\" content=\"0;url=FILE\">";

} // namespace

class QtPrintTest : public QObject, HearingFixture {
    Q_OBJECT

  private slots:
    void cleanup() { close(); }

    // On the paper PVPRINTSIZE chooses (5: legal); words longer than a line wrap inside the
    // page, with the shipped templates and with the table alone.
    void printsTheMinutesWholeAndAHostileNoteReachesNothing() {
        const QString word = u"W"_s + u"0123456789"_s.repeated(40).left(396) + u"END"_s;
        const QString url = u"https://registre.example.org/dossiers/"_s +
                            u"abcdefghijklmnopqrstuvwxyz"_s.repeated(7).left(158) + u"/fin"_s;
        QTemporaryDir elsewhere;
        const QString secretPath = elsewhere.filePath(u"secret.txt"_s);
        const QByteArray secret =
            "DALMURE-SECRET-" + QByteArray::number(QRandomGenerator::global()->generate());
        QVERIFY(writeFile(secretPath, secret));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QSignalSpy connections(&server, &QTcpServer::newConnection);
        // Who opens or reads the secret file, in any process.
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, secretPath.toLocal8Bit().constData(),
                                    IN_OPEN | IN_ACCESS) >= 0);
        const QString note =
            QString::fromLatin1(kHostileNote)
                .replace(u"FILE"_s, QUrl::fromLocalFile(secretPath).toString())
                .replace(u"NET"_s, u"http://127.0.0.1:%1"_s.arg(server.serverPort()));

        for (const bool templates : {true, false}) {
            const QString pdf = folder() + u"/minutes.pdf"_s;
            QVERIFY(openOn({u"Ouverture de l'audience\t"_s + note,
                            u"Pi\u00e8ce P-1\tVoir "_s + word + u" et "_s + url, word},
                           "[CONFIG]\r\nPVPRINTSIZE=5\r\n", {},
                           {.now = {}, .htmlProgram = {}, .printPdf = pdf}));
            for (const char* t : {"pvTemplateFRA.html", "pvTemplateENG.html"})
                QVERIFY(templates || QFile::remove(folder() + u'/' + QString::fromLatin1(t)));
            w().setNoDossier(u"500-17-012345-241"_s);
            QSignalSpy finished(&w(), &DalmureWidget::printFinished);
            clickCell(0, 1);
            QTest::mouseClick(p().buttonWidget(platform::ButtonId::Print), Qt::LeftButton);
            QVERIFY(finished.wait(90000) || finished.count() > 0);
            QCOMPARE(finished.at(0), (QVariantList{pdf, true}));
            // Late attempts of the note's (timers, a refresh) have had their chance.
            QTest::qWait(1500);

            // In drawing order: a wrapped description is not interleaved with its time.
            QString text = run(u"pdftotext"_s, {u"-raw"_s, pdf, u"-"_s});
            text.remove(QRegularExpression(u"\\s"_s));
            QVERIFY2(text.count(word) == 2 && text.contains(url), qPrintable(text));
            QVERIFY2(text.contains(u"Ouverturedel"_s), qPrintable(text));
            QVERIFY2(!text.contains(QString::fromLatin1(secret)), qPrintable(text));
            QVERIFY2(!templates || text.contains(u"500-17-012345-241"_s), qPrintable(text));
            const QString info = run(u"pdfinfo"_s, {pdf});
            QVERIFY2(!templates || info.contains(u"612 x 1008"_s), qPrintable(info));
            close();
        }
        QCOMPARE(connections.count(), 0);
        char events[4096];
        const ssize_t n = ::read(watch, events, sizeof events);
        ::close(watch);
        QVERIFY2(n <= 0, "the secret file was opened");
    }
};

QTEST_MAIN(QtPrintTest)
#include "qt_print_test.moc"
