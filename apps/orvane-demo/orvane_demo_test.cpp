// The recording screen: its application folder, the sample hearing, and the host's answers to
// the control (delete confirmation, playback, language switch, modes, recovery of a session
// that ended without closing).
#include "app_folder.h"
#include "recording_window.h"
#include "recovery_bar.h"
#include "sample_hearing.h"

#include "journal/journal.h"
#include "pg_cluster.h"

#include "platform/qt/dalmure_widget_p.h"
#include "support/ini_reader.h"
#include "support/text.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
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
#include <sys/stat.h>

#include <algorithm>
#include <vector>

using namespace orvane;
using dalmure::platform::ButtonId;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

dalmure::Str ini(const QString& folder, const char16_t* section, const char16_t* key) {
    return dalmure::ReadIni(section, key, u"<none>",
                            (folder + QStringLiteral("/ORClient.INI")).toStdU16String());
}

// The annotations' times in seconds since midnight, in time order (the time line's ticks).
std::vector<int> timesOf(dalmure::qt::DalmureWidget& control) {
    std::vector<int> seconds;
    for (int i = 0; i < control.annoCount(); ++i)
        seconds.push_back(QTime::fromString(control.annoTime(i), QStringLiteral("HH:mm:ss"))
                              .msecsSinceStartOfDay() /
                          1000);
    std::sort(seconds.begin(), seconds.end());
    return seconds;
}

struct Folder {
    QTemporaryDir dir;
    QString path() const { return dir.path() + QStringLiteral("/app"); }
    bool prepare() { return prepareAppFolder(path(), findDataFolder(), nullptr, nullptr); }
};

} // namespace

TEST(OrvaneAppFolder, FirstRunPreparesEverythingAndLaterRunsKeepTheUsersFiles) {
    Folder f;
    ASSERT_FALSE(findDataFolder().isEmpty());
    QStringList created;
    QString error;
    ASSERT_TRUE(prepareAppFolder(f.path(), findDataFolder(), &created, &error))
        << error.toStdString();
    EXPECT_EQ(created.size(), 5);
    // Windows-1252 with CR LF, read back by the control's reader.
    const QByteArray bytes = readBytes(f.path() + QStringLiteral("/ORClient.INI"));
    EXPECT_TRUE(bytes.contains("Langue=Fran\xE7"
                               "ais\r\n"));
    EXPECT_EQ(ini(f.path(), u"CONFIG", u"LANGUE"), u"Français");
    EXPECT_EQ(ini(f.path(), u"LNG", u"LNG2"), u"English|Anglais");
    EXPECT_EQ(ini(f.path(), u"PV", u"AnnoGras"), u"1");
    EXPECT_EQ(readBytes(f.path() + QStringLiteral("/ORLngClient.MDB")).size(), 126976);

    QFile user(f.path() + QStringLiteral("/ORClient.INI"));
    ASSERT_TRUE(user.open(QIODevice::Append));
    user.write("[Extra]\r\nKey=kept\r\n");
    user.close();
    QFile::remove(f.path() + QStringLiteral("/pvTemplateENG.html"));
    created.clear();
    ASSERT_TRUE(prepareAppFolder(f.path(), findDataFolder(), &created, nullptr));
    EXPECT_EQ(created, QStringList{f.path() + QStringLiteral("/pvTemplateENG.html")});
    EXPECT_EQ(ini(f.path(), u"Extra", u"Key"), u"kept");

    // Nothing to copy from: the missing file is named.
    QFile::remove(f.path() + QStringLiteral("/ORLngClient.MDB"));
    EXPECT_FALSE(prepareAppFolder(f.path(), QString(), nullptr, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ORLngClient.MDB")));
}

TEST(OrvaneAppFolder, LanguageSwitchRewritesOnlyTheLanguage) {
    Folder f;
    ASSERT_TRUE(f.prepare());
    const QString path = f.path() + QStringLiteral("/ORClient.INI");
    const QByteArray original = readBytes(path);
    EXPECT_EQ(iniLanguage(f.path()), Language::French);
    ASSERT_TRUE(setIniLanguage(f.path(), Language::English));
    EXPECT_EQ(iniLanguage(f.path()), Language::English);
    QByteArray english = readBytes(path);
    EXPECT_TRUE(english.contains("\r\nLangue=English\r\n"));
    english.replace("Langue=English", "Langue=Fran\xE7"
                                      "ais");
    EXPECT_EQ(english, original);
    ASSERT_TRUE(setIniLanguage(f.path(), Language::French));
    EXPECT_EQ(readBytes(path), original);

    // A file without the key, the key in another section, a section written in capitals.
    for (const QByteArray& text :
         {QByteArray("[PV]\r\nLangue=x\r\n"),
          QByteArray("[CONFIG]\r\nPVStyle=2\r\n\r\n[PV]\r\nPADX=4\r\n"), QByteArray()}) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
        out.close();
        ASSERT_TRUE(setIniLanguage(f.path(), Language::English));
        EXPECT_EQ(iniLanguage(f.path()), Language::English) << text.toStdString();
        if (text.contains("PADX")) {
            EXPECT_EQ(ini(f.path(), u"PV", u"PADX"), u"4");
        }
        if (text.startsWith("[PV]")) {
            EXPECT_EQ(ini(f.path(), u"PV", u"Langue"), u"x");
        }
    }
}

TEST(OrvaneSampleHearing, TwoHoursOfOrderedAnnotationsWithNotesInBothLanguages) {
    for (Language l : {Language::French, Language::English}) {
        const SampleHearing h = sampleHearing(l);
        ASSERT_GE(h.annotations.size(), 140u);
        ASSERT_LE(h.annotations.size(), 160u);
        QString previous;
        for (const SampleAnnotation& a : h.annotations) {
            const QTime t = QTime::fromString(a.time, QStringLiteral("HH:mm:ss"));
            ASSERT_TRUE(t.isValid()) << a.time.toStdString();
            EXPECT_GE(t, h.start);
            EXPECT_LE(t, h.end);
            EXPECT_GT(a.time, previous); // ordinal order is time order for HH:MM:SS
            previous = a.time;
            EXPECT_FALSE(a.description.isEmpty());
            EXPECT_LE(a.description.size(), 50);
            EXPECT_FALSE(a.notes.isEmpty());
            EXPECT_FALSE(a.notes.contains(QLatin1Char('%')));
            // Every text survives the control's 8-bit files.
            for (const QString& s : {a.description, a.notes})
                EXPECT_EQ(dalmure::fromCp1252(dalmure::toCp1252(s.toStdU16String())),
                          s.toStdU16String())
                    << s.toStdString();
        }
        EXPECT_GT(QTime::fromString(h.annotations.back().time).msecsSinceStartOfDay() / 1000 -
                      QTime::fromString(h.annotations.front().time).msecsSinceStartOfDay() / 1000,
                  105 * 60);
    }
    EXPECT_NE(sampleHearing(Language::French).annotations[0].description,
              sampleHearing(Language::English).annotations[0].description);
}

// Windows under test start recording at a fixed time of day, so that no hearing of a test
// crosses midnight, whenever the suite runs.
WindowOptions morning() {
    WindowOptions options;
    options.startsAt = QTime(9, 0);
    options.htmlProgram = QStandardPaths::findExecutable(QStringLiteral("true")).toStdU16String();
    return options;
}

// The recording screen on a folder, shown once its control is; none when it did not show.
std::unique_ptr<RecordingWindow> openWindow(const Folder& folder) {
    auto window = std::make_unique<RecordingWindow>(folder.path(), morning());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) ||
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

TEST_F(OrvaneWindow, QuickAnnotationsAreStampedWithTheRecordingTime) {
    window->setRecording(false);
    window->advanceRecording(3600);
    const QString at = window->recordingTime();
    QTest::mouseClick(window->quickButton(3), Qt::LeftButton);
    ASSERT_EQ(control().annoCount(), 1);
    EXPECT_EQ(control().annoTime(0), at);
    EXPECT_EQ(control().annoDesc(0), window->quickLabel(3));
    window->advanceRecording(5);
    window->addAnnotation(QStringLiteral("Témoin"));
    EXPECT_EQ(control().annoTime(1), window->recordingTime());
    // The control's own clock follows the recording (entry style 2 stamps with it).
    const auto now = p().clock().now();
    EXPECT_EQ(QTime(now.hour, now.minute, now.second).toString(QStringLiteral("HH:mm:ss")),
              window->recordingTime());
}

// A quick annotation carries the recording time at which its key (or the mouse on its button)
// was pressed, however long the press waited while the window was busy. The recorder runs on
// a clock the test moves, and input events carry their time on that clock, as a display
// server's do.
TEST(OrvaneQuickAnnotation, StampedWithTheTimeOfThePressNotOfItsHandling) {
    Folder folder;
    ASSERT_TRUE(folder.prepare());
    qint64 now = 5'000'000;
    WindowOptions options = morning();
    options.clock = [&now] { return now; };
    options.eventTimesOnClock = true;
    RecordingWindow window(folder.path(), options);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto& control = *window.control();
    const qint64 hostLines = window.eventNames().count(QStringLiteral("hôte"));
    const qint64 start = now;
    const int startSecond = window.recordingSecond();
    auto at = [&](qint64 t) {
        return QTime(0, 0)
            .addSecs(int((startSecond + (t - start) / 1000) % 86400))
            .toString(QStringLiteral("HH:mm:ss"));
    };
    // A key press as the display server delivers it: first offered as a shortcut.
    auto press = [&](Qt::Key key, quint64 timestamp) {
        const int before = control.annoCount();
        qt_sendShortcutOverrideEvent(window.windowHandle(), timestamp, key, Qt::NoModifier);
        return control.annoCount() == before + 1;
    };

    now = start + 12'000; // handled as soon as pressed
    ASSERT_TRUE(press(Qt::Key_F2, quint32(now)));
    EXPECT_EQ(control.annoTime(0), at(start + 12'000));
    EXPECT_EQ(control.annoDesc(0), window.quickLabel(0));

    now = start + 27'000; // pressed at 20 s, handled 7 s later
    ASSERT_TRUE(press(Qt::Key_F3, quint32(start + 20'000)));
    EXPECT_EQ(control.annoTime(1), at(start + 20'000));
    EXPECT_EQ(control.annoDesc(1), window.quickLabel(1));

    // No time, or one that is not on the clock (an hour old, or in the future): handling time.
    now = start + 28'000;
    for (quint64 timestamp : {quint64(0), quint64(quint32(now - 3'600'000)), quint64(now + 5000)})
        ASSERT_TRUE(press(Qt::Key_F4, timestamp));
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(control.annoTime(i), at(now)) << i;

    // The display server's clock is cut to 32 bits (it wraps every 49.7 days): a press just
    // before a wrap, read just after it.
    now = (qint64(3) << 32) + 2000;
    ASSERT_TRUE(press(Qt::Key_F5, quint32(now - 5000)));
    EXPECT_EQ(control.annoTime(control.selected()), at(now - 5000));

    // The mouse on a quick button: the time of the button's press, not of its release.
    QWidget* button = window.quickButton(5);
    const QPointF centre = QRectF(button->rect()).center();
    QMouseEvent down(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    down.setTimestamp(quint32(now));
    QApplication::sendEvent(button, &down);
    now += 3000;
    QMouseEvent up(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    up.setTimestamp(quint32(now));
    QApplication::sendEvent(button, &up);
    ASSERT_EQ(control.annoCount(), 7);
    EXPECT_EQ(control.annoDesc(6), window.quickLabel(5));
    EXPECT_EQ(control.annoTime(6), at(now - 3000));

    // The host's own add, with no press behind it, is stamped now.
    now += 4000;
    window.addAnnotation(QStringLiteral("Reprise"));
    EXPECT_EQ(control.annoTime(7), at(now));
    EXPECT_EQ(window.eventNames().count(QStringLiteral("hôte")), hostLines + 8);
    EXPECT_EQ(window.timelineMarks(), timesOf(control));
}

TEST_F(OrvaneWindow, DeleteRequestsAreAnsweredAfterConfirmation) {
    window->addAnnotation(QStringLiteral("Un"));
    window->advanceRecording(10);
    window->addAnnotation(QStringLiteral("Deux"));
    ASSERT_EQ(control().selected(), 1);
    QString buttons; // Qt's texts follow the control's French
    int answered = 0;
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        window->setConfirmDriver([answer, &buttons, &answered](QMessageBox* box) {
            buttons = box->button(QMessageBox::Yes)->text() + QLatin1Char(' ') +
                      box->button(QMessageBox::No)->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
            ++answered;
        });
        const int before = answered;
        QTest::mouseClick(p().buttonWidget(ButtonId::Delete), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered > before; }));
    }
    ASSERT_EQ(control().annoCount(), 1);
    EXPECT_EQ(control().annoDesc(0), QStringLiteral("Un"));
    EXPECT_EQ(window->timelineMarks(), timesOf(control()));
    const QStringList names = window->eventNames();
    EXPECT_EQ(names.count(QStringLiteral("AnnoDeleteRequest")), 2);
    EXPECT_EQ(buttons, QStringLiteral("&Oui &Non"));
}

TEST_F(OrvaneWindow, PlayCommandMovesThePlayheadFromTheAnnotationsTime) {
    window->setRecording(false);
    window->addAnnotation(QStringLiteral("Ouverture"));
    const int at = QTime::fromString(control().annoTime(0)).msecsSinceStartOfDay() / 1000;
    window->advanceRecording(600);
    QTest::mouseClick(p().buttonWidget(ButtonId::Play), Qt::LeftButton);
    ASSERT_TRUE(window->playhead().has_value());
    EXPECT_EQ(*window->playhead(), at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *window->playhead() >= at + 1; }, 3000));
    EXPECT_TRUE(window->eventNames().contains(QStringLiteral("DblClick")));
    // NoPlay withdraws the control's play button.
    window->modeBox(0)->click();
    EXPECT_TRUE(control().noPlay());
    EXPECT_FALSE(p().buttonShown(ButtonId::Play));
}

TEST_F(OrvaneWindow, LanguageSwitchRecreatesTheControlWithItsAnnotationsAndModes) {
    window->addAnnotation(QStringLiteral("Témoin"));
    QTest::keyClicks(p().editorWidget(), QStringLiteral("Notes du greffe"));
    window->modeBox(2)->click(); // NoModif
    window->caseNumberEdit()->setText(QStringLiteral("500-01-9"));
    emit window->caseNumberEdit()->editingFinished();
    auto* before = window->control();
    EXPECT_EQ(dalmure::qt::platformOf(*before).buttonWidget(ButtonId::Delete)->toolTip(),
              QStringLiteral("Supprimer l'annotation sélectionnée"));

    window->switchLanguage(Language::English);
    auto& after = control();
    EXPECT_EQ(window->language(), Language::English);
    EXPECT_EQ(iniLanguage(folder.path()), Language::English);
    ASSERT_EQ(after.annoCount(), 1);
    EXPECT_EQ(after.annoData(0), QStringLiteral("Notes du greffe"));
    EXPECT_TRUE(after.noModif());
    EXPECT_EQ(after.noDossier(), QStringLiteral("500-01-9"));
    EXPECT_EQ(dalmure::qt::platformOf(after).buttonWidget(ButtonId::Play)->toolTip(),
              QStringLiteral("Play from the selected annotation"));
}

TEST_F(OrvaneWindow, SampleHearingFillsTheControl) {
    window->sampleAction()->trigger();
    // Its notes carry the apostrophe the control types (the demo's INI asks for ’), so that a
    // hearing never mixes two.
    const SampleHearing h = sampleHearing(window->language(), QChar(0x2019));
    for (int i = 0; i < control().annoCount(); ++i) {
        EXPECT_FALSE(control().annoData(i).contains(QLatin1Char('\''))) << i;
        EXPECT_FALSE(control().annoData(i).contains(QLatin1Char('`'))) << i;
    }
    EXPECT_TRUE(
        control().annoData(control().annoCount() - 2).contains(QStringLiteral("l’identification")));
    ASSERT_EQ(control().annoCount(), static_cast<int>(h.annotations.size()));
    for (int i : {0, 57, static_cast<int>(h.annotations.size()) - 1}) {
        const SampleAnnotation& a = h.annotations[static_cast<std::size_t>(i)];
        EXPECT_EQ(control().annoTime(i), a.time);
        EXPECT_EQ(control().annoData(i), a.notes);
    }
    EXPECT_EQ(control().noDossier(), h.caseNumber);
    EXPECT_EQ(window->recordingSecond(), h.end.msecsSinceStartOfDay() / 1000);
    EXPECT_EQ(window->timelineMarks(), timesOf(control()));

    // Notes typed under the last annotation: the parties and the office's glossary expand, the
    // apostrophe is the typographic one.
    const int last = control().annoCount() - 1;
    QPlainTextEdit* ed = p().editorWidget();
    const QRect cell = p().cellRect(2 * last + 1, 1);
    ASSERT_TRUE(cell.isValid());
    QTest::mouseClick(p().gridView()->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_TRUE(ed->isVisible());
    const QString before = ed->toPlainText();
    QTest::keyClick(ed, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(ed, QStringLiteral(" Lef et tem d'office."));
    EXPECT_EQ(ed->toPlainText(), before + QStringLiteral(" Me Marc Lefebvre et témoin d’office."));
}

// Tab goes from the screen's own fields into the control (its commands, its list), and on
// to the events panel only after it; Shift+Tab comes back the same way.
TEST_F(OrvaneWindow, TabGoesFromTheScreensFieldsToTheControl) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->descriptionEdit()->setFocus(Qt::TabFocusReason);
    auto tab = [](Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, mods);
        QApplication::processEvents();
        return QApplication::focusWidget();
    };
    QWidget* add = tab();
    ASSERT_TRUE(qobject_cast<QPushButton*>(add) != nullptr);
    QWidget* first = tab();
    EXPECT_TRUE(control().isAncestorOf(first)) << first->metaObject()->className();
    EXPECT_EQ(tab(Qt::ShiftModifier), add);
    // Through the control: the events panel comes after its list.
    QWidget* w = tab();
    for (int i = 0; i < 12 && control().isAncestorOf(w) && w != p().gridView(); ++i)
        w = tab();
    EXPECT_EQ(w, p().gridView());
}

namespace {

// The annotations as time|description|notes, in list order.
QStringList listOf(dalmure::qt::DalmureWidget& c) {
    QStringList out;
    for (int i = 0; i < c.annoCount(); ++i)
        out << c.annoTime(i) + u'|' + c.annoDesc(i) + u'|' + c.annoData(i);
    return out;
}

QStringList recorded(RecordingWindow& w) {
    w.pollRecord();
    QStringList out;
    if (const auto h = w.station()->store().load(w.hearingId().toStdString()))
        for (const auto& a : h->annotations)
            out << QString::fromStdU16String(a.time + u'|' + a.description + u'|' + a.notes);
    return out;
}

// Picks hearing id in File > Open (or Follow) and clicks Open.
void pick(RecordingWindow& w, QAction* action, const QString& id) {
    action->trigger();
    auto* picker = w.findChild<QDialog*>(QStringLiteral("hearingPicker"));
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(picker));
    auto* list = picker->findChild<QListWidget*>(QStringLiteral("hearings"));
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == id)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(i)).center());
    ASSERT_EQ(list->currentItem()->data(Qt::UserRole).toString(), id);
    QTest::mouseClick(picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open),
                      Qt::LeftButton);
}

void appendIni(const QString& folder, const QByteArray& text) {
    QFile f(folder + QStringLiteral("/ORClient.INI"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(text);
}

} // namespace

// What the control shows is recorded as the clerk works (case fields, equal times, notes with
// line breaks, a delete), and comes back at the next start-up with the recorder at its end; a
// new hearing leaves it as it was, and File > Open brings it back.
TEST_F(OrvaneWindow, HearingIsRecordedAndReopenedAtStartUp) {
    window->setRecording(false);
    window->advanceRecording(3 * 3600);
    window->caseNumberEdit()->setText(QStringLiteral("500-01-42"));
    emit window->caseNumberEdit()->editingFinished();
    window->addAnnotation(QStringLiteral("Ouverture"));
    window->addAnnotation(QStringLiteral("Même seconde"));
    QTest::keyClicks(p().editorWidget(), QStringLiteral("Ligne un"));
    QTest::keyClick(p().editorWidget(), Qt::Key_Return);
    QTest::keyClicks(p().editorWidget(), QStringLiteral("ligne deux"));
    window->advanceRecording(30);
    window->addAnnotation(QStringLiteral("Erreur")); // commits the notes above first
    window->setConfirmDriver(
        [](QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton); });
    QTest::mouseClick(p().buttonWidget(ButtonId::Delete), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control().annoCount() == 2; }));
    const QString id = window->hearingId();
    const QStringList shown = listOf(control());
    EXPECT_TRUE(shown[1].endsWith(QStringLiteral("|Ligne un\r\nligne deux")));
    EXPECT_EQ(recorded(*window), shown);
    EXPECT_EQ(window->linkLabel()->text(), QStringLiteral("Registre local"));

    window.reset();
    ASSERT_TRUE(window = openWindow(folder));
    EXPECT_EQ(window->hearingId(), id);
    EXPECT_EQ(listOf(control()), shown);
    EXPECT_EQ(window->caseNumberEdit()->text(), QStringLiteral("500-01-42"));
    EXPECT_EQ(window->recordingSecond(), timesOf(control()).back());
    EXPECT_EQ(window->timelineMarks(), timesOf(control()));

    window->newHearingAction()->trigger();
    EXPECT_NE(window->hearingId(), id);
    EXPECT_EQ(control().annoCount(), 0);
    EXPECT_TRUE(control().noDossier().isEmpty());
    window->addAnnotation(QStringLiteral("Autre dossier"));
    pick(*window, window->openHearingAction(), id);
    EXPECT_EQ(window->hearingId(), id);
    EXPECT_EQ(listOf(control()), shown);
}

// Hearings.db of an earlier version is imported once, its last hearing open; a file of that name
// that is no such database is left as it is.
TEST(OrvaneRecord, EarlierHearingsAreImportedOnce) {
    Folder folder, other;
    for (Folder* f : {&folder, &other})
        ASSERT_TRUE(f->prepare());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(folder.path() + "/Hearings.db").constData(), &db),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, R"(PRAGMA application_id = 1330796104;
        CREATE TABLE hearings(id INTEGER PRIMARY KEY, no_dossier, date_created, user_name,
          hearing_date, created, changed);
        CREATE TABLE annotations(hearing, position, time, description, notes);
        CREATE TABLE current(one, hearing);
        INSERT INTO hearings VALUES (1, '500-01-1', '', 'A', '', 1, 1), (2, '500-01-2', '', '',
          '', 2, 2);
        INSERT INTO annotations VALUES (2, 0, '10:00:00', 'Ouverture', 'Juge Roy'),
          (2, 1, '10:00:00', 'Témoin', ''), (1, 0, '09:00:00', 'Autre', '');
        INSERT INTO current VALUES (1, 2);)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    QFile plain(other.path() + "/Hearings.db");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("plain text\n");
    plain.close();
    for (int run = 0; run < 2; ++run) {
        auto window = openWindow(folder);
        ASSERT_TRUE(window);
        EXPECT_EQ(listOf(*window->control()),
                  (QStringList{"10:00:00|Ouverture|Juge Roy", "10:00:00|Témoin|"}));
        EXPECT_EQ(window->control()->noDossier(), QStringLiteral("500-01-2"));
        EXPECT_EQ(window->station()->store().hearings()->size(), 2u);
    }
    EXPECT_TRUE(QFileInfo::exists(folder.path() + "/Hearings.db.imported"));
    ASSERT_TRUE(openWindow(other));
    EXPECT_EQ(readBytes(other.path() + "/Hearings.db"), QByteArray("plain text\n"));
}

// Two screens on one server: the courtroom's records, the chambers' follows it, read-only. The
// server stops: the courtroom says so and goes on, is even started again and reopens the
// hearing from its copy; when the server is back, the chambers receive the lot, each once.
TEST(OrvaneRecord, FollowedLiveAndOfflineWorkArrivesOnce) {
    dalmure::test::PgCluster server;
    Folder room, chambers;
    for (Folder* f : {&room, &chambers}) {
        ASSERT_TRUE(f->prepare());
        appendIni(f->path(),
                  QByteArray::fromStdString("[Record]\r\nServer=" + server.connection() + "\r\n"));
    }
    auto a = openWindow(room), b = openWindow(chambers);
    ASSERT_TRUE(a && b);
    const QString connected = QStringLiteral("Serveur : connecté");
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == connected; }));
    a->addAnnotation(QStringLiteral("Ouverture"));
    pick(*b, b->followHearingAction(), a->hearingId());
    EXPECT_TRUE(b->following());
    EXPECT_TRUE(b->control()->noModif());
    EXPECT_FALSE(b->quickButton(0)->isEnabled());
    EXPECT_TRUE(b->linkLabel()->text().endsWith(QStringLiteral("suivi en lecture seule")));
    a->addAnnotation(QStringLiteral("Témoin"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return listOf(*b->control()) == listOf(*a->control()); }));

    server.stop();
    a->addAnnotation(QStringLiteral("Pièce P-1"));
    const QString offline = QStringLiteral("Serveur : hors ligne (travail local)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == offline; }));
    const QStringList shown = listOf(*a->control());
    a.reset();
    ASSERT_TRUE(a = openWindow(room));
    EXPECT_EQ(listOf(*a->control()), shown);
    EXPECT_EQ(a->linkLabel()->text(), offline);
    server.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return listOf(*b->control()) == shown; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->linkLabel()->text() == connected; }));
    EXPECT_EQ(recorded(*a), shown);
    EXPECT_EQ(a->station()->store().changesAfter(a->hearingId().toStdString(), 0)->size(), 4u);
}

// Ctrl+Shift+F: the hits follow the words as they are typed and Enter opens the other hearing at
// the hit, selected with its notes open; the history item of the list's popup menu shows the
// annotation's changes; the minutes as of a past time hold what the hearing held then.
TEST_F(OrvaneWindow, SearchHistoryAndMinutesAsOfAPastTime) {
    window->addAnnotation(QStringLiteral("Témoin"));
    QTest::keyClicks(p().editorWidget(), QStringLiteral("Mme Lavoie identifie la voiture"));
    window->addAnnotation(QStringLiteral("Ouverture"));
    const QString first = window->hearingId();
    const qint64 then = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000 + 1000;
    QTest::qWait(int(then - QDateTime::currentMSecsSinceEpoch()) + 100);
    window->addAnnotation(QStringLiteral("Suspension"));
    window->newHearingAction()->trigger();
    window->addAnnotation(QStringLiteral("Autre dossier"));

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto* words = window->findChild<QLineEdit*>(QStringLiteral("searchWords"));
    auto* hits = window->findChild<QListWidget*>(QStringLiteral("searchHits"));
    ASSERT_TRUE(words && hits);
    QTest::keyClicks(words, QStringLiteral("voit"));
    EXPECT_EQ(hits->count(), 1);
    QTest::keyClick(words, Qt::Key_X);
    EXPECT_EQ(hits->count(), 0);
    QTest::keyClick(words, Qt::Key_Backspace);
    EXPECT_EQ(hits->count(), 1);
    QTest::keyClick(words, Qt::Key_Return);
    EXPECT_EQ(window->hearingId(), first);
    EXPECT_EQ(control().selected(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == p().editorWidget(); }));
    QTest::keyClicks(p().editorWidget(), QStringLiteral(" rouge"));
    window->addAnnotation(QStringLiteral("Reprise")); // commits the notes

    p().setModalDriver([&](QWidget* modal) {
        auto* menu = qobject_cast<QMenu*>(modal);
        ASSERT_NE(menu, nullptr);
        menu->setActiveAction(window->historyAction());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(p().gridView()->viewport(), Qt::RightButton, {}, p().cellRect(1, 1).center());
    auto* history = window->findChild<QListWidget*>(QStringLiteral("historyEntries"));
    ASSERT_NE(history, nullptr);
    ASSERT_EQ(history->count(), 3); // added, notes, notes again
    EXPECT_TRUE(history->item(2)->text().endsWith(QStringLiteral("voiture → Mme Lavoie "
                                                                 "identifie la voiture rouge")));

    const QString page = folder.path() + QStringLiteral("/pvData.html");
    QFile::remove(page);
    window->minutesAsOfAction()->trigger();
    auto* when = window->findChild<QDateTimeEdit*>(QStringLiteral("asOfTime"));
    ASSERT_NE(when, nullptr);
    when->setDateTime(QDateTime::fromMSecsSinceEpoch(then));
    QTest::keyClick(when, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(page); }));
    const QByteArray minutes = readBytes(page);
    EXPECT_TRUE(minutes.contains("Ouverture"));
    EXPECT_TRUE(minutes.contains("identifie la voiture"));
    EXPECT_FALSE(minutes.contains("Suspension"));
    EXPECT_FALSE(minutes.contains("rouge"));
}

namespace {

namespace journal = dalmure::journal;

// A journal as a session killed in the middle of a hearing leaves it: destroyed without closing.
struct LeftBehind {
    QString caseNumber;
    std::int64_t lastChange = 0; // ms since the epoch
};
std::string leaveJournal(const QString& appFolder, const LeftBehind& l) {
    journal::JournalOptions options;
    options.now = [at = l.lastChange] { return at; };
    auto j = journal::Journal::start(appFolder.toStdU16String(), "Recovery", std::move(options));
    if (!j->working())
        return {};
    j->caseField(journal::CaseField::NoDossier, l.caseNumber.toStdU16String());
    j->added(0, u"09:30:00", u"Ouverture de l'audience", u"");
    j->added(1, u"09:41:10", u"Témoin assermenté", u"");
    j->notesCommitted(0, u"Juge Tremblay.");
    j->liveText(1, u"Mme Lavoie décrit la soirée du 3 mars : elle ferme");
    return j->id();
}

QString journalFile(const QString& appFolder, const std::string& id) {
    return appFolder + QStringLiteral("/Recovery/") + QString::fromStdString(id) +
           QStringLiteral(".db");
}

class OrvaneRecovery : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.prepare()); }
    void start() { ASSERT_TRUE(window = openWindow(folder)); }
    dalmure::qt::DalmureWidget& control() { return *window->control(); }
    RecoveryBar& bar() { return *window->recoveryBar(); }
    QString message() { return bar().message()->text(); }
    // Clicks Discard and answers the confirmation.
    void discard(QMessageBox::StandardButton answer) {
        window->setConfirmDriver(
            [answer](QMessageBox* box) { QTest::mouseClick(box->button(answer), Qt::LeftButton); });
        QTest::mouseClick(bar().discardButton(), Qt::LeftButton);
        window->setConfirmDriver({});
    }
    Folder folder;
    std::unique_ptr<RecordingWindow> window;
};

} // namespace

// The clerk starts the screen after a crash, sees the bar and clicks Recover: the annotations are
// back on the timeline and in the panel, the case number is the screen's again and the bar goes
// (what the recovery brings back is proven on the control itself).
TEST_F(OrvaneRecovery, RecoverBringsTheNotesBackAndHidesTheBar) {
    const std::string id = leaveJournal(folder.path(), {QStringLiteral("500-01-778899-242"), 0});
    ASSERT_FALSE(id.empty());
    start();
    ASSERT_TRUE(bar().isVisible());
    EXPECT_TRUE(message().contains(QStringLiteral("500-01-778899-242"))) << message().toStdString();
    EXPECT_TRUE(message().contains(QStringLiteral("2 annotation(s)")));
    EXPECT_TRUE(bar().recoverButton()->isVisible());
    EXPECT_TRUE(bar().showButton()->isVisible());

    QTest::mouseClick(bar().recoverButton(), Qt::LeftButton);
    ASSERT_EQ(control().annoCount(), 2);
    EXPECT_FALSE(bar().isVisible());
    EXPECT_FALSE(QFileInfo::exists(journalFile(folder.path(), id)));
    EXPECT_EQ(window->caseNumberEdit()->text(), QStringLiteral("500-01-778899-242"));
    EXPECT_EQ(window->timelineMarks(), timesOf(control()));
    EXPECT_EQ(window->eventNames().count(QStringLiteral("AnnoRecovered")), 2);
}

// Several sessions left behind: the newest is offered and the others counted. Discard removes a
// journal only once confirmed; Show lists the session; the bar follows the language switch.
TEST_F(OrvaneRecovery, NewestIsOfferedFirstAndDiscardAsksFirst) {
    const std::string older =
        leaveJournal(folder.path(), {QStringLiteral("500-01-1"), 1'700'000'000'000});
    const std::string newer =
        leaveJournal(folder.path(), {QStringLiteral("500-01-2"), 1'700'000'600'000});
    ASSERT_FALSE(older.empty());
    ASSERT_FALSE(newer.empty());
    start();
    ASSERT_TRUE(bar().isVisible());
    EXPECT_TRUE(message().contains(QStringLiteral("500-01-2"))) << message().toStdString();
    EXPECT_TRUE(message().contains(QStringLiteral("1 autre(s) session(s)")));

    QTest::mouseClick(bar().showButton(), Qt::LeftButton);
    auto* summary = window->findChild<QMessageBox*>(QStringLiteral("sessionSummary"));
    ASSERT_NE(summary, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(summary));
    EXPECT_TRUE(summary->text().contains(QStringLiteral("500-01-2")));
    EXPECT_TRUE(summary->text().contains(QStringLiteral("Annotations avec des notes : 2")));
    QTest::mouseClick(summary->button(QMessageBox::Close), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->findChild<QMessageBox*>(); }));
    EXPECT_EQ(control().annoCount(), 0); // showing replays nothing

    discard(QMessageBox::No);
    EXPECT_TRUE(QFileInfo::exists(journalFile(folder.path(), newer)));
    EXPECT_TRUE(message().contains(QStringLiteral("500-01-2")));
    discard(QMessageBox::Yes);
    EXPECT_FALSE(QFileInfo::exists(journalFile(folder.path(), newer)));
    EXPECT_TRUE(QFileInfo::exists(journalFile(folder.path(), older)));
    ASSERT_TRUE(bar().isVisible());
    EXPECT_TRUE(message().contains(QStringLiteral("500-01-1")));
    EXPECT_FALSE(message().contains(QStringLiteral("autre")));

    window->switchLanguage(Language::English);
    ASSERT_TRUE(bar().isVisible());
    EXPECT_TRUE(
        message().startsWith(QStringLiteral("Notes from an interrupted session can be recovered")));
    EXPECT_EQ(bar().discardButton()->text(), QStringLiteral("Discard"));
    discard(QMessageBox::Yes);
    EXPECT_FALSE(QFileInfo::exists(journalFile(folder.path(), older)));
    EXPECT_FALSE(bar().isVisible());
    EXPECT_EQ(control().annoCount(), 0);
}

// A journal that cannot be read is shown with its problem and can only be discarded.
TEST_F(OrvaneRecovery, DamagedSessionCanOnlyBeDiscarded) {
    const std::string id = leaveJournal(folder.path(), {QStringLiteral("500-01-3"), 0});
    ASSERT_FALSE(id.empty());
    const QString db = journalFile(folder.path(), id);
    for (const QString& side : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(db + side);
    QFile f(db);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(4096, '\x5A'));
    f.close();
    start();
    ASSERT_TRUE(bar().isVisible());
    ASSERT_NE(bar().offered(), nullptr);
    EXPECT_TRUE(bar().offered()->damaged);
    EXPECT_FALSE(bar().offered()->problem.isEmpty());
    EXPECT_TRUE(message().contains(bar().offered()->problem)) << message().toStdString();
    EXPECT_FALSE(bar().recoverButton()->isVisible());
    EXPECT_FALSE(bar().showButton()->isVisible());
    EXPECT_TRUE(bar().discardButton()->isVisible());
    discard(QMessageBox::Yes);
    EXPECT_FALSE(QFileInfo::exists(db));
    EXPECT_FALSE(bar().isVisible());
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
