// The recording screen's hearings, kept by the hearing record: a station on the control records
// every change as the control makes it, the last hearing comes back at start-up, and the clerk
// can open a recorded hearing, follow one recorded elsewhere, or start a new one.
#include "recording_window.h"

#include "control/dalmure_p.h"
#include "platform/qt/dalmure_widget_p.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

namespace orvane {

using dalmure::qt::DalmureWidget;
namespace record = dalmure::record;

namespace {

// The hearing open last, by its identity in the record.
constexpr const char* kCurrentFile = "CurrentHearing";
// What earlier versions of the screen kept themselves, and its marker.
constexpr const char* kOldStore = "Hearings.db";
constexpr int kOldStoreId = 1330796104;

dalmure::Str str(const QString& s) {
    return s.toStdU16String();
}

QString qstr(const dalmure::Str& s) {
    return QString::fromStdU16String(s);
}

// The same identity each time for one row of one old file, so that an import cut short and run
// again adds nothing twice.
std::string importId(const QString& what) {
    return QCryptographicHash::hash(what.toUtf8(), QCryptographicHash::Md5).toHex().toStdString();
}

// The hearing open last, written whole or not at all.
void writeCurrent(const QString& folder, const QByteArray& id) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(kCurrentFile);
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(id) == id.size() && f.commit())
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString column(sqlite3_stmt* st, int i) {
    return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_text16(st, i)));
}

} // namespace

QString RecordingWindow::hearingId() const {
    return station_ ? QString::fromStdString(station_->hearing()) : QString();
}

void RecordingWindow::buildHearingMenu() {
    newHearingAction_ = new QAction(this);
    newHearingAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newHearingAction_, &QAction::triggered, this, &RecordingWindow::newHearing);
    openHearingAction_ = new QAction(this);
    openHearingAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openHearingAction_, &QAction::triggered, this, [this] { chooseHearing(false); });
    followHearingAction_ = new QAction(this);
    connect(followHearingAction_, &QAction::triggered, this, [this] { chooseHearing(true); });
    fileMenu_->insertActions(sampleAction_,
                             {newHearingAction_, openHearingAction_, followHearingAction_});
    fileMenu_->insertSeparator(sampleAction_);
    linkLabel_ = new QLabel(this);
    linkLabel_->setObjectName(QStringLiteral("recordLink"));
    statusBar()->addPermanentWidget(linkLabel_);
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(200);
    connect(pollTimer_, &QTimer::timeout, this, &RecordingWindow::pollRecord);
}

void RecordingWindow::retranslateHearingMenu() {
    newHearingAction_->setText(t("Nouvelle audience", "New hearing"));
    openHearingAction_->setText(t("Ouvrir une audience…", "Open a hearing…"));
    followHearingAction_->setText(
        t("Suivre une audience (lecture seule)…", "Follow a hearing (read-only)…"));
    showLink();
}

void RecordingWindow::showLink() {
    if (!linkLabel_ || !station_)
        return;
    const bool server = !connection_.empty();
    QString text;
    QString colour = QStringLiteral("#1b6e3c");
    switch (station_->link()) {
    case record::Link::Connected:
        text = server ? t("Serveur : connecté", "Server: connected")
                      : t("Registre local", "Local record");
        break;
    case record::Link::Offline:
        text = server ? t("Serveur : hors ligne (travail local)", "Server: offline (working here)")
                      : t("Registre inutilisable", "Record unusable");
        colour = QStringLiteral("#b3261e");
        break;
    case record::Link::Sending:
        text = t("Envoi de %1 modification(s)", "Sending %1 change(s)").arg(station_->pending());
        colour = QStringLiteral("#7a4e00");
        break;
    }
    if (following_)
        text += t(" · suivi en lecture seule", " · following, read-only");
    linkLabel_->setText(text);
    linkLabel_->setStyleSheet(QStringLiteral("color: %1; font-weight: 600;").arg(colour));
}

void RecordingWindow::attachStation(bool follow) {
    station_.reset();
    delete notifier_;
    notifier_ = nullptr;
    following_ = follow;
    record::StationOptions o;
    o.author = str(clerk_->text());
    o.station = str(QSysInfo::machineHostName());
    o.follow = follow;
    o.report = [this](const std::string& line) {
        logHost(QString::fromStdString(line));
        std::fprintf(stderr, "orvane-demo: %s\n", line.c_str());
    };
    o.linkChanged = [this](record::Link, std::size_t) { showLink(); };
    o.conflict = [this](const record::Conflict& c) {
        logEvent(
            QStringLiteral("RecordConflict"),
            QStringLiteral("AnnoIndex=%1  %2 (%3) / %4 (%5)")
                .arg(c.index)
                .arg(qstr(c.kept), qstr(c.keptStation), qstr(c.replaced), qstr(c.replacedStation)),
            QColor(0xB3, 0x26, 0x1E));
    };
    station_ = std::make_unique<record::Station>(
        dalmure::qt::controlOf(*control_),
        record::openStore(connection_, str(appFolder_), o.report), std::move(o));
    // A read-only hearing: nothing the clerk could change on it.
    control_->setNoModif(follow || modes_[2]->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{description_, addButton_})
        w->setEnabled(!follow);
    for (QPushButton* b : quick_)
        b->setEnabled(!follow);
    showLink();
}

void RecordingWindow::pollRecord() {
    if (!station_)
        return;
    const int before = control_ ? control_->annoCount() : 0;
    station_->poll();
    // The server's socket, watched while there is one (it changes when the station reconnects).
    const int fd = station_->descriptor();
    if (fd != (notifier_ ? int(notifier_->socket()) : -1)) {
        delete notifier_;
        notifier_ = nullptr;
        if (fd >= 0) {
            notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, &RecordingWindow::pollRecord,
                    Qt::QueuedConnection);
        }
    }
    if (control_ && control_->annoCount() != before)
        refreshTimeline();
    showLink();
}

void RecordingWindow::openRecord() {
    connection_ = record::configuredServer(str(appFolder_));
    importHearings();
    attachStation(!options_.hearing.isEmpty() && options_.follow);
    // The last hearing (or the one asked for) is in the control again before a session left
    // behind is offered: a recovery then adds only what the record does not hold.
    QFile current(appFolder_ + QLatin1Char('/') + QLatin1String(kCurrentFile));
    QString last = options_.hearing;
    if (last.isEmpty() && current.open(QIODevice::ReadOnly))
        last = QString::fromLatin1(current.read(64)).trimmed();
    if (!last.isEmpty() && station_->open(last.toStdString())) {
        showOpened();
        logHost(t("audience %1 rouverte (%2 annotations)", "hearing %1 reopened (%2 annotations)")
                    .arg(last)
                    .arg(control_->annoCount()));
    } else {
        newHearing();
    }
    pollTimer_->start();
    refreshRecoveryBar();
}

// Hearings.db of an earlier version of the screen: its hearings go into the record once (the
// same identities each time, so that an import cut short adds nothing twice when run again),
// then the file is renamed Hearings.db.imported and left for the user. A file that is not such a
// database is left as it is.
void RecordingWindow::importHearings() {
    const QString path = appFolder_ + QLatin1Char('/') + QLatin1String(kOldStore);
    const QFileInfo info(path);
    if (!info.exists() || info.isSymLink() || !info.isFile())
        return;
    sqlite3* db = nullptr;
    auto fail = [&](const QString& why) {
        logHost(t("%1 non importé : %2", "%1 not imported: %2").arg(kOldStore, why));
        sqlite3_close_v2(db); // freed once its statements are finalized
    };
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    auto prepare = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        return std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>(st, sqlite3_finalize);
    };
    auto marker = prepare("PRAGMA application_id");
    if (!marker || sqlite3_step(marker.get()) != SQLITE_ROW ||
        sqlite3_column_int(marker.get(), 0) != kOldStoreId)
        return fail(t("pas une base des audiences", "not a hearings database"));
    const std::unique_ptr<record::Store> store =
        record::openStore(connection_, str(appFolder_), {});
    auto hearings = prepare("SELECT id, no_dossier, date_created, user_name, created, "
                            "(SELECT hearing FROM current) = id FROM hearings ORDER BY id");
    auto rows = prepare("SELECT position, time, description, notes FROM annotations WHERE "
                        "hearing = ? ORDER BY position");
    if (!hearings || !rows)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));
    const QString origin =
        QStringLiteral("%1 %2 ").arg(path).arg(info.birthTime().toMSecsSinceEpoch());
    QString current;
    int count = 0;
    while (sqlite3_step(hearings.get()) == SQLITE_ROW) {
        const qint64 old = sqlite3_column_int64(hearings.get(), 0);
        const QString key = origin + QString::number(old);
        record::Change h;
        h.id = importId(key);
        h.hearing = importId(key + QStringLiteral(" hearing"));
        h.kind = record::Kind::Hearing;
        h.fields = {{},
                    str(column(hearings.get(), 1)),
                    str(column(hearings.get(), 2)),
                    str(column(hearings.get(), 3)),
                    {},
                    str(QSysInfo::machineHostName()),
                    sqlite3_column_int64(hearings.get(), 4)};
        h.station = h.fields.station;
        h.at = h.fields.createdAt;
        bool ok = store->apply(h).has_value();
        sqlite3_bind_int64(rows.get(), 1, old);
        while (ok && sqlite3_step(rows.get()) == SQLITE_ROW) {
            const QString row = key + QLatin1Char(' ') + column(rows.get(), 0);
            record::Change a = h;
            a.kind = record::Kind::Add;
            a.id = importId(row);
            a.annotation = importId(row + QStringLiteral(" annotation"));
            a.time = str(column(rows.get(), 1));
            a.description = str(column(rows.get(), 2));
            ok = store->apply(a).has_value();
            if (ok && sqlite3_column_bytes16(rows.get(), 3) > 0) {
                a.kind = record::Kind::Notes;
                a.id = importId(row + QStringLiteral(" notes"));
                a.notes = str(column(rows.get(), 3));
                ok = store->apply(a).has_value();
            }
        }
        sqlite3_reset(rows.get());
        if (!ok)
            return fail(t("registre inaccessible", "the record cannot be reached"));
        if (sqlite3_column_int(hearings.get(), 5) == 1)
            current = QString::fromStdString(h.hearing);
        ++count;
    }
    hearings.reset();
    rows.reset();
    marker.reset();
    sqlite3_close(db);
    if (!current.isEmpty())
        writeCurrent(appFolder_, current.toLatin1());
    QFile::rename(path, path + QStringLiteral(".imported"));
    for (const char* side : {"-wal", "-shm"})
        QFile::rename(path + QLatin1String(side), path + QStringLiteral(".imported") + side);
    logHost(t("%1 audience(s) importée(s) de %2", "%1 hearing(s) imported from %2")
                .arg(count)
                .arg(kOldStore));
}

void RecordingWindow::rememberHearing() {
    if (!station_ || station_->hearing().empty())
        return;
    writeCurrent(appFolder_, QByteArray::fromStdString(station_->hearing()));
    if (control_)
        control_->setHearingId(hearingId());
}

void RecordingWindow::saveCaseFields() {
    if (station_ && restoring_ == 0)
        station_->caseFieldsChanged();
}

void RecordingWindow::showOpened() {
    ++restoring_;
    stopPlayback();
    caseNumber_->setText(control_->noDossier());
    clerk_->setText(control_->userName());
    // The date as the control prints it, in either language; the screen's date otherwise.
    const QString printed = control_->dateCreated();
    QDate date =
        QLocale(QLocale::French, QLocale::Canada).toDate(printed, QStringLiteral("d MMMM yyyy"));
    if (!date.isValid())
        date = QLocale(QLocale::English, QLocale::Canada)
                   .toDate(printed, QStringLiteral("MMMM d, yyyy"));
    {
        const QSignalBlocker keep(date_);
        date_->setDate(date.isValid() ? date : QDate::currentDate());
    }
    --restoring_;
    // The recorder goes on from the hearing's last annotation, its first one the start of the
    // recording, as it stood when the hearing was left.
    int first = -1, last = -1;
    for (int i = 0; i < control_->annoCount(); ++i) {
        const QTime at = QTime::fromString(control_->annoTime(i), QStringLiteral("HH:mm:ss"));
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
    rememberHearing();
    refreshTimeline();
}

void RecordingWindow::newHearing() {
    if (!control_)
        return;
    // An empty hearing is used as it is.
    if (station_ && !station_->hearing().empty() && !following_ && control_->annoCount() == 0)
        return;
    // Notes being typed go into the hearing they belong to before the list is emptied.
    dalmure::qt::controlOf(*control_).commitPendingEdit();
    pollRecord();
    station_.reset();
    control_->clearAll();
    ++restoring_;
    caseNumber_->clear();
    {
        const QSignalBlocker keep(date_);
        date_->setDate(QDate::currentDate());
    }
    --restoring_;
    applyCaseFields();
    attachStation(false);
    if (station_->create().empty())
        logHost(t("audience non enregistrée : Outbox.db", "hearing not recorded: Outbox.db"));
    rememberHearing();
    pollRecord();
    origin_ = QTime::currentTime().msecsSinceStartOfDay() / 1000;
    recordedMs_ = 0;
    if (runStart_)
        runStart_ = nowMs();
    tick();
    refreshTimeline();
    logHost(t("nouvelle audience %1", "new hearing %1").arg(hearingId()));
}

bool RecordingWindow::openHearing(const QString& id, bool follow) {
    if (!control_)
        return false;
    dalmure::qt::controlOf(*control_).commitPendingEdit();
    pollRecord();
    const QString was = hearingId();
    attachStation(follow);
    if (!station_->open(id.toStdString())) {
        logHost(t("audience %1 introuvable", "hearing %1 not found").arg(id));
        // Back on the hearing that was open, as it was.
        attachStation(false);
        if (!was.isEmpty())
            station_->open(was.toStdString());
        return false;
    }
    showOpened();
    logHost(t("audience %1 ouverte (%2 annotations)", "hearing %1 opened (%2 annotations)")
                .arg(id)
                .arg(control_->annoCount()));
    return true;
}

void RecordingWindow::chooseHearing(bool follow) {
    const std::optional<std::vector<record::Hearing>> hearings =
        station_ ? station_->store().hearings() : std::nullopt;
    if (!hearings) {
        logHost(t("registre inaccessible", "the record cannot be reached"));
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("hearingPicker"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(follow ? t("Suivre une audience", "Follow a hearing")
                                  : t("Ouvrir une audience", "Open a hearing"));
    auto* layout = new QVBoxLayout(dialog);
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("hearings"));
    list->setMinimumWidth(520);
    std::vector<record::Hearing> sorted = *hearings;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.createdAt > b.createdAt; });
    for (const record::Hearing& h : sorted) {
        const QString when = QDateTime::fromMSecsSinceEpoch(h.createdAt)
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        const QString caseNumber =
            h.noDossier.empty() ? t("(sans numéro)", "(no number)") : qstr(h.noDossier);
        auto* item = new QListWidgetItem(QStringLiteral("%1   ·   %2   ·   %3   ·   %4")
                                             .arg(caseNumber, qstr(h.userName),
                                                  qstr(h.room.empty() ? h.station : h.room),
                                                  t("créée le %1", "created %1").arg(when)),
                                         list);
        item->setData(Qt::UserRole, QString::fromStdString(h.id));
        if (h.id == station_->hearing()) {
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
    connect(dialog, &QDialog::accepted, this, [this, list, follow] {
        if (const QListWidgetItem* item = list->currentItem()) {
            const QString id = item->data(Qt::UserRole).toString();
            if (id != hearingId() || follow != following_)
                openHearing(id, follow);
        }
    });
    dialog->open();
}

void RecordingWindow::closeEvent(QCloseEvent* e) {
    if (control_)
        dalmure::qt::controlOf(*control_).commitPendingEdit();
    pollRecord();
    QMainWindow::closeEvent(e);
}

} // namespace orvane
