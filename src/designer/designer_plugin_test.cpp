// The Designer plugin as Designer sees it: loaded by QPluginLoader, its interface found, the
// widget created on a form and driven through its properties.
#include <dalmure/dalmure_widget.h>

#include <QPluginLoader>
#include <QTest>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class DesignerPluginTest : public QObject {
    Q_OBJECT

  private slots:
    void loadsAndCreatesTheWidget() {
        QPluginLoader loader(QStringLiteral(DALMURE_DESIGNER_PLUGIN));
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        QCOMPARE(loader.metaData().value(QStringLiteral("IID")).toString(),
                 QStringLiteral("org.qt-project.Qt.QDesignerCustomWidgetInterface"));
        auto* iface = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
        QVERIFY(iface);
        iface->initialize(nullptr);
        QVERIFY(iface->isInitialized());
        QVERIFY(!iface->isContainer());
        // uic names the class and the header from these.
        QCOMPARE(iface->name(), QStringLiteral("dalmure::qt::DalmureWidget"));
        QCOMPARE(iface->includeFile(), QStringLiteral("<dalmure/dalmure_widget.h>"));
        QVERIFY(iface->domXml().contains(QStringLiteral("class=\"dalmure::qt::DalmureWidget\"")));

        QWidget form;
        QWidget* created = iface->createWidget(&form);
        QVERIFY(created);
        QCOMPARE(created->parent(), &form);
        auto* w = qobject_cast<dalmure::qt::DalmureWidget*>(created);
        QVERIFY(w);
        // Designer's property editor works through the meta-object.
        QVERIFY(created->setProperty("noPlay", true));
        QCOMPARE(w->noPlay(), true);
        QVERIFY(created->setProperty("noDossier", QStringLiteral("500-01-1")));
        QCOMPARE(w->noDossier(), QStringLiteral("500-01-1"));
        QCOMPARE(created->property("annoCount").toInt(), 0);
        w->annoAdd(QStringLiteral("10:15:32"), QStringLiteral("Ouverture"));
        QCOMPARE(created->property("annoCount").toInt(), 1);
    }
};

QTEST_MAIN(DesignerPluginTest)
#include "designer_plugin_test.moc"
