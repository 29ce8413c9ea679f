// DalmureWidget: the annotation control as a Qt 6 widget that a host embeds like any other.
//
// The host API of the control is here in Qt's terms; its six events are Qt signals whose
// by-reference arguments a directly connected slot may change (Qt::DirectConnection, the default
// within one thread): the control reads them back when the slot returns.
#pragma once

#include <dalmure/dalmure_qt_export.h>

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

namespace dalmure::qt {

struct QtPlatformOptions;
class DalmureWidgetPrivate;

class DALMURE_QT_EXPORT DalmureWidget : public QWidget {
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
    Q_PROPERTY(QString hearingId READ hearingId WRITE setHearingId)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(int selected READ selected)
    Q_PROPERTY(int annoCount READ annoCount)
    Q_PROPERTY(QString applicationFolder READ applicationFolder CONSTANT)

  public:
    // A control whose application folder is defaultApplicationFolder().
    explicit DalmureWidget(QWidget* parent = nullptr);
    // A control reading its INI file, catalogue and templates from applicationFolder, where it
    // also writes the minutes page and Log/.
    explicit DalmureWidget(const QString& applicationFolder, QWidget* parent = nullptr);
    // The same, on a platform set up by options (a fixed clock, the program that shows the
    // minutes, a PDF to print into). Only for programs linked with the library's static build,
    // which see its internal platform/qt/qt_platform.h; not part of the shared library.
    DALMURE_QT_NO_EXPORT DalmureWidget(const QString& applicationFolder, QWidget* parent,
                                       const QtPlatformOptions& options);
    ~DalmureWidget() override;

    // Sets the folder of widgets created without one (a form made in Designer, for instance).
    static void setDefaultApplicationFolder(const QString& folder);
    // The folder set above, else the folder that holds the dalmure-qt library.
    static QString defaultApplicationFolder();
    // This control's application folder: absolute, without a trailing "/".
    QString applicationFolder() const;

    // --- Annotations (an index is 0-based) ---

    // Adds an annotation in time order, selects it and opens the editor on its notes.
    void annoAdd(const QString& time, const QString& description, const QString& data = {});
    // The number of annotations.
    int annoCount();
    // The time of annotation index.
    QString annoTime(int index);
    // The description of annotation index.
    QString annoDesc(int index);
    // The notes of annotation index.
    QString annoData(int index);
    // Removes annotation index; returns what the control leaves in the index argument.
    int annoDelete(int index);
    // Empties the list.
    void clearAll();
    // The selected annotation, or -1.
    int selected() const;

    // --- Properties and modes ---

    // Whether the play command is hidden.
    bool noPlay() const;
    void setNoPlay(bool v);
    // Whether the view and print commands are hidden.
    bool noPV() const;
    void setNoPV(bool v);
    // Whether rename and delete are hidden.
    bool noModif() const;
    void setNoModif(bool v);
    // The entry style: 2 makes Enter end the notes and ask for the next annotation.
    int pvStyle() const;
    void setPvStyle(int v);
    // Kept for the host; the control's font size comes from the INI file.
    int pvFontSize() const;
    void setPvFontSize(int v);
    // Whether the user is kept from switching the entry style.
    bool lockPVStyle() const;
    void setLockPVStyle(bool v);
    // The case number printed on the minutes.
    QString noDossier() const;
    void setNoDossier(const QString& v);
    // The date printed on the minutes.
    QString dateCreated() const;
    void setDateCreated(const QString& v);
    // The user printed on the minutes.
    QString userName() const;
    void setUserName(const QString& v);
    // The identity of the hearing, kept in the journal: the control's own (random) until the
    // host sets one; "" gives it a new one of the control's. See Dalmure::HearingId.
    QString hearingId() const;
    void setHearingId(const QString& v);
    // The background colour of the control and its buttons; setting it repaints them.
    QColor backColor() const;
    void setBackColor(const QColor& c);
    // Shows (true) or hides the grid while the host makes many changes.
    void allowRefreshPV(bool refresh);
    // Makes sure the month folder of the control's log exists and returns it.
    QString logPath();

    // --- Sessions that ended without closing ---

    // A crashed or killed session's journal, found in the application folder's Recovery/.
    struct RecoverableSession {
        QString id;
        bool damaged = false; // unreadable: problem says why; it can only be discarded
        QString problem;
        QString noDossier, dateCreated, userName;
        QString hearingId;         // the hearing it was taken for, "" when none was recorded
        bool otherHearing = false; // recoverSession refuses it unless intoOtherHearing
        QDateTime lastChange;
        int annotations = 0;
        int unsavedNotes = 0;     // annotations with notes the host may not have kept
        bool pendingText = false; // notes typed and not yet committed
    };
    // The sessions left behind by controls that did not end normally (never a running one).
    QList<RecoverableSession> recoverableSessions();
    // Brings session id back into this control: missing annotations are added (annoRecovered),
    // notes written into theirs (annoModified); the journal is then removed. A session of
    // another hearing is refused (false) unless intoOtherHearing: its annotations then come in
    // as new ones with their notes, and this hearing's are left as they are.
    bool recoverSession(const QString& id);
    bool recoverSession(const QString& id, bool intoOtherHearing);
    // Removes the journal of session id.
    bool discardSession(const QString& id);

    // The hearing's glossary: abbreviations the notes editor expands (parties, counsel,
    // exhibits), over those of the glossary file; their words count as correctly spelled.
    // glossaryAdd is false, keeping nothing, for an abbreviation that is not letters and digits
    // or an empty text.
    bool glossaryAdd(const QString& abbreviation, const QString& text);
    void glossaryRemove(const QString& abbreviation);
    void glossaryClear();

    // The size the control was designed at, and the smallest it lays out in.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    // The user asks to delete annotation annoIndex; the host calls annoDelete if it agrees.
    void annoDeleteRequest(qint16& annoIndex);
    // Notes were committed; read them with annoData.
    void annoModified(qint16 annoIndex);
    // The user renamed an annotation; setting cancel undoes the rename.
    void annoModifiedDesc(qint16& annoIndex, QString& oldDesc, QString& newDesc, bool& cancel);
    // The user added an annotation (entry style 2).
    void annoAdded(QString& annoTime, QString& annoDesc);
    // An annotation of a crashed session was added back by recoverSession.
    void annoRecovered(qint16 annoIndex);
    // Play requested (double click or play command); read selected().
    void dblClick();
    // The mouse is over a command; the text is its tip.
    void toolTipChanged(QString& toolTipText);
    // noPlay, noPV or noModif changed.
    void modesChanged();
    // A member that traps nothing let an error reach the host.
    void errorRaised(int number, const QString& description);
    // The browser component has printed the minutes (file: the PDF, or "" for a printer).
    void printFinished(const QString& file, bool ok);

  protected:
    void resizeEvent(QResizeEvent* e) override;
    // The host giving the widget the focus gives it to the control, which puts it in the notes
    // or the list.
    void focusInEvent(QFocusEvent* e) override;

  private:
    friend class DalmureWidgetPrivate;
    const std::unique_ptr<DalmureWidgetPrivate> d;
};

} // namespace dalmure::qt
