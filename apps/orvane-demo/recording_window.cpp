#include "recording_window.h"

#include "recovery_bar.h"
#include "sample_hearing.h"
#include "timeline.h"

#include "platform/qt/dalmure_widget_p.h"
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace orvane {

using dalmure::qt::DalmureWidget;

namespace {

struct Pair {
    const char* fr;
    const char* en;
};

// Quick annotations, on F2 to F9.
const Pair kQuick[] = {
    {"Ouverture de l'audience", "Opening of the hearing"},
    {"Appel de la cause", "Case called"},
    {"Témoin assermenté", "Witness sworn"},
    {"Objection", "Objection"},
    {"Pièce déposée", "Exhibit filed"},
    {"Question du tribunal", "Question from the bench"},
    {"Suspension", "Recess"},
    {"Levée de l'audience", "Court adjourned"},
};
constexpr int kQuickCount = static_cast<int>(std::size(kQuick));

const char* const kModeNames[] = {"NoPlay", "NoPV", "NoModif", "LockPVStyle"};

// The event panel keeps the latest lines, and takes new ones in at most this often.
constexpr int kPanelLines = 2000;
constexpr int kPanelIntervalMs = 100;

// An input event older than this by its own timestamp is taken to carry no usable time.
constexpr qint64 kMaxInputAgeMs = 60000;

qint64 monotonicMs() {
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

QString hms(int second) {
    second = ((second % 86400) + 86400) % 86400;
    return QTime(0, 0).addSecs(second).toString(QStringLiteral("HH:mm:ss"));
}

// Seconds since midnight of an annotation's time text, or nullopt.
std::optional<int> secondsOf(const QString& time) {
    const QStringList parts = time.trimmed().split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    int s = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = true;
        const int v = i < parts.size() ? parts[i].toInt(&ok) : 0;
        if (!ok || v < 0)
            return std::nullopt;
        s = s * 60 + v;
    }
    return s;
}

QString quoted(const QString& s, int max = 70) {
    QString v = s;
    v.replace(QLatin1String("\r\n"), QStringLiteral(" ⏎ "));
    v.replace(QLatin1Char('\n'), QStringLiteral(" ⏎ "));
    if (v.size() > max)
        v = v.left(max - 1) + QStringLiteral("…");
    return QLatin1Char('"') + v + QLatin1Char('"');
}

} // namespace

RecordingWindow::RecordingWindow(const QString& appFolder, WindowOptions options, QWidget* parent)
    : QMainWindow(parent), appFolder_(appFolder), options_(std::move(options)),
      language_(iniLanguage(appFolder)),
      steady_(options_.clock ? options_.clock : std::function<qint64()>(monotonicMs)) {
    const QString platform = QGuiApplication::platformName();
    eventTimesOnClock_ = options_.eventTimesOnClock.value_or(
        platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")));
    qApp->installEventFilter(this);
    origin_ = options_.startsAt.value_or(QTime::currentTime()).msecsSinceStartOfDay() / 1000;
    buildUi();
    buildHearingMenu();
    buildSearchMenu();
    createControl();
    openRecord();
    retranslate();
    setRecording(true);
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, &RecordingWindow::tick);
    timer_->start();
    tick();
}

RecordingWindow::~RecordingWindow() {
    qDeleteAll(pendingLines_);
}

QString RecordingWindow::t(const char* fr, const char* en) const {
    return QString::fromUtf8(language_ == Language::French ? fr : en);
}

void RecordingWindow::buildUi() {
    setObjectName(QStringLiteral("RecordingWindow"));
    setStyleSheet(QStringLiteral(
        "#caseBar { background: #f4f6f9; border-bottom: 1px solid #d5dbe3; }"
        "#recordBar { background: #1f2a37; }"
        "#recordBar QLabel { color: #e8edf3; }"
        "#recordBar QLabel#clock { font-size: 22pt; font-weight: 600; color: #ffffff; }"
        "#recordBar QLabel#elapsed { color: #9fb0c3; font-size: 11pt; }"
        "#recordBar QLabel#recState { font-weight: 700; letter-spacing: 1px; }"
        "#recordBar QLabel#playLabel { color: #7ee2a0; font-weight: 600; }"
        "#recordBar QPushButton { color: #ffffff; background: #34465b; border: 1px solid #4a6079;"
        "  border-radius: 4px; padding: 5px 14px; }"
        "#recordBar QPushButton:hover { background: #41597a; }"
        "#recordBar QPushButton#recordButton:checked { background: #b3261e; border-color: #d9453b; "
        "}"
        "#sidePanel QLabel.title, QLabel[title=\"true\"] { font-weight: 700; color: #2b3a4a; }"
        "QPushButton[quick=\"true\"] { text-align: left; padding: 6px 10px; border: 1px solid "
        "#c3ccd8;"
        "  border-radius: 4px; background: #ffffff; }"
        "QPushButton[quick=\"true\"]:hover { background: #eaf1fb; border-color: #7aa2d6; }"
        "QPushButton[quick=\"true\"]:pressed { background: #d4e3f7; }"));

    // Menu.
    fileMenu_ = menuBar()->addMenu(QString());
    sampleAction_ = fileMenu_->addAction(QString(), this, &RecordingWindow::loadSampleHearing);
    sampleAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    folderAction_ = fileMenu_->addAction(
        QString(), this, [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(appFolder_)); });
    logAction_ = fileMenu_->addAction(QString(), this, [this] {
        if (control_)
            QMessageBox::information(this, QStringLiteral("Dalmure"), logFile());
    });
    fileMenu_->addSeparator();
    quitAction_ = fileMenu_->addAction(QString(), this, &QWidget::close);
    quitAction_->setShortcut(QKeySequence::Quit);

    auto* central = new QWidget(this);
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Case fields.
    auto* caseBar = new QFrame(central);
    caseBar->setObjectName(QStringLiteral("caseBar"));
    auto* cb = new QHBoxLayout(caseBar);
    cb->setContentsMargins(14, 8, 14, 8);
    caseLabel_ = new QLabel(caseBar);
    caseNumber_ = new QLineEdit(caseBar);
    caseNumber_->setMinimumWidth(180);
    clerkLabel_ = new QLabel(caseBar);
    clerk_ = new QLineEdit(caseBar);
    clerk_->setMinimumWidth(170);
    dateLabel_ = new QLabel(caseBar);
    date_ = new QDateEdit(QDate::currentDate(), caseBar);
    date_->setCalendarPopup(true);
    languageLabel_ = new QLabel(caseBar);
    languageBox_ = new QComboBox(caseBar);
    languageBox_->addItem(QStringLiteral("Français"));
    languageBox_->addItem(QStringLiteral("English"));
    for (QWidget* w : std::initializer_list<QWidget*>{caseLabel_, caseNumber_, clerkLabel_, clerk_,
                                                      dateLabel_, date_})
        cb->addWidget(w);
    cb->addStretch(1);
    cb->addWidget(languageLabel_);
    cb->addWidget(languageBox_);
    root->addWidget(caseBar);
    connect(caseNumber_, &QLineEdit::editingFinished, this, &RecordingWindow::applyCaseFields);
    connect(clerk_, &QLineEdit::editingFinished, this, &RecordingWindow::applyCaseFields);
    connect(date_, &QDateEdit::dateChanged, this, &RecordingWindow::applyCaseFields);
    connect(languageBox_, &QComboBox::activated, this,
            [this](int i) { switchLanguage(i == 0 ? Language::French : Language::English); });

    // Recorder and player.
    auto* recordBar = new QFrame(central);
    recordBar->setObjectName(QStringLiteral("recordBar"));
    auto* rb = new QHBoxLayout(recordBar);
    rb->setContentsMargins(14, 8, 14, 8);
    rb->setSpacing(12);
    recLamp_ = new QLabel(recordBar);
    recLamp_->setFixedSize(16, 16);
    recState_ = new QLabel(recordBar);
    recState_->setObjectName(QStringLiteral("recState"));
    clock_ = new QLabel(recordBar);
    clock_->setObjectName(QStringLiteral("clock"));
    elapsed_ = new QLabel(recordBar);
    elapsed_->setObjectName(QStringLiteral("elapsed"));
    recordButton_ = new QPushButton(recordBar);
    recordButton_->setObjectName(QStringLiteral("recordButton"));
    recordButton_->setCheckable(true);
    recordButton_->setFocusPolicy(Qt::NoFocus);
    connect(recordButton_, &QPushButton::toggled, this, &RecordingWindow::setRecording);
    playButton_ = new QPushButton(recordBar);
    playButton_->setFocusPolicy(Qt::NoFocus);
    connect(playButton_, &QPushButton::clicked, this, [this] {
        if (control_ && control_->selected() >= 0)
            playFrom(control_->selected());
    });
    stopButton_ = new QPushButton(recordBar);
    stopButton_->setFocusPolicy(Qt::NoFocus);
    connect(stopButton_, &QPushButton::clicked, this, &RecordingWindow::stopPlayback);
    playLabel_ = new QLabel(recordBar);
    playLabel_->setObjectName(QStringLiteral("playLabel"));
    playLabel_->setMinimumWidth(190);
    rb->addWidget(recLamp_);
    rb->addWidget(recState_);
    rb->addSpacing(8);
    rb->addWidget(clock_);
    rb->addWidget(elapsed_);
    rb->addWidget(recordButton_);
    rb->addStretch(1);
    rb->addWidget(playLabel_);
    rb->addWidget(playButton_);
    rb->addWidget(stopButton_);
    root->addWidget(recordBar);

    auto* lineBox = new QWidget(central);
    auto* lb = new QHBoxLayout(lineBox);
    lb->setContentsMargins(8, 4, 8, 0);
    timeline_ = new Timeline(lineBox);
    lb->addWidget(timeline_);
    root->addWidget(lineBox);
    connect(timeline_, &Timeline::seek, this, [this](int second) {
        playhead_ = second;
        playStart_ = second;
        playClock_.start();
        logHost(t("lecture à %1", "play from %1").arg(hms(second)));
    });

    // Work area: quick annotations and the control on the left, modes and events on the right.
    auto* split = new QSplitter(Qt::Horizontal, central);
    split->setChildrenCollapsible(false);
    auto* left = new QWidget(split);
    auto* ll = new QVBoxLayout(left);
    ll->setContentsMargins(10, 8, 4, 10);
    quickTitle_ = new QLabel(left);
    quickTitle_->setProperty("title", true);
    ll->addWidget(quickTitle_);
    auto* grid = new QGridLayout();
    grid->setSpacing(6);
    for (int i = 0; i < kQuickCount; ++i) {
        auto* b = new QPushButton(left);
        b->setProperty("quick", true);
        b->setFocusPolicy(Qt::NoFocus);
        grid->addWidget(b, i / 4, i % 4);
        quick_.push_back(b);
        // Stamped with the time of the key or mouse press, however late it is handled.
        connect(b, &QPushButton::clicked, this,
                [this, i, b] { addAnnotationAt(quickLabel(i), pressTime({}, b)); });
        auto* sc = new QShortcut(QKeySequence(Qt::Key_F2 + i), this);
        sc->setContext(Qt::WindowShortcut);
        connect(sc, &QShortcut::activated, this,
                [this, i] { addAnnotationAt(quickLabel(i), pressTime({Qt::Key_F2 + i})); });
    }
    ll->addLayout(grid);
    auto* addRow = new QHBoxLayout();
    description_ = new QLineEdit(left);
    description_->setMaxLength(50);
    description_->setClearButtonEnabled(true);
    addButton_ = new QPushButton(left);
    addButton_->setDefault(false);
    addRow->addWidget(description_, 1);
    addRow->addWidget(addButton_);
    ll->addLayout(addRow);
    auto addTyped = [this] {
        const QString d = description_->text().trimmed();
        addAnnotationAt(d.isEmpty() ? t("Annotation", "Annotation") : d,
                        pressTime({Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}, addButton_));
        description_->clear();
    };
    connect(addButton_, &QPushButton::clicked, this, addTyped);
    connect(description_, &QLineEdit::returnPressed, this, addTyped);
    auto* addShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Space), this);
    connect(addShortcut, &QShortcut::activated, this, addTyped);

    controlHost_ = new QWidget(left);
    controlLayout_ = new QVBoxLayout(controlHost_);
    controlLayout_->setContentsMargins(0, 6, 0, 0);
    // Over the control: what a session that ended without closing left behind.
    recoveryBar_ = new RecoveryBar(controlHost_);
    controlLayout_->addWidget(recoveryBar_);
    connect(recoveryBar_, &RecoveryBar::recoverRequested, this, &RecordingWindow::recoverSession);
    connect(recoveryBar_, &RecoveryBar::showRequested, this, &RecordingWindow::showSession);
    connect(recoveryBar_, &RecoveryBar::discardRequested, this, &RecordingWindow::discardSession);
    ll->addWidget(controlHost_, 1);

    auto* side = new QWidget(split);
    side->setObjectName(QStringLiteral("sidePanel"));
    auto* sl = new QVBoxLayout(side);
    sl->setContentsMargins(4, 8, 10, 10);
    modesTitle_ = new QLabel(side);
    modesTitle_->setProperty("title", true);
    sl->addWidget(modesTitle_);
    auto* modeGrid = new QGridLayout();
    for (int i = 0; i < 4; ++i) {
        auto* c = new QCheckBox(QString::fromLatin1(kModeNames[i]), side);
        c->setFocusPolicy(Qt::NoFocus);
        modeGrid->addWidget(c, i / 2, i % 2);
        modes_.push_back(c);
        connect(c, &QCheckBox::toggled, this, [this, i](bool on) {
            logHost(QStringLiteral("%1 = %2").arg(QString::fromLatin1(kModeNames[i]),
                                                  on ? QStringLiteral("True")
                                                     : QStringLiteral("False")));
            applyModes();
        });
    }
    sl->addLayout(modeGrid);
    auto* evHead = new QHBoxLayout();
    eventsTitle_ = new QLabel(side);
    eventsTitle_->setProperty("title", true);
    clearEvents_ = new QPushButton(side);
    clearEvents_->setFocusPolicy(Qt::NoFocus);
    evHead->addWidget(eventsTitle_, 1);
    evHead->addWidget(clearEvents_);
    sl->addSpacing(8);
    sl->addLayout(evHead);
    events_ = new QTreeWidget(side);
    events_->setColumnCount(3);
    events_->setRootIsDecorated(false);
    events_->setAlternatingRowColors(true);
    events_->setUniformRowHeights(true);
    events_->setWordWrap(false);
    events_->header()->setStretchLastSection(true);
    events_->setColumnWidth(0, 78);
    events_->setColumnWidth(1, 150);
    sl->addWidget(events_, 1);
    connect(clearEvents_, &QPushButton::clicked, this, [this] {
        qDeleteAll(pendingLines_);
        pendingLines_.clear();
        events_->clear();
    });
    panelTimer_ = new QTimer(this);
    panelTimer_->setSingleShot(true);
    panelTimer_->setInterval(kPanelIntervalMs);
    connect(panelTimer_, &QTimer::timeout, this, &RecordingWindow::flushEventPanel);

    split->addWidget(left);
    split->addWidget(side);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({860, 560});
    root->addWidget(split, 1);
    setCentralWidget(central);

    statusCount_ = new QLabel(this);
    statusTip_ = new QLabel(this);
    statusBar()->addWidget(statusTip_, 1);
    statusBar()->addPermanentWidget(statusCount_);
    resize(1480, 900);
}

void RecordingWindow::retranslate() {
    setWindowTitle(t("Orvane - Enregistrement d'audience", "Orvane - Hearing recording"));
    fileMenu_->setTitle(t("&Fichier", "&File"));
    sampleAction_->setText(t("Charger une audience type", "Load a sample hearing"));
    folderAction_->setText(t("Ouvrir le dossier de l'application", "Open the application folder"));
    logAction_->setText(t("Emplacement du journal", "Where the log is"));
    quitAction_->setText(t("Quitter", "Exit"));
    caseLabel_->setText(t("N° de dossier", "Case number"));
    clerkLabel_->setText(t("Greffier", "Clerk"));
    dateLabel_->setText(t("Date de l'audience", "Hearing date"));
    languageLabel_->setText(t("Langue", "Language"));
    languageBox_->setCurrentIndex(language_ == Language::French ? 0 : 1);
    date_->setDisplayFormat(language_ == Language::French ? QStringLiteral("dd/MM/yyyy")
                                                          : QStringLiteral("yyyy-MM-dd"));
    recordButton_->setText(recording_ ? t("■  Pause", "■  Pause")
                                      : t("●  Enregistrer", "●  Record"));
    playButton_->setText(t("▶  Jouer à la sélection", "▶  Play selection"));
    stopButton_->setText(t("■  Arrêt", "■  Stop"));
    quickTitle_->setText(t("Annotations rapides", "Quick annotations"));
    for (int i = 0; i < kQuickCount; ++i)
        quick_[static_cast<std::size_t>(i)]->setText(
            QStringLiteral("F%1   %2").arg(i + 2).arg(quickLabel(i)));
    description_->setPlaceholderText(
        t("Description d'une annotation libre", "Description of a free annotation"));
    addButton_->setText(t("Ajouter  (Ctrl+Espace)", "Add  (Ctrl+Space)"));
    modesTitle_->setText(t("Modes du contrôle", "Control modes"));
    eventsTitle_->setText(t("Événements du contrôle", "Events raised by the control"));
    clearEvents_->setText(t("Effacer", "Clear"));
    events_->setHeaderLabels(
        {t("Heure", "Time"), t("Événement", "Event"), t("Arguments", "Arguments")});
    retranslateHearingMenu();
    retranslateSearchMenu();
    tick();
}

QString RecordingWindow::logFile() const {
    if (!control_)
        return {};
    dalmure::Str root = (appFolder_ + QStringLiteral("/Log")).toStdU16String();
    const dalmure::Str month = dalmure::qt::controlOf(*control_).GetLogPath(root);
    return QString::fromStdU16String(month) + QStringLiteral("Dalmure.Log");
}

QString RecordingWindow::quickLabel(int i) const {
    return t(kQuick[i].fr, kQuick[i].en);
}
int RecordingWindow::quickButtonCount() const {
    return kQuickCount;
}
QAbstractButton* RecordingWindow::quickButton(int i) const {
    return quick_.at(static_cast<std::size_t>(i));
}
QCheckBox* RecordingWindow::modeBox(int i) const {
    return modes_.at(static_cast<std::size_t>(i));
}

void RecordingWindow::createControl() {
    dalmure::qt::QtPlatformOptions po;
    po.htmlProgram = options_.htmlProgram;
    auto* w = new DalmureWidget(appFolder_, controlHost_, po);
    control_ = w;
    controlLayout_->addWidget(w, 1);
    // The control lays itself out, letting pending events run, when it is first shown: it is
    // shown on its own once the window is on screen rather than in the middle of the window's
    // own show.
    if (!isVisible()) {
        w->hide();
        QTimer::singleShot(0, w, [w] { w->show(); });
    }
    syncControlClock();

    connect(w, &DalmureWidget::annoDeleteRequest, this, [this](qint16& index) {
        logEvent(QStringLiteral("AnnoDeleteRequest"), QStringLiteral("AnnoIndex=%1").arg(index),
                 QColor(0xB3, 0x26, 0x1E));
        // Answered once the control's procedure has returned.
        const int i = index;
        QTimer::singleShot(0, this, [this, i] { confirmDelete(i); });
    });
    connect(w, &DalmureWidget::annoModified, this, [this](qint16 index) {
        const QString notes = control_ ? control_->annoData(index) : QString();
        logEvent(QStringLiteral("AnnoModified"),
                 QStringLiteral("AnnoIndex=%1  AnnoData=%2").arg(index).arg(quoted(notes)),
                 QColor(0x2F, 0x5D, 0x8A));
    });
    connect(w, &DalmureWidget::annoModifiedDesc, this,
            [this](qint16& index, QString& oldDesc, QString& newDesc, bool& cancel) {
                // The court keeps no annotation without a description.
                if (newDesc.trimmed().isEmpty())
                    cancel = true;
                logEvent(QStringLiteral("AnnoModifiedDesc"),
                         QStringLiteral("AnnoIndex=%1  %2 → %3%4")
                             .arg(index)
                             .arg(quoted(oldDesc, 40), quoted(newDesc, 40),
                                  cancel ? QStringLiteral("  Cancel=True") : QString()),
                         QColor(0x7A, 0x4E, 0x00));
            });
    connect(w, &DalmureWidget::annoAdded, this, [this](QString& time, QString& desc) {
        logEvent(QStringLiteral("AnnoAdded"),
                 QStringLiteral("AnnoTime=%1  AnnoDesc=%2").arg(time, quoted(desc)),
                 QColor(0x1B, 0x6E, 0x3C));
        timelineAdded(time);
    });
    connect(w, &DalmureWidget::dblClick, this, [this] {
        logEvent(QStringLiteral("DblClick"),
                 control_ ? QStringLiteral("Selected=%1").arg(control_->selected()) : QString(),
                 QColor(0x1B, 0x8A, 0x3C));
        if (control_ && control_->selected() >= 0)
            playFrom(control_->selected());
    });
    connect(w, &DalmureWidget::toolTipChanged, this, [this](QString& text) {
        logEvent(QStringLiteral("ToolTipChanged"), quoted(text), QColor(0x6B, 0x75, 0x80));
        statusTip_->setText(text);
    });
    connect(w, &DalmureWidget::errorRaised, this, [this](int number, const QString& d) {
        logEvent(t("Erreur", "Error"), QStringLiteral("%1  %2").arg(number).arg(d),
                 QColor(0xC6, 0x28, 0x28));
    });
    connect(w, &DalmureWidget::printFinished, this, [this](const QString& file, bool ok) {
        logEvent(
            t("Impression", "Printed"),
            QStringLiteral("%1 %2").arg(ok ? QStringLiteral("ok") : QStringLiteral("failed"), file),
            QColor(0x6B, 0x75, 0x80));
    });
    connect(w, &DalmureWidget::annoRecovered, this, [this](qint16 index) {
        const QString desc = control_ ? control_->annoDesc(index) : QString();
        const QString time = control_ ? control_->annoTime(index) : QString();
        logEvent(QStringLiteral("AnnoRecovered"),
                 QStringLiteral("AnnoIndex=%1  %2 %3").arg(index).arg(time, quoted(desc)),
                 QColor(0x00, 0x6D, 0x77));
    });
    // Tab goes from the screen's own fields to the control, in the control's own order (its
    // commands, the list, the notes), and only then on to the events panel.
    QList<QWidget*> inside;
    for (QWidget* f = w->nextInFocusChain(); f != w; f = f->nextInFocusChain())
        if (w->isAncestorOf(f) && (f->focusPolicy() & Qt::TabFocus))
            inside << f;
    QWidget* previous = addButton_;
    for (QWidget* f : inside) {
        QWidget::setTabOrder(previous, f);
        previous = f;
    }
    addPopupItems(w);
    applyCaseFields();
    applyModes();
    refreshRecoveryBar();
    emit controlRecreated();
}

void RecordingWindow::applyCaseFields() {
    if (!control_)
        return;
    control_->setNoDossier(caseNumber_->text());
    control_->setUserName(clerk_->text());
    const QLocale locale(language_ == Language::French ? QLocale::French : QLocale::English,
                         QLocale::Canada);
    control_->setDateCreated(locale.toString(date_->date(), language_ == Language::French
                                                                ? QStringLiteral("d MMMM yyyy")
                                                                : QStringLiteral("MMMM d, yyyy")));
    saveCaseFields();
}

void RecordingWindow::applyModes() {
    if (!control_)
        return;
    if (control_->noPlay() != modes_[0]->isChecked())
        control_->setNoPlay(modes_[0]->isChecked());
    if (control_->noPV() != modes_[1]->isChecked())
        control_->setNoPV(modes_[1]->isChecked());
    if (control_->noModif() != (modes_[2]->isChecked() || following_))
        control_->setNoModif(modes_[2]->isChecked() || following_);
    control_->setLockPVStyle(modes_[3]->isChecked());
    playButton_->setEnabled(!modes_[0]->isChecked());
}

void RecordingWindow::switchLanguage(Language language) {
    if (language == language_ && control_)
        return;
    // The notes being typed are committed when the editor loses the focus.
    events_->setFocus();
    QApplication::processEvents();
    struct Saved {
        QString time, desc, data;
    };
    std::vector<Saved> saved;
    if (control_) {
        const int n = control_->annoCount();
        for (int i = 0; i < n; ++i)
            saved.push_back({control_->annoTime(i), control_->annoDesc(i), control_->annoData(i)});
    }
    // The same hearing: the station lets go of the control and takes the new one.
    pollRecord();
    const std::string hearing = station_ ? station_->hearing() : std::string();
    station_.reset();
    ++restoring_;
    if (!setIniLanguage(appFolder_, language))
        logHost(QStringLiteral("cannot write %1/ORClient.INI").arg(appFolder_));
    language_ = iniLanguage(appFolder_);
    logHost(t("langue : français, contrôle recréé", "language: English, control recreated"));
    delete control_.data();
    createControl();
    for (Saved& s : saved)
        control_->annoAdd(s.time, s.desc, s.data);
    --restoring_;
    retranslate();
    applyCaseFields();
    if (!hearing.empty() && control_) {
        attachStation(following_);
        if (station_->open(hearing))
            rememberHearing();
    }
    refreshTimeline();
}

void RecordingWindow::loadSampleHearing() {
    if (!control_)
        return;
    const SampleHearing h = sampleHearing(language_, iniApostrophe(appFolder_));
    logHost(t("chargement de l'audience type (%1 annotations)",
              "loading the sample hearing (%1 annotations)")
                .arg(h.annotations.size()));
    stopPlayback();
    // The sample is a hearing of its own: the one on screen stays as it was saved.
    if (control_->annoCount() > 0 || following_)
        newHearing();
    caseNumber_->setText(h.caseNumber);
    clerk_->setText(h.clerk);
    date_->setDate(QDate(2024, 3, 15));
    applyCaseFields();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    control_->clearAll();
    // The hearing's parties: abbreviations the clerk's notes expand, and names spelled right.
    control_->glossaryClear();
    for (const auto& [abbreviation, text] : h.parties)
        control_->glossaryAdd(abbreviation, text);
    control_->allowRefreshPV(false);
    for (const SampleAnnotation& a : h.annotations)
        control_->annoAdd(a.time, a.description, a.notes);
    control_->allowRefreshPV(true);
    QApplication::restoreOverrideCursor();
    // The recorder stands at the end of the hearing and goes on from there.
    origin_ = h.start.msecsSinceStartOfDay() / 1000;
    recordedMs_ = qint64(h.start.secsTo(h.end)) * 1000;
    if (runStart_)
        runStart_ = nowMs();
    tick();
    refreshTimeline();
}

void RecordingWindow::setRecording(bool on) {
    if (on == recording_)
        return;
    if (on) {
        runStart_ = nowMs();
    } else if (runStart_) {
        recordedMs_ = recordedMsAt(nowMs());
        runStart_.reset();
    }
    recording_ = on;
    if (recordButton_->isChecked() != on)
        recordButton_->setChecked(on);
    if (caseLabel_)
        retranslate();
}

bool RecordingWindow::recording() const {
    return recording_;
}

void RecordingWindow::advanceRecording(int seconds) {
    recordedMs_ += qint64(seconds) * 1000;
    tick();
}

qint64 RecordingWindow::recordedMsAt(qint64 t) const {
    return recordedMs_ + (recording_ && runStart_ ? std::max<qint64>(0, t - *runStart_) : 0);
}

int RecordingWindow::recordingSecond() const {
    return origin_ + int(recordedMsAt(nowMs()) / 1000);
}

QString RecordingWindow::recordingTime() const {
    return hms(recordingSecond());
}

void RecordingWindow::addAnnotation(const QString& description) {
    addAnnotationAt(description, nowMs());
}

void RecordingWindow::addAnnotationAt(const QString& description, qint64 at) {
    if (!control_ || following_) // a hearing recorded elsewhere
        return;
    const QString time = hms(origin_ + int(recordedMsAt(at) / 1000));
    logHost(QStringLiteral("AnnoAdd %1 %2").arg(time, quoted(description)));
    syncControlClock();
    control_->annoAdd(time, description);
    timelineAdded(time);
}

void RecordingWindow::playFrom(int annotation) {
    if (!control_)
        return;
    const auto s = secondsOf(control_->annoTime(annotation));
    if (!s)
        return;
    playhead_ = *s;
    playStart_ = *s;
    playClock_.start();
    logHost(t("lecture à %1 (annotation %2)", "playing from %1 (annotation %2)")
                .arg(hms(*s))
                .arg(annotation));
    tick();
}

void RecordingWindow::stopPlayback() {
    if (!playhead_)
        return;
    playhead_.reset();
    logHost(t("lecture arrêtée", "playback stopped"));
    tick();
}

std::optional<int> RecordingWindow::playhead() const {
    if (!playhead_)
        return std::nullopt;
    return int(*playhead_);
}

void RecordingWindow::syncControlClock() {
    if (!control_)
        return;
    // The control stamps what it adds itself (entry style 2) with the recording's time.
    const QDate d = QDate::currentDate();
    const qint64 ms = recordedMsAt(nowMs());
    const int second = origin_ + int(ms / 1000);
    dalmure::platform::LocalTime now;
    now.year = d.year(), now.month = d.month(), now.day = d.day();
    now.hour = (second / 3600) % 24, now.minute = (second / 60) % 60, now.second = second % 60;
    now.hundredths = int((ms % 1000) / 10);
    dalmure::qt::platformOf(*control_).setNow(now);
}

void RecordingWindow::tick() {
    if (!clock_)
        return;
    const int now = recordingSecond();
    clock_->setText(hms(now));
    const int el = now - origin_;
    elapsed_->setText(t("durée %1", "elapsed %1").arg(hms(el)));
    const bool blink = !recording_ || (QTime::currentTime().msec() < 600);
    // A drawn lamp: a style sheet set on every tick would rebuild the label's style.
    const QColor lamp = recording_ ? (blink ? QColor(0xE5, 0x39, 0x35) : QColor(0x7A, 0x1F, 0x1C))
                                   : QColor(0x5F, 0x6B, 0x7A);
    if (recLamp_->property("lamp").value<QColor>() != lamp) {
        const qreal dpr = devicePixelRatio();
        QPixmap pm(int(16 * dpr), int(16 * dpr));
        pm.setDevicePixelRatio(dpr);
        pm.fill(Qt::transparent);
        QPainter painter(&pm);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(lamp);
        painter.drawEllipse(QRectF(1, 1, 14, 14));
        painter.end();
        recLamp_->setPixmap(pm);
        recLamp_->setProperty("lamp", lamp);
    }
    recState_->setText(recording_ ? t("ENREGISTREMENT", "RECORDING") : t("EN PAUSE", "PAUSED"));
    if (playhead_) {
        *playhead_ = playStart_ + playClock_.elapsed() / 1000.0;
        if (*playhead_ >= now) {
            playhead_.reset();
            logHost(t("fin de la lecture", "end of playback"));
        }
    }
    playLabel_->setText(playhead_ ? t("▶ lecture  %1", "▶ playing  %1").arg(hms(int(*playhead_)))
                                  : QString());
    stopButton_->setEnabled(playhead_.has_value());
    timeline_->setRecordingPosition(now);
    timeline_->setPlayhead(playhead());
    syncControlClock();
    if (control_)
        statusCount_->setText(t("%1 annotation(s)   ·   dossier de l'application : %2",
                                "%1 annotation(s)   ·   application folder: %2")
                                  .arg(control_->annoCount())
                                  .arg(appFolder_));
}

void RecordingWindow::refreshTimeline() {
    if (!control_)
        return;
    std::vector<int> marks;
    const int n = control_->annoCount();
    marks.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        if (const auto s = secondsOf(control_->annoTime(i)))
            marks.push_back(*s);
    timeline_->setMarks(std::move(marks));
    timelineCount_ = n;
    updateTimelineRange();
}

void RecordingWindow::timelineAdded(const QString& time) {
    if (!control_ || control_->annoCount() != timelineCount_ + 1) {
        refreshTimeline();
        return;
    }
    ++timelineCount_;
    if (const auto s = secondsOf(time))
        timeline_->addMark(*s);
    updateTimelineRange();
}

void RecordingWindow::timelineRemoved(const QString& time) {
    if (!control_ || control_->annoCount() != timelineCount_ - 1) {
        refreshTimeline();
        return;
    }
    --timelineCount_;
    if (const auto s = secondsOf(time))
        timeline_->removeMark(*s);
    updateTimelineRange();
}

// From the start of the recording or the first annotation, whichever is earlier, to a minute
// past the recording position or the last annotation.
void RecordingWindow::updateTimelineRange() {
    const std::vector<int>& marks = timeline_->marks();
    int first = origin_, last = recordingSecond();
    if (!marks.empty()) {
        first = std::min(first, marks.front());
        last = std::max(last, marks.back());
    }
    timeline_->setRange(first, last + 60);
}

void RecordingWindow::confirmDelete(int annotation) {
    if (!control_ || annotation < 0 || annotation >= control_->annoCount())
        return;
    if (!confirm(t("Supprimer l'annotation", "Delete the annotation"),
                 t("Supprimer l'annotation de %1 « %2 » et ses notes ?",
                   "Delete the annotation at %1 \"%2\" and its notes?")
                     .arg(control_->annoTime(annotation), control_->annoDesc(annotation)))) {
        logHost(t("suppression refusée", "deletion declined"));
        return;
    }
    logHost(QStringLiteral("AnnoDelete %1").arg(annotation));
    // The control removes its selected annotation.
    const QString time = control_->annoTime(control_->selected());
    control_->annoDelete(annotation);
    timelineRemoved(time);
}

bool RecordingWindow::confirm(const QString& title, const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::No);
    if (confirmDriver_)
        QTimer::singleShot(0, &box, [this, &box] { confirmDriver_(&box); });
    return box.exec() == QMessageBox::Yes;
}

void RecordingWindow::refreshRecoveryBar() {
    if (!control_)
        return;
    recoveryBar_->offer(control_->recoverableSessions(), language_);
}

void RecordingWindow::recoverSession(const QString& id) {
    if (!control_)
        return;
    logHost(QStringLiteral("RecoverSession %1").arg(id));
    if (!control_->recoverSession(id))
        logHost(t("la session %1 n'a pas pu être récupérée", "session %1 could not be recovered")
                    .arg(id));
    // The recovered case fields are the screen's too.
    if (caseNumber_->text().isEmpty())
        caseNumber_->setText(control_->noDossier());
    if (clerk_->text().isEmpty())
        clerk_->setText(control_->userName());
    saveCaseFields();
    refreshTimeline();
    refreshRecoveryBar();
}

void RecordingWindow::showSession(const QString& id) {
    const RecoveryBar::Session* s = recoveryBar_->offered();
    if (!s || s->id != id)
        return;
    auto* box =
        new QMessageBox(QMessageBox::Information, t("Session interrompue", "Interrupted session"),
                        RecoveryBar::summary(*s, language_), QMessageBox::Close, this);
    box->setObjectName(QStringLiteral("sessionSummary"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void RecordingWindow::discardSession(const QString& id) {
    if (!control_)
        return;
    if (!confirm(t("Abandonner la session interrompue", "Discard the interrupted session"),
                 t("Abandonner définitivement les notes de cette session interrompue ?",
                   "Discard the notes of this interrupted session for good?"))) {
        logHost(t("abandon refusé", "discard declined"));
        return;
    }
    logHost(QStringLiteral("DiscardSession %1").arg(id));
    if (!control_->discardSession(id))
        logHost(t("la session %1 n'a pas pu être abandonnée", "session %1 could not be discarded")
                    .arg(id));
    refreshRecoveryBar();
}

void RecordingWindow::logEvent(const QString& name, const QString& args, const QColor& colour) {
    auto* item = new QTreeWidgetItem(
        {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), name, args});
    item->setForeground(1, colour);
    QFont bold = item->font(1);
    bold.setBold(true);
    item->setFont(1, bold);
    item->setToolTip(2, args);
    queueLine(item);
    ++eventCount_;
}

void RecordingWindow::logHost(const QString& what) {
    auto* item = new QTreeWidgetItem(
        {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), t("hôte", "host"), what});
    const QColor grey(0x8A, 0x94, 0xA0);
    for (int c = 0; c < 3; ++c)
        item->setForeground(c, grey);
    QFont italic = item->font(2);
    italic.setItalic(true);
    item->setFont(1, italic);
    item->setFont(2, italic);
    queueLine(item);
}

void RecordingWindow::queueLine(QTreeWidgetItem* item) {
    pendingLines_.append(item);
    if (!panelTimer_->isActive())
        panelTimer_->start();
}

void RecordingWindow::flushEventPanel() {
    if (pendingLines_.isEmpty())
        return;
    // Lines that would be trimmed at once never enter the panel.
    while (pendingLines_.size() > kPanelLines)
        delete pendingLines_.takeFirst();
    const int drop = events_->topLevelItemCount() + int(pendingLines_.size()) - kPanelLines;
    if (drop > 0) {
        if (drop >= events_->topLevelItemCount()) {
            events_->clear();
        } else {
            for (int i = 0; i < drop; ++i)
                delete events_->takeTopLevelItem(0);
        }
    }
    events_->addTopLevelItems(pendingLines_);
    pendingLines_.clear();
    events_->scrollToBottom();
}

// X servers and Wayland compositors on Linux stamp input events with the monotonic clock in
// milliseconds, cut to 32 bits: an event that waited in the queue while the window was busy
// is placed when it happened. An event without a time, or whose time does not fall within the
// last minute on that reading (a clock of another origin), is placed now, when it is handled.
qint64 RecordingWindow::eventTime(quint64 timestamp) const {
    const qint64 now = nowMs();
    if (!eventTimesOnClock_ || timestamp == 0)
        return now;
    const auto age =
        static_cast<qint32>(static_cast<quint32>(now) - static_cast<quint32>(timestamp));
    return age >= 0 && age <= kMaxInputAgeMs ? now - age : now;
}

void RecordingWindow::notePress(int key, const QObject* target, quint64 timestamp) {
    // One press reaches several receivers (the window, the focus widget, its parents; a key
    // first as a shortcut override): its time is taken when it is first seen.
    const bool seen =
        press_ && timestamp != 0 && press_->timestamp == timestamp && press_->key == key;
    press_ = Press{key, target, timestamp, seen ? press_->at : eventTime(timestamp)};
}

bool RecordingWindow::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        const auto* k = static_cast<const QKeyEvent*>(e);
        // Up and Down move in the search's hits while the words keep the keyboard.
        if (watched == searchWords_ && searchHits_ && e->type() == QEvent::KeyPress &&
            (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down)) {
            const int row = searchHits_->currentRow() + (k->key() == Qt::Key_Up ? -1 : 1);
            if (row >= 0 && row < searchHits_->count())
                searchHits_->setCurrentRow(row);
            return true;
        }
        notePress(k->key(), nullptr, k->timestamp());
        break;
    }
    case QEvent::MouseButtonPress:
        notePress(0, watched, static_cast<const QMouseEvent*>(e)->timestamp());
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}

qint64 RecordingWindow::pressTime(std::initializer_list<int> keys, const QObject* target) {
    const std::optional<Press> p = std::exchange(press_, std::nullopt);
    if (p && ((p->key == 0 && target != nullptr && p->target == target) ||
              (p->key != 0 && std::find(keys.begin(), keys.end(), p->key) != keys.end())))
        return p->at;
    return nowMs();
}

const std::vector<int>& RecordingWindow::timelineMarks() const {
    return timeline_->marks();
}

QStringList RecordingWindow::eventNames() const {
    QStringList names;
    for (int i = 0; i < events_->topLevelItemCount(); ++i)
        names << events_->topLevelItem(i)->text(1);
    for (const QTreeWidgetItem* item : pendingLines_)
        names << item->text(1);
    return names;
}

} // namespace orvane
