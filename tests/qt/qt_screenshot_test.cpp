// A picture of the widget with five annotations, one of them selected with notes, kept as a
// test artifact (artifacts/dalmure-widget.png in the test's build folder).
#include "qt_test_support.h"

#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QSet>
#include <QTableView>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

class QtScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void rendersFiveAnnotationsWithTheSelectionHighlighted() {
        QTemporaryDir dir;
        QVERIFY(makeAppFolder(dir));
        HostWindow host(dir.path());
        DalmureWidget& w = *host.control;
        const char* descs[] = {"Ouverture de l'audience", "Appel du rôle", "Témoin 1",
                               "Contre-interrogatoire", "Ajournement"};
        for (int i = 0; i < 5; ++i)
            w.annoAdd(u"10:0%1:00"_s.arg(i * 2), QString::fromUtf8(descs[i]));
        QtPlatform& p = host.platform();
        QTest::mouseClick(p.gridView()->viewport(), Qt::LeftButton, {}, p.cellRect(0, 1).center());
        QTest::keyClicks(p.editorWidget(), u"Parties presentes."_s);
        QTest::keyClick(p.editorWidget(), Qt::Key_Return);
        QTest::keyClicks(p.editorWidget(), u"Me Gagnon pour la defense."_s);
        QCOMPARE(w.selected(), 0);
        QCOMPARE(p.grid().topRow(), 0);
        QTest::qWait(50);

        const QPixmap shot = w.grab();
        const qreal ratio = shot.devicePixelRatio();
        const QImage image = shot.toImage().convertToFormat(QImage::Format_RGB32);
        // Drawn at the device pixel ratio (HiDPI): the picture has that many pixels per point.
        QCOMPARE(image.width(), qRound(w.width() * ratio));
        QVERIFY(QDir().mkpath(QStringLiteral(DALMURE_ARTIFACT_DIR)));
        const QString file =
            ratio > 1 ? QStringLiteral(DALMURE_ARTIFACT_DIR "/dalmure-widget@%1x.png").arg(ratio)
                      : QStringLiteral(DALMURE_ARTIFACT_DIR "/dalmure-widget.png");
        QVERIFY(image.save(file));

        // Not blank: many colours (text, icons, frames); the highlight colour of the selected
        // annotation (the grid's BackColorFixed, 0x00BBGGRR) covers a good part of its rows.
        const std::int32_t fixed = p.grid().backColorFixed();
        const QRgb highlight = qRgb(fixed & 0xFF, (fixed >> 8) & 0xFF, (fixed >> 16) & 0xFF);
        QSet<QRgb> colours;
        int highlighted = 0;
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(line[x] | 0xFF000000u);
                if ((line[x] | 0xFF000000u) == (highlight | 0xFF000000u))
                    ++highlighted;
            }
        }
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
        const QRect cell = p.cellRect(0, 1);
        QVERIFY2(highlighted > cell.width() * cell.height() * ratio * ratio / 2,
                 qPrintable(QString::number(highlighted)));
        // The first row's area in the picture is in the highlight colour.
        const QPoint inRow =
            p.gridView()->viewport()->mapTo(&w, cell.topLeft() + QPoint(cell.width() - 4, 3));
        QCOMPARE(image.pixel(inRow * ratio) | 0xFF000000u, highlight | 0xFF000000u);
    }
};

QTEST_MAIN(QtScreenshotTest)
#include "qt_screenshot_test.moc"
