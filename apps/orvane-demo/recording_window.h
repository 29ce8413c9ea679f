// The recording screen: the case fields, a recording clock, quick-annotation buttons, the
// annotation control, playback from an annotation, the control's modes and a panel that lists
// every event the control raises.
#pragma once

#include "app_folder.h"
#include "record/station.h"
#include "support/text.h"
#include <dalmure/dalmure_widget.h>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTime>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAbstractButton;
class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QPushButton;
class QSocketNotifier;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace orvane {

class RecoveryBar;
class Timeline;

struct WindowOptions {
    // The program that opens the minutes page; nullopt: the desktop's association.
    std::optional<dalmure::Str> htmlProgram;
    // The steady clock the recorder runs on, in milliseconds; unset: the system's monotonic
    // clock.
    std::function<qint64()> clock;
    // Whether input events carry the time they happened on that clock (in milliseconds, cut
    // to 32 bits), as X servers and Wayland compositors stamp them; unset: so on those
    // display servers, not elsewhere.
    std::optional<bool> eventTimesOnClock;
    // The time of day the recording starts at; unset: the time the window opens.
    std::optional<QTime> startsAt;
    // The hearing of the record shown at start-up (its identity; empty: the one open last), and
    // whether it is followed, read-only.
    QString hearing;
    bool follow = false;
};

class RecordingWindow : public QMainWindow {
    Q_OBJECT

  public:
    RecordingWindow(const QString& appFolder, WindowOptions options = {},
                    QWidget* parent = nullptr);
    ~RecordingWindow() override;

    dalmure::qt::DalmureWidget* control() const { return control_; }
    QString appFolder() const { return appFolder_; }
    Language language() const { return language_; }
    // The control's log file for this month (Log/yyyy-mm/Dalmure.Log in the application folder).
    QString logFile() const;

    // Rewrites the INI file's language and creates the control again, with the same
    // annotations, case fields and modes.
    void switchLanguage(Language language);
    // Replaces the list with the sample hearing and moves the recording to its end.
    void loadSampleHearing();

    // --- The recording (a simulated recorder: a clock that runs while recording) ---
    void setRecording(bool on);
    bool recording() const;
    // Moves the recording position forward (a recorder that has run that long).
    void advanceRecording(int seconds);
    int recordingSecond() const;   // seconds since midnight
    QString recordingTime() const; // "HH:MM:SS"

    // --- The host's own actions ---
    // Adds an annotation at the recording time (the control's AnnoAdd).
    void addAnnotation(const QString& description);
    // Adds an annotation at the recording time of clock time `at` (the clerk's key press).
    void addAnnotationAt(const QString& description, qint64 at);
    // Starts playback at an annotation's time (what the host does on DblClick).
    void playFrom(int annotation);
    void stopPlayback();
    std::optional<int> playhead() const;

    // --- The hearing record: HearingRecord.db in the application folder, or the server the
    // client INI file names ([Record] Server=). A station on the control keeps it up to date.
    dalmure::record::Station* station() const { return station_.get(); }
    QString hearingId() const;
    // Read-only on a hearing recorded elsewhere.
    bool following() const { return following_; }
    // Starts a new, empty hearing; the current one stays as it was recorded.
    void newHearing();
    // Replaces the list and the case fields with those of a recorded hearing.
    bool openHearing(const QString& id, bool follow = false);
    // Lists the record's hearings in a dialog; the one chosen is opened (or followed).
    void chooseHearing(bool follow = false);
    // Sends what waits and brings in what other stations did.
    void pollRecord();
    QAction* newHearingAction() const { return newHearingAction_; }
    QAction* openHearingAction() const { return openHearingAction_; }
    QAction* followHearingAction() const { return followHearingAction_; }
    QLabel* linkLabel() const { return linkLabel_; }

    // --- Looking back in the record ---
    // The search dialog: live hits of every hearing; Enter opens the one chosen.
    void searchHearings();
    // Opens hearing (when it is not the one open) and selects annotation, its notes open.
    bool openAt(const QString& hearing, const QString& annotation);
    // The changes of annotation index, in a dialog.
    void showHistory(int index);
    // The minutes page of the open hearing as it stood at `at`, written and opened.
    bool writeMinutesAsOf(const QDateTime& at);
    QAction* searchAction() const { return searchAction_; }
    QAction* minutesAsOfAction() const { return minutesAsOfAction_; }
    // In the control's popup menu.
    QAction* historyAction() const { return historyAction_; }

    // --- For the scripted session and tests ---
    QAbstractButton* quickButton(int i) const;
    int quickButtonCount() const;
    QString quickLabel(int i) const;
    QLineEdit* descriptionEdit() const { return description_; }
    QLineEdit* caseNumberEdit() const { return caseNumber_; }
    QLineEdit* clerkEdit() const { return clerk_; }
    QTreeWidget* eventPanel() const { return events_; }
    QCheckBox* modeBox(int i) const; // 0 NoPlay, 1 NoPV, 2 NoModif, 3 LockPVStyle
    QAction* sampleAction() const { return sampleAction_; }
    RecoveryBar* recoveryBar() const { return recoveryBar_; }
    // The time line's ticks, seconds since midnight in time order.
    const std::vector<int>& timelineMarks() const;
    // Event names listed in the panel (and those about to be), oldest first.
    QStringList eventNames() const;
    // Called once a confirmation (deleting an annotation, discarding an interrupted session) is
    // on screen, and answers it; nullptr: the user does.
    void setConfirmDriver(std::function<void(QMessageBox*)> driver) {
        confirmDriver_ = std::move(driver);
    }

  signals:
    void controlRecreated();

  protected:
    // Notes when each key and mouse button press happened (see pressTime).
    bool eventFilter(QObject* watched, QEvent* e) override;
    // Commits the notes being typed and saves the hearing.
    void closeEvent(QCloseEvent* e) override;

  private:
    qint64 nowMs() const { return steady_(); }
    // Milliseconds recorded at clock time t (a press that came before the current run of the
    // recorder counts from its start).
    qint64 recordedMsAt(qint64 t) const;
    // The clock time at which an input event with this timestamp happened.
    qint64 eventTime(quint64 timestamp) const;
    void notePress(int key, const QObject* target, quint64 timestamp);
    // The clock time of the press being handled: of one of `keys`, or of a mouse button on
    // `target`; now when the latest press is neither. The press is used up.
    qint64 pressTime(std::initializer_list<int> keys, const QObject* target = nullptr);
    void buildUi();
    void retranslate();
    // The record: the hearing open last is shown again at start-up (a Hearings.db of an
    // earlier version of the screen is first imported).
    void openRecord();
    void importHearings();
    void attachStation(bool follow);
    void rememberHearing();
    void buildHearingMenu();
    void buildSearchMenu();
    void retranslateSearchMenu();
    void addPopupItems(dalmure::qt::DalmureWidget* w);
    void chooseMinutesTime();
    void retranslateHearingMenu();
    void saveCaseFields();
    void showLink();
    // The screen's fields and recorder after the station filled the control.
    void showOpened();
    void createControl();
    void applyCaseFields();
    void applyModes();
    void tick();
    void syncControlClock();
    // The time line follows the list: refreshTimeline reads every annotation again; the other
    // two take in one annotation added or removed at a time, and read everything again only
    // when the list changed by more than that.
    void refreshTimeline();
    void timelineAdded(const QString& time);
    void timelineRemoved(const QString& time);
    void updateTimelineRange();
    void confirmDelete(int annotation);
    // Asks a yes/no question (No by default) through the confirmation driver or the user.
    bool confirm(const QString& title, const QString& question);
    // Offers the sessions that ended without closing, as the control finds them.
    void refreshRecoveryBar();
    void recoverSession(const QString& id);
    void showSession(const QString& id);
    void discardSession(const QString& id);
    // A line of the event panel. Lines are gathered and given to the panel at most every
    // kPanelIntervalMs (one insertion, one layout and one repaint of the panel for all of
    // them), so that a burst of annotations does not lay out and repaint the panel each time.
    void logEvent(const QString& name, const QString& args, const QColor& colour);
    void logHost(const QString& what);
    void queueLine(QTreeWidgetItem* item);
    void flushEventPanel();
    QString t(const char* fr, const char* en) const;

    QString appFolder_;
    WindowOptions options_;
    Language language_;

    // Recorder.
    std::function<qint64()> steady_;
    bool eventTimesOnClock_ = false;
    int origin_ = 0;                 // second of day at which the recording started
    qint64 recordedMs_ = 0;          // recorded before the current run
    std::optional<qint64> runStart_; // clock time at which the current run started
    bool recording_ = false;
    // The latest key or mouse button press, until an annotation is added for it.
    struct Press {
        int key = 0;                     // 0: a mouse button
        const QObject* target = nullptr; // what the mouse pressed
        quint64 timestamp = 0;           // as the event carried it
        qint64 at = 0;                   // clock time
    };
    std::optional<Press> press_;
    // Playback.
    std::optional<double> playhead_;
    QElapsedTimer playClock_;
    double playStart_ = 0;

    QPointer<dalmure::qt::DalmureWidget> control_;
    QVBoxLayout* controlLayout_ = nullptr;
    QWidget* controlHost_ = nullptr;
    RecoveryBar* recoveryBar_ = nullptr;

    QLineEdit* caseNumber_ = nullptr;
    QLineEdit* clerk_ = nullptr;
    QDateEdit* date_ = nullptr;
    QComboBox* languageBox_ = nullptr;
    QLabel* caseLabel_ = nullptr;
    QLabel* clerkLabel_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QLabel* recLamp_ = nullptr;
    QLabel* recState_ = nullptr;
    QLabel* clock_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QPushButton* recordButton_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QLabel* playLabel_ = nullptr;
    Timeline* timeline_ = nullptr;
    int timelineCount_ = 0; // annotations the time line was last given
    std::vector<QPushButton*> quick_;
    QLineEdit* description_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QLabel* quickTitle_ = nullptr;
    QLabel* modesTitle_ = nullptr;
    std::vector<QCheckBox*> modes_;
    QLabel* eventsTitle_ = nullptr;
    QTreeWidget* events_ = nullptr;
    QList<QTreeWidgetItem*> pendingLines_; // not yet in the panel, oldest first
    QTimer* panelTimer_ = nullptr;
    QPushButton* clearEvents_ = nullptr;
    QLabel* statusCount_ = nullptr;
    QLabel* statusTip_ = nullptr;
    QAction* sampleAction_ = nullptr;
    QAction* folderAction_ = nullptr;
    QAction* logAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QTimer* timer_ = nullptr;
    int eventCount_ = 0;
    std::function<void(QMessageBox*)> confirmDriver_;

    std::unique_ptr<dalmure::record::Station> station_;
    std::string connection_; // "" the embedded default
    bool following_ = false;
    QTimer* pollTimer_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    int restoring_ = 0; // > 0 while the screen fills the control from the record
    QAction* newHearingAction_ = nullptr;
    QAction* openHearingAction_ = nullptr;
    QAction* followHearingAction_ = nullptr;
    QLabel* linkLabel_ = nullptr;
    QAction* searchAction_ = nullptr;
    QAction* minutesAsOfAction_ = nullptr;
    QAction* historyAction_ = nullptr;
    QPointer<QLineEdit> searchWords_;
    QPointer<QListWidget> searchHits_;
};

} // namespace orvane
