#include "dalmure_designer_plugin.h"

#include <dalmure/dalmure_widget.h>

#include <QDir>
#include <QFileInfo>
#include <QIcon>

using dalmure::qt::DalmureWidget;

namespace {

// The folder a widget on a form reads its catalogue and templates from: DALMURE_APP_FOLDER when
// set, else the installed data folder, else the folder of the library (the widget's default).
void chooseApplicationFolder() {
    const QString env = qEnvironmentVariable("DALMURE_APP_FOLDER");
    if (!env.isEmpty() && QFileInfo(env).isDir()) {
        DalmureWidget::setDefaultApplicationFolder(env);
        return;
    }
    const QString data = QStringLiteral(DALMURE_DESIGNER_DATADIR);
    if (QFileInfo::exists(data + QStringLiteral("/ORLngClient.MDB")))
        DalmureWidget::setDefaultApplicationFolder(data);
}

} // namespace

DalmureDesignerPlugin::DalmureDesignerPlugin(QObject* parent) : QObject(parent) {}

QString DalmureDesignerPlugin::name() const {
    return QStringLiteral("dalmure::qt::DalmureWidget");
}
QString DalmureDesignerPlugin::group() const {
    return QStringLiteral("Dalmure");
}
QString DalmureDesignerPlugin::toolTip() const {
    return QStringLiteral("Annotation control of a court-recording screen");
}
QString DalmureDesignerPlugin::whatsThis() const {
    return QStringLiteral("Time-stamped annotations of a hearing with the clerk's notes, and the "
                          "minutes of the hearing.");
}
QString DalmureDesignerPlugin::includeFile() const {
    return QStringLiteral("<dalmure/dalmure_widget.h>");
}
QIcon DalmureDesignerPlugin::icon() const {
    return QIcon::fromTheme(QStringLiteral("x-office-document"));
}
bool DalmureDesignerPlugin::isContainer() const {
    return false;
}
QWidget* DalmureDesignerPlugin::createWidget(QWidget* parent) {
    if (!initialized_)
        chooseApplicationFolder();
    return new DalmureWidget(parent);
}
bool DalmureDesignerPlugin::isInitialized() const {
    return initialized_;
}
void DalmureDesignerPlugin::initialize(QDesignerFormEditorInterface*) {
    if (initialized_)
        return;
    chooseApplicationFolder();
    initialized_ = true;
}
QString DalmureDesignerPlugin::domXml() const {
    return QStringLiteral("<ui language=\"c++\">\n"
                          " <widget class=\"dalmure::qt::DalmureWidget\" name=\"dalmure\">\n"
                          "  <property name=\"geometry\">\n"
                          "   <rect><x>0</x><y>0</y><width>480</width><height>360</height></rect>\n"
                          "  </property>\n"
                          " </widget>\n"
                          "</ui>\n");
}
