// DalmureWidget: the annotation control as a Qt 6 widget that a host embeds like any other.
//
// The host API of the control is here in Qt's terms; its six events are Qt signals whose
// by-reference arguments a directly connected slot may change (Qt::DirectConnection, the default
// within one thread): the control reads them back when the slot returns.
#pragma once

#include "control/dalmure.h"
#include "platform/qt/qt_platform.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <memory>

namespace dalmure::qt {

class DalmureWidget : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool noPlay READ noPlay WRITE setNoPlay NOTIFY modesChanged)
    Q_PROPERTY(bool noPV READ noPV WRITE setNoPV NOTIFY modesChanged)
    Q_PROPERTY(bool noModif READ noModif WRITE setNoModif NOTIFY modesChanged)
    Q_PROPERTY(int pvStyle READ pvStyle WRITE setPvStyle)
    Q_PROPERTY(int pvFontSize READ pvFontSize WRITE setPvFontSize)
    Q_PROPERTY(bool lockPVStyle READ lockPVStyle WRITE setLockPVStyle)
    Q_PROPERTY(QString noDossier READ noDossier WRITE setNoDossier)
    Q_PROPERTY(QString dateCreated READ dateCreated WRITE setDateCreated)
    Q_PROPERTY(QString userName READ userName WRITE setUserName)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(int selected READ selected)
    Q_PROPERTY(int annoCount READ annoCount)
    Q_PROPERTY(QString applicationFolder READ applicationFolder CONSTANT)

  public:
    // The application folder is defaultApplicationFolder().
    explicit DalmureWidget(QWidget* parent = nullptr);
    // The application folder (INI file, catalogue, templates, minutes page, Log/) is given.
    explicit DalmureWidget(const QString& applicationFolder, QWidget* parent = nullptr,
                           QtPlatformOptions options = {});
    ~DalmureWidget() override;

    // The folder used by widgets created without one: the one set here, else the folder that
    // holds the dalmure-qt library.
    static void setDefaultApplicationFolder(const QString& folder);
    static QString defaultApplicationFolder();
    QString applicationFolder() const;

    // --- Annotations ---
    void annoAdd(const QString& time, const QString& description, const QString& data = {});
    int annoCount();
    QString annoTime(int index);
    QString annoDesc(int index);
    QString annoData(int index);
    // Deletes an annotation; returns what the control leaves in the index argument.
    int annoDelete(int index);
    void clearAll();
    int selected() const;

    // --- Properties and modes ---
    bool noPlay() const;
    void setNoPlay(bool v);
    bool noPV() const;
    void setNoPV(bool v);
    bool noModif() const;
    void setNoModif(bool v);
    int pvStyle() const;
    void setPvStyle(int v);
    int pvFontSize() const;
    void setPvFontSize(int v);
    bool lockPVStyle() const;
    void setLockPVStyle(bool v);
    QString noDossier() const;
    void setNoDossier(const QString& v);
    QString dateCreated() const;
    void setDateCreated(const QString& v);
    QString userName() const;
    void setUserName(const QString& v);
    QColor backColor() const;
    void setBackColor(const QColor& c);
    void allowRefreshPV(bool refresh);
    QString logPath();

    // The control and its platform, for hosts that need the full interface.
    Dalmure& control();
    QtPlatform& platform();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void annoDeleteRequest(qint16& annoIndex);
    void annoModified(qint16 annoIndex);
    void annoModifiedDesc(qint16& annoIndex, QString& oldDesc, QString& newDesc, bool& cancel);
    void annoAdded(QString& annoTime, QString& annoDesc);
    void dblClick();
    void toolTipChanged(QString& toolTipText);
    void modesChanged();
    // A member that traps nothing let an error reach the host.
    void errorRaised(int number, const QString& description);
    // The browser component has printed the minutes (file: the PDF, or "" for a printer).
    void printFinished(const QString& file, bool ok);

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    struct Events;
    template <class F> auto guarded(F&& f, decltype(f()) fallback) -> decltype(f());
    QString folder_;
    std::unique_ptr<QtPlatform> platform_;
    std::unique_ptr<Events> events_;
    std::unique_ptr<Dalmure> control_;
};

} // namespace dalmure::qt
