// The recording screen driven with real input on a running event loop.
#include "recording_window.h"
#include "recovery_bar.h"
#include "sample_hearing.h"

#include "journal/journal.h"
#include "pg_cluster.h"
#include "platform/qt/dalmure_widget_p.h"
#include "support/ini_reader.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace orvane;
using namespace Qt::StringLiterals;
using dalmure::platform::ButtonId;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void appendFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(text);
}

// The annotations' times in seconds since midnight, in time order, as the time line marks them.
std::vector<int> timesOf(dalmure::qt::DalmureWidget& control) {
    std::vector<int> seconds;
    for (int i = 0; i < control.annoCount(); ++i)
        seconds.push_back(QTime::fromString(control.annoTime(i)).msecsSinceStartOfDay() / 1000);
    return seconds;
}

QStringList listOf(dalmure::qt::DalmureWidget& c) {
    QStringList out;
    for (int i = 0; i < c.annoCount(); ++i)
        out << c.annoTime(i) + u'|' + c.annoDesc(i) + u'|' + c.annoData(i);
    return out;
}

struct Folder {
    QTemporaryDir dir;
    QString path() const { return dir.path() + u"/app"_s; }
    bool prepare() { return prepareAppFolder(path(), findDataFolder(), nullptr, nullptr); }
};

// Recording from a fixed time of day (no hearing crosses midnight), the minutes opened by nothing.
WindowOptions morning() {
    WindowOptions options;
    options.startsAt = QTime(9, 0);
    options.htmlProgram = QStandardPaths::findExecutable(u"true"_s).toStdU16String();
    return options;
}

std::unique_ptr<RecordingWindow> openWindow(const Folder& folder,
                                            WindowOptions options = morning()) {
    auto window = std::make_unique<RecordingWindow>(folder.path(), std::move(options));
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()) ||
        !QTest::qWaitFor([&] { return window->control()->isVisible(); }))
        return nullptr;
    return window;
}

class OrvaneWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.prepare());
        ASSERT_TRUE(window = openWindow(folder));
    }
    dalmure::qt::DalmureWidget& control() { return *window->control(); }
    dalmure::qt::QtPlatform& p() { return dalmure::qt::platformOf(control()); }
    Folder folder;
    std::unique_ptr<RecordingWindow> window;
};

void pick(RecordingWindow& w, QAction* action, const QString& id) {
    action->trigger();
    auto* picker = w.findChild<QDialog*>(u"hearingPicker"_s);
    ASSERT_TRUE(picker && QTest::qWaitForWindowExposed(picker));
    auto* list = picker->findChild<QListWidget*>(u"hearings"_s);
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == id)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(i)).center());
    ASSERT_EQ(list->currentItem()->data(Qt::UserRole).toString(), id);
    QTest::mouseClick(picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open),
                      Qt::LeftButton);
}

// A journal as a session killed in the middle of a hearing leaves it: destroyed without closing.
std::string leaveJournal(const QString& appFolder, const QString& caseNumber,
                         std::int64_t lastChange = 0) {
    dalmure::journal::JournalOptions options;
    options.now = [lastChange] { return lastChange; };
    auto j = dalmure::journal::Journal::start(appFolder.toStdU16String(), "Recovery",
                                              std::move(options));
    if (!j->working())
        return {};
    j->caseField(dalmure::journal::CaseField::NoDossier, caseNumber.toStdU16String());
    j->added(0, u"09:30:00", u"Ouverture de l'audience", u"");
    j->added(1, u"09:41:10", u"Témoin assermenté", u"");
    return j->id();
}

} // namespace

// The INI file in Windows-1252 with CR LF; later runs put back only what is missing.
TEST(OrvaneAppFolder, PreparedOnceAndLanguageRewrittenAlone) {
    Folder f;
    QStringList created;
    ASSERT_TRUE(prepareAppFolder(f.path(), findDataFolder(), &created, nullptr));
    EXPECT_EQ(created.size(), 5);
    const QString path = f.path() + u"/ORClient.INI"_s;
    appendFile(path, "[Extra]\r\nKey=kept\r\n");
    const QByteArray original = readBytes(path);
    EXPECT_TRUE(original.contains("Langue=Fran\347ais\r\n"));
    ASSERT_TRUE(setIniLanguage(f.path(), Language::English));
    EXPECT_EQ(iniLanguage(f.path()), Language::English);
    ASSERT_TRUE(setIniLanguage(f.path(), Language::French));
    EXPECT_EQ(readBytes(path), original);
    QFile::remove(f.path() + u"/pvTemplateENG.html"_s);
    created.clear();
    ASSERT_TRUE(prepareAppFolder(f.path(), findDataFolder(), &created, nullptr));
    EXPECT_EQ(created, QStringList{f.path() + u"/pvTemplateENG.html"_s});
    EXPECT_EQ(dalmure::ReadIni(u"Extra", u"Key", u"<none>", path.toStdU16String()), u"kept");
}

// The recorder runs on a clock the test moves; input events carry their time on that clock.
TEST(OrvaneQuickAnnotation, StampedWithTheTimeOfThePressNotOfItsHandling) {
    Folder folder;
    ASSERT_TRUE(folder.prepare());
    qint64 now = 5'000'000;
    WindowOptions options = morning();
    options.clock = [&now] { return now; };
    options.eventTimesOnClock = true;
    auto window = openWindow(folder, options);
    ASSERT_TRUE(window);
    auto& control = *window->control();
    const qint64 start = now;
    const int startSecond = window->recordingSecond();
    auto at = [&](qint64 t) {
        return QTime(0, 0).addSecs(int((startSecond + (t - start) / 1000) % 86400)).toString();
    };
    // Handled at once; pressed at 20 s and handled 7 s later; with no time, or one not on the
    // clock (an hour old, in the future): handling time; just before the 32-bit clock wraps.
    const qint64 wrap = (qint64(3) << 32) + 2000;
    for (auto [handled, stamp, stamped] :
         std::initializer_list<std::tuple<qint64, quint64, qint64>>{
             {start + 12'000, quint32(start + 12'000), start + 12'000},
             {start + 27'000, quint32(start + 20'000), start + 20'000},
             {start + 28'000, 0, start + 28'000},
             {start + 28'000, quint32(start + 28'000 - 3'600'000), start + 28'000},
             {start + 28'000, quint64(start + 33'000), start + 28'000},
             {wrap, quint32(wrap - 5000), wrap - 5000}}) {
        now = handled;
        const int before = control.annoCount();
        // As the display server delivers a key: first offered as a shortcut.
        qt_sendShortcutOverrideEvent(window->windowHandle(), stamp, Qt::Key_F2, Qt::NoModifier);
        ASSERT_EQ(control.annoCount(), before + 1);
        EXPECT_EQ(control.annoTime(control.selected()), at(stamped)) << stamp;
        EXPECT_EQ(control.annoDesc(control.selected()), window->quickLabel(0));
    }
    // The mouse on a quick button: the time of its press, not of its release.
    QWidget* button = window->quickButton(5);
    const QPointF centre = QRectF(button->rect()).center();
    for (auto [type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                 std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
        QMouseEvent e(type, centre, button->mapToGlobal(centre), Qt::LeftButton, buttons, {});
        e.setTimestamp(quint32(now));
        QApplication::sendEvent(button, &e);
        now += 3000;
    }
    ASSERT_EQ(control.annoCount(), 7);
    EXPECT_EQ(control.annoDesc(control.selected()), window->quickLabel(5));
    EXPECT_EQ(control.annoTime(control.selected()), at(now - 6000));
    // The host's own add, with no press behind it, is stamped now.
    window->addAnnotation(u"Reprise"_s);
    EXPECT_EQ(control.annoTime(control.selected()), at(now));
    EXPECT_EQ(window->timelineMarks(), timesOf(control));
}

// Two hours in time order, in the apostrophe the control types and in what its 8-bit files keep.
TEST_F(OrvaneWindow, SampleHearingFillsTheControl) {
    window->sampleAction()->trigger();
    const SampleHearing h = sampleHearing(window->language(), QChar(0x2019));
    QStringList expected;
    for (std::size_t i = 0; i < h.annotations.size(); ++i) {
        const SampleAnnotation& a = h.annotations[i];
        expected << a.time + u'|' + a.description + u'|' + a.notes;
        EXPECT_TRUE(i == 0 || a.time > h.annotations[i - 1].time) << i;
        const std::u16string both = (a.description + a.notes).toStdU16String();
        EXPECT_FALSE(a.notes.contains(u'\'') || a.notes.contains(u'`')) << i;
        EXPECT_EQ(dalmure::fromCp1252(dalmure::toCp1252(both)), both);
    }
    EXPECT_EQ(listOf(control()), expected);
    EXPECT_EQ(window->recordingSecond(), h.end.msecsSinceStartOfDay() / 1000);
}

// Play moves the playhead from the selected annotation's time; NoPlay withdraws the command.
TEST_F(OrvaneWindow, HearingIsRecordedPlayedAndReopenedAtStartUp) {
    window->setRecording(false);
    window->advanceRecording(3 * 3600);
    window->caseNumberEdit()->setText(u"500-01-42"_s);
    emit window->caseNumberEdit()->editingFinished();
    const QString noon = window->recordingTime();
    for (const char* d : {"Ouverture", "Même seconde", "Erreur"}) {
        window->addAnnotation(QString::fromUtf8(d));
        QTest::keyClicks(p().editorWidget(), u"Ligne un"_s);
        QTest::keyClick(p().editorWidget(), Qt::Key_Return);
        QTest::keyClicks(p().editorWidget(), u"ligne deux"_s);
    }
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        bool answered = false;
        window->setConfirmDriver([&answered, answer](QMessageBox* box) {
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
            answered = true;
        });
        QTest::mouseClick(p().buttonWidget(ButtonId::Delete), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }));
    }
    ASSERT_EQ(control().annoCount(), 2);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->linkLabel()->text() == u"Registre local"_s; }));
    const QString id = window->hearingId();
    window->switchLanguage(Language::English);
    window->addAnnotation(u"Pièce P-1"_s);
    const QStringList shown = listOf(control());
    EXPECT_EQ(shown[1], noon + u"|Même seconde|Ligne un\r\nligne deux"_s);
    const int at = window->recordingSecond();
    window->advanceRecording(600);
    QTest::mouseClick(p().buttonWidget(ButtonId::Play), Qt::LeftButton);
    ASSERT_EQ(window->playhead(), std::optional<int>(at));
    EXPECT_TRUE(QTest::qWaitFor([&] { return *window->playhead() >= at + 1; }, 3000));
    window->modeBox(0)->click();
    EXPECT_FALSE(p().buttonShown(ButtonId::Play));

    window.reset();
    ASSERT_TRUE(window = openWindow(folder));
    EXPECT_EQ(window->hearingId(), id);
    EXPECT_EQ(listOf(control()), shown);
    EXPECT_EQ(window->caseNumberEdit()->text(), u"500-01-42"_s);
    EXPECT_NEAR(window->recordingSecond(), timesOf(control()).back() + 2.5, 2.5);
    EXPECT_EQ(window->timelineMarks(), timesOf(control()));
}

// Its last hearing open; a Hearings.db that is no such database is left alone.
TEST(OrvaneRecord, EarlierHearingsAreImportedOnce) {
    Folder folder, other;
    ASSERT_TRUE(folder.prepare() && other.prepare());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(folder.path() + "/Hearings.db").constData(), &db),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, R"(PRAGMA application_id = 1330796104;
        CREATE TABLE hearings(id, no_dossier, date_created, user_name, hearing_date, created, x);
        CREATE TABLE annotations(hearing, position, time, description, notes);
        CREATE TABLE current(one, hearing); INSERT INTO current VALUES (1, 2);
        INSERT INTO hearings VALUES (1, '500-01-1', '', 'A', '', 1, 1), (2, '500-01-2', '', '', '', 2, 2);
        INSERT INTO annotations VALUES (2, 0, '10:00:00', 'Ouverture', 'Juge Roy'),
          (2, 1, '10:00:00', 'Témoin', ''), (1, 0, '09:00:00', 'Autre', ''))",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    appendFile(other.path() + "/Hearings.db", "plain text\n");
    for (int run = 0; run < 2; ++run) {
        auto window = openWindow(folder);
        ASSERT_TRUE(window);
        EXPECT_EQ(listOf(*window->control()),
                  (QStringList{"10:00:00|Ouverture|Juge Roy", "10:00:00|Témoin|"}));
        EXPECT_EQ(window->control()->noDossier(), u"500-01-2"_s);
        EXPECT_EQ(window->station()->store().hearings()->size(), 2u);
    }
    EXPECT_TRUE(QFileInfo::exists(folder.path() + "/Hearings.db.imported"));
    ASSERT_TRUE(openWindow(other));
    EXPECT_EQ(readBytes(other.path() + "/Hearings.db"), QByteArray("plain text\n"));
}

// The chambers follow read-only; without the server the courtroom works on and restarts.
TEST(OrvaneRecord, FollowedLiveAndOfflineWorkArrivesOnce) {
    dalmure::test::PgCluster server;
    Folder room, chambers;
    for (Folder* f : {&room, &chambers}) {
        ASSERT_TRUE(f->prepare());
        appendFile(f->path() + u"/ORClient.INI"_s,
                   QByteArray::fromStdString("[Record]\r\nServer=" + server.connection() + "\r\n"));
    }
    auto a = openWindow(room), b = openWindow(chambers);
    ASSERT_TRUE(a && b);
    const QString connected = u"Serveur : connecté"_s;
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == connected; }));
    a->addAnnotation(u"Ouverture"_s);
    pick(*b, b->followHearingAction(), a->hearingId());
    EXPECT_TRUE(b->following() && b->control()->noModif() && !b->quickButton(0)->isEnabled());
    EXPECT_TRUE(b->linkLabel()->text().endsWith(u"suivi en lecture seule"_s));
    a->addAnnotation(u"Témoin"_s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listOf(*b->control()) == listOf(*a->control()); }));

    server.stop();
    a->addAnnotation(u"Pièce P-1"_s);
    const QString offline = u"Serveur : hors ligne (travail local)"_s;
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == offline; }));
    const QStringList shown = listOf(*a->control());
    a.reset();
    ASSERT_TRUE(a = openWindow(room));
    EXPECT_EQ(listOf(*a->control()), shown);
    EXPECT_EQ(a->linkLabel()->text(), offline);
    server.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return listOf(*b->control()) == shown; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == connected; }));
    EXPECT_EQ(a->station()->store().changesAfter(a->hearingId().toStdString(), 0)->size(), 4u);
}

// Enter on a hit opens its hearing with its notes open; past minutes hold what was there then.
TEST_F(OrvaneWindow, SearchHistoryAndMinutesAsOfAPastTime) {
    window->addAnnotation(u"Témoin"_s);
    QTest::keyClicks(p().editorWidget(), u"Mme Lavoie identifie la voiture"_s);
    window->addAnnotation(u"Ouverture"_s);
    const QString first = window->hearingId();
    const qint64 then = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000 + 1000;
    QTest::qWait(int(then - QDateTime::currentMSecsSinceEpoch()) + 100);
    window->addAnnotation(u"Suspension"_s);
    window->newHearingAction()->trigger();
    window->addAnnotation(u"Autre dossier"_s);
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto* words = window->findChild<QLineEdit*>(u"searchWords"_s);
    auto* hits = window->findChild<QListWidget*>(u"searchHits"_s);
    ASSERT_TRUE(words && hits);
    for (auto [key, count] :
         {std::pair{Qt::Key_V, 1}, {Qt::Key_O, 1}, {Qt::Key_X, 0}, {Qt::Key_Backspace, 1}}) {
        QTest::keyClick(words, key);
        EXPECT_EQ(hits->count(), count) << words->text().toStdString();
    }
    QTest::keyClick(words, Qt::Key_Return);
    EXPECT_EQ(window->hearingId(), first);
    EXPECT_EQ(control().selected(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == p().editorWidget(); }));
    QTest::keyClicks(p().editorWidget(), u" rouge"_s);
    window->addAnnotation(u"Reprise"_s); // commits the notes

    p().setModalDriver([&](QWidget* menu) {
        static_cast<QMenu*>(menu)->setActiveAction(window->historyAction());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(p().gridView()->viewport(), Qt::RightButton, {}, p().cellRect(1, 1).center());
    auto* history = window->findChild<QListWidget*>(u"historyEntries"_s);
    ASSERT_TRUE(history && history->count() == 3); // added, notes, notes again
    EXPECT_TRUE(
        history->item(2)->text().endsWith(u"voiture → Mme Lavoie identifie la voiture rouge"_s));

    const QString page = folder.path() + u"/pvData.html"_s;
    QFile::remove(page);
    window->minutesAsOfAction()->trigger();
    auto* when = window->findChild<QDateTimeEdit*>(u"asOfTime"_s);
    ASSERT_NE(when, nullptr);
    when->setDateTime(QDateTime::fromMSecsSinceEpoch(then));
    QTest::keyClick(when, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(page); }));
    const QByteArray minutes = readBytes(page);
    EXPECT_TRUE(minutes.contains("Ouverture") && minutes.contains("identifie la voiture"));
    EXPECT_FALSE(minutes.contains("Suspension") || minutes.contains("rouge"));
}

// The others are counted; a journal that cannot be read can only be discarded.
TEST(OrvaneRecovery, NewestFirstDiscardAsksAndDamagedCanOnlyBeDiscarded) {
    Folder folder;
    ASSERT_TRUE(folder.prepare());
    const std::string older = leaveJournal(folder.path(), "500-01-1", 1'700'000'000'000);
    const std::string newer = leaveJournal(folder.path(), "500-01-2", 1'700'000'600'000);
    ASSERT_FALSE(older.empty() || newer.empty());
    const QString damaged = folder.path() + "/Recovery/" + QString::fromStdString(older) + ".db";
    const QString newest = folder.path() + "/Recovery/" + QString::fromStdString(newer) + ".db";
    QFile::resize(damaged, 0);
    appendFile(damaged, QByteArray(4096, '\x5A'));
    for (const char* side : {"-wal", "-shm"})
        QFile::remove(damaged + side);
    auto window = openWindow(folder);
    ASSERT_TRUE(window);
    RecoveryBar& bar = *window->recoveryBar();
    ASSERT_TRUE(bar.isVisible());
    EXPECT_TRUE(bar.message()->text().contains(u"500-01-2"_s) &&
                bar.message()->text().contains(u"1 autre(s) session(s)"_s));
    for (auto answer : {QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes}) {
        if (answer == QMessageBox::Yes && !QFileInfo::exists(newest)) {
            EXPECT_TRUE(bar.offered() && bar.offered()->damaged &&
                        !bar.recoverButton()->isVisible());
        }
        window->setConfirmDriver(
            [answer](QMessageBox* box) { QTest::mouseClick(box->button(answer), Qt::LeftButton); });
        QTest::mouseClick(bar.discardButton(), Qt::LeftButton);
        EXPECT_EQ(QFileInfo::exists(newest), answer == QMessageBox::No);
    }
    EXPECT_FALSE(QFileInfo::exists(damaged));
    EXPECT_FALSE(bar.isVisible());
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
