// The recording screen's own record of its hearings: every change the control reports is saved
// as it is reported, the last hearing comes back at start-up, and the clerk can open a saved
// hearing or start a new one.
#include "recording_window.h"

#include "recovery_bar.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace orvane {

using dalmure::qt::DalmureWidget;

void RecordingWindow::buildHearingMenu() {
    newHearingAction_ = new QAction(this);
    newHearingAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newHearingAction_, &QAction::triggered, this, &RecordingWindow::newHearing);
    openHearingAction_ = new QAction(this);
    openHearingAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openHearingAction_, &QAction::triggered, this, &RecordingWindow::chooseHearing);
    fileMenu_->insertActions(sampleAction_, {newHearingAction_, openHearingAction_});
    fileMenu_->insertSeparator(sampleAction_);
}

void RecordingWindow::retranslateHearingMenu() {
    newHearingAction_->setText(t("Nouvelle audience", "New hearing"));
    openHearingAction_->setText(t("Ouvrir une audience…", "Open a hearing…"));
    if (storeWarning_)
        storeWarning_->setText(
            t("Audiences non enregistrées : %1", "Hearings not saved: %1").arg(storeProblem_));
}

void RecordingWindow::openStore() {
    store_ = HearingStore::open(appFolder_, &storeProblem_);
    if (!store_) {
        // The file is left as it is for someone to look at; the screen starts with an empty
        // hearing and says, for as long as it runs, that it keeps nothing.
        storeWarning_ = new QLabel(this);
        storeWarning_->setObjectName(QStringLiteral("storeWarning"));
        storeWarning_->setStyleSheet(QStringLiteral("color: #b3261e; font-weight: 600;"));
        statusBar()->addPermanentWidget(storeWarning_);
        logHost(t("base des audiences inutilisable : %1", "hearings database unusable: %1")
                    .arg(storeProblem_));
        std::fprintf(stderr, "orvane-demo: hearings not saved: %s\n", qPrintable(storeProblem_));
        return;
    }
    // The last hearing is in the control again before a session left behind is offered: a
    // recovery then adds only what the database does not hold.
    if (const auto id = store_->current())
        if (const auto h = store_->load(*id)) {
            hearing_ = *id;
            showHearing(*h);
            logHost(
                t("audience %1 rouverte (%2 annotations)", "hearing %1 reopened (%2 annotations)")
                    .arg(*id)
                    .arg(h->annotations.size()));
        }
    if (hearing_ == 0) {
        hearing_ = store_->create();
        if (hearing_ == 0)
            noteStoreFailure();
        saveCaseFields();
    }
    refreshRecoveryBar();
}

void RecordingWindow::keepHearing(DalmureWidget* w) {
    connect(w, &DalmureWidget::annoModified, this, [this](qint16) { saveHearing(); });
    // Connected after the screen's own answer: a cancelled rename changes nothing, and the
    // control shows the new description while its event is raised.
    connect(w, &DalmureWidget::annoModifiedDesc, this,
            [this](qint16&, QString&, QString&, bool& c) {
                if (!c)
                    saveHearing();
            });
    connect(w, &DalmureWidget::annoAdded, this, [this](QString&, QString&) { saveHearing(); });
    connect(w, &DalmureWidget::annoRecovered, this, [this](qint16) { saveHearing(); });
}

void RecordingWindow::saveHearing() {
    if (!store_ || hearing_ == 0 || restoring_ > 0 || !control_)
        return;
    std::vector<StoredAnnotation> list;
    const int n = control_->annoCount();
    list.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        list.push_back({control_->annoTime(i), control_->annoDesc(i), control_->annoData(i)});
    if (!store_->saveAnnotations(hearing_, list))
        noteStoreFailure();
}

void RecordingWindow::saveCaseFields() {
    if (!store_ || hearing_ == 0 || restoring_ > 0 || !control_)
        return;
    const CaseFields f{control_->noDossier(), control_->dateCreated(), control_->userName(),
                       date_->date()};
    if (!store_->saveCaseFields(hearing_, f))
        noteStoreFailure();
}

void RecordingWindow::noteStoreFailure() {
    const QString why = store_ ? store_->lastError() : storeProblem_;
    if (why == storeFailure_)
        return;
    storeFailure_ = why;
    logHost(t("audience non enregistrée : %1", "hearing not saved: %1").arg(why));
    statusTip_->setText(t("Audience non enregistrée : %1", "Hearing not saved: %1").arg(why));
}

void RecordingWindow::showHearing(const Hearing& h) {
    ++restoring_;
    stopPlayback();
    caseNumber_->setText(h.fields.noDossier);
    clerk_->setText(h.fields.userName);
    date_->setDate(h.fields.date.isValid() ? h.fields.date : QDate::currentDate());
    applyCaseFields();
    // A date the screen did not write itself (a recovered session's) is kept as it is.
    if (!h.fields.dateCreated.isEmpty())
        control_->setDateCreated(h.fields.dateCreated);
    control_->allowRefreshPV(false);
    for (const StoredAnnotation& a : h.annotations)
        control_->annoAdd(a.time, a.description, a.notes);
    control_->allowRefreshPV(true);
    --restoring_;
    // The recorder goes on from the hearing's last annotation, its first one the start of the
    // recording, as it stood when the hearing was left.
    int first = -1, last = -1;
    for (const StoredAnnotation& a : h.annotations) {
        const QTime at = QTime::fromString(a.time, QStringLiteral("HH:mm:ss"));
        if (!at.isValid())
            continue;
        const int second = at.msecsSinceStartOfDay() / 1000;
        first = first < 0 ? second : std::min(first, second);
        last = std::max(last, second);
    }
    if (first >= 0) {
        origin_ = first;
        recordedMs_ = qint64(last - first) * 1000;
        if (runStart_)
            runStart_ = nowMs();
        tick();
    }
    refreshTimeline();
}

void RecordingWindow::newHearing() {
    if (!control_)
        return;
    // Notes being typed are committed, and saved, before the list is emptied.
    control_->clearAll();
    const bool reuse =
        store_ && hearing_ != 0 && store_->load(hearing_).value_or(Hearing{}).annotations.empty();
    if (store_ && !reuse) {
        hearing_ = store_->create();
        if (hearing_ == 0)
            noteStoreFailure();
    }
    showHearing(Hearing{});
    saveCaseFields();
    logHost(t("nouvelle audience %1", "new hearing %1").arg(hearing_));
}

bool RecordingWindow::openHearing(qint64 id) {
    if (!store_ || !control_)
        return false;
    const std::optional<Hearing> h = store_->load(id);
    if (!h) {
        noteStoreFailure();
        return false;
    }
    control_->clearAll(); // commits the notes being typed into the hearing they belong to
    hearing_ = id;
    if (!store_->setCurrent(id))
        noteStoreFailure();
    showHearing(*h);
    logHost(t("audience %1 ouverte (%2 annotations)", "hearing %1 opened (%2 annotations)")
                .arg(id)
                .arg(h->annotations.size()));
    return true;
}

void RecordingWindow::chooseHearing() {
    if (!store_) {
        logHost(t("aucune audience enregistrée : %1", "no saved hearings: %1").arg(storeProblem_));
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("hearingPicker"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(t("Ouvrir une audience", "Open a hearing"));
    auto* layout = new QVBoxLayout(dialog);
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("hearings"));
    list->setMinimumWidth(520);
    for (const HearingSummary& s : store_->list()) {
        const QString when =
            QDateTime::fromMSecsSinceEpoch(s.changed).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        const QString caseNumber =
            s.fields.noDossier.isEmpty() ? t("(sans numéro)", "(no number)") : s.fields.noDossier;
        auto* item = new QListWidgetItem(
            QStringLiteral("%1   ·   %2   ·   %3   ·   %4")
                .arg(caseNumber, s.fields.userName,
                     t("%1 annotation(s)", "%1 annotation(s)").arg(s.annotations),
                     t("modifiée le %1", "changed %1").arg(when)),
            list);
        item->setData(Qt::UserRole, s.id);
        if (s.id == hearing_) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            list->setCurrentItem(item);
        }
    }
    if (!list->currentItem() && list->count() > 0)
        list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, dialog, &QDialog::accept);
    connect(dialog, &QDialog::accepted, this, [this, list] {
        if (const QListWidgetItem* item = list->currentItem()) {
            const qint64 id = item->data(Qt::UserRole).toLongLong();
            if (id != hearing_)
                openHearing(id);
        }
    });
    dialog->open();
}

void RecordingWindow::closeEvent(QCloseEvent* e) {
    // The notes being typed reach the control when the editor loses the focus.
    events_->setFocus();
    QApplication::processEvents();
    saveHearing();
    QMainWindow::closeEvent(e);
}

} // namespace orvane
