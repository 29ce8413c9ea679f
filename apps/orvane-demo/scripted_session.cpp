#include "scripted_session.h"

#include "recording_window.h"
#include "recovery_bar.h"

#include "platform/qt/dalmure_widget_p.h"
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace orvane {

namespace {

using dalmure::platform::ButtonId;

class Session {
  public:
    Session(RecordingWindow& w, ScriptResult& r) : w_(w), r_(r) {}

    void expect(bool cond, const QString& what) {
        if (!cond)
            r_.problems << what;
    }
    static void pause(int ms) { QTest::qWait(ms); }
    dalmure::qt::QtPlatform& p() { return dalmure::qt::platformOf(*w_.control()); }
    bool fr() const { return w_.language() == Language::French; }
    QString t(const char* f, const char* e) const { return QString::fromUtf8(fr() ? f : e); }

    // Real key events for every character, accented ones included.
    static void typeText(QWidget* target, const QString& text, int delay = -1) {
        for (const QChar c : text) {
            if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
                QTest::keyClick(target, static_cast<char>(c.unicode()), Qt::NoModifier, delay);
            else
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier, delay);
        }
    }

    void typeInto(QWidget* field, const QString& text) {
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        typeText(field, text, 8);
        QTest::keyClick(field, Qt::Key_Tab);
    }

    // Clicks the description cell of an annotation's main row, when it is on screen.
    bool clickAnnotation(int k, bool doubleClick = false) {
        QTableView* view = p().gridView();
        QRect cell = p().cellRect(2 * k, 1);
        if (cell.isEmpty() && view->model())
            cell = view->visualRect(view->model()->index(2 * k, 1));
        if (cell.isEmpty() || !view->viewport()->rect().contains(cell.center()))
            return false;
        QWidget* vp = view->viewport();
        if (doubleClick)
            QTest::mouseDClick(vp, Qt::LeftButton, {}, cell.center());
        else
            QTest::mouseClick(vp, Qt::LeftButton, {}, cell.center());
        pause(60);
        return true;
    }

    // Types notes into the control's editor (the annotation just added or clicked).
    void typeNotes(const QString& text) {
        QPlainTextEdit* ed = p().editorWidget();
        expect(ed->isVisible(), QStringLiteral("the editor is open to type notes"));
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(ed, Qt::Key_Return);
            typeText(ed, lines[i], 4);
        }
        pause(40);
    }

    void clickButton(ButtonId id) {
        QToolButton* b = p().buttonWidget(id);
        expect(b && b->isVisible(), QStringLiteral("a command button of the control is shown"));
        if (b)
            QTest::mouseClick(b, Qt::LeftButton);
        pause(80);
    }

    void commitNotes() {
        // Clicking elsewhere takes the focus from the editor: the notes are committed.
        QTest::mouseClick(w_.descriptionEdit(), Qt::LeftButton);
        pause(60);
    }

    void run(const ScriptOptions& o) {
        auto* control = w_.control();
        // The case the clerk opens.
        typeInto(w_.caseNumberEdit(), QStringLiteral("500-01-123456-241"));
        typeInto(w_.clerkEdit(), t("Geneviève Morin", "Genevieve Morin"));
        expect(control->noDossier() == QStringLiteral("500-01-123456-241"),
               QStringLiteral("the case number reaches the control"));

        // The morning so far: the sample hearing, then the recording goes on.
        w_.sampleAction()->trigger();
        pause(200);
        const int loaded = control->annoCount();
        expect(loaded >= 140, QStringLiteral("the sample hearing is loaded (%1)").arg(loaded));

        // A question from the bench, with the quick button; notes typed under it.
        w_.advanceRecording(35);
        QTest::mouseClick(w_.quickButton(5), Qt::LeftButton);
        pause(120);
        typeNotes(t("Le juge demande si la vidéo P-2 montre l'entrée du dépanneur.\n"
                    "Me Côté : oui, de 22 h 12 à 22 h 16.",
                    "The judge asks whether video P-2 shows the store entrance.\n"
                    "Ms. Côté: yes, from 10:12 to 10:16 p.m."));
        commitNotes();

        // An exhibit, with its shortcut (F6).
        w_.advanceRecording(52);
        QTest::keyClick(&w_, Qt::Key_F6);
        pause(120);
        const int exhibit = control->selected();
        expect(control->annoCount() == loaded + 2,
               QStringLiteral("the F6 shortcut adds an annotation"));
        typeNotes(t("Rapport d'expertise vidéo, 14 pages, produit de consentement.",
                    "Video expert report, 14 pages, filed by consent."));
        commitNotes();

        // The clerk names the exhibit: the control's rename command and its prompt.
        clickAnnotation(exhibit);
        p().setModalDriver([this](QWidget* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>();
            if (!edit) {
                r_.problems << QStringLiteral("the rename prompt has a text field");
                return;
            }
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            typeText(edit, t("Pièce P-5 : rapport d'expertise", "Exhibit P-5: expert report"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        clickButton(ButtonId::Rename);
        p().setModalDriver({});
        pause(100);
        expect(control->annoDesc(exhibit).contains(QStringLiteral("P-5")),
               QStringLiteral("the annotation is renamed"));

        // A free annotation typed by the clerk (Ctrl+Space).
        w_.advanceRecording(41);
        typeText(w_.descriptionEdit(), t("Date du jugement confirmée", "Judgment date confirmed"));
        QTest::keyClick(&w_, Qt::Key_Space, Qt::ControlModifier);
        pause(120);
        typeNotes(
            t("19 avril 2024, 9 h 30, salle 4.12.", "April 19, 2024, 9:30 a.m., courtroom 4.12."));
        commitNotes();

        // A witness button pressed by mistake: deleted after confirmation.
        w_.advanceRecording(12);
        QTest::mouseClick(w_.quickButton(2), Qt::LeftButton);
        pause(120);
        const int before = control->annoCount();
        w_.setConfirmDriver([](QMessageBox* box) {
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        });
        clickButton(ButtonId::Delete);
        pause(150);
        w_.setConfirmDriver({});
        expect(control->annoCount() == before - 1,
               QStringLiteral("the delete request is answered with AnnoDelete"));

        // End of the day.
        w_.advanceRecording(95);
        QTest::keyClick(&w_, Qt::Key_F9);
        pause(120);
        typeNotes(t("Fin de l'enregistrement de la journée.", "End of the day's recording."));
        commitNotes();

        // The minutes: the control's view command writes pvData.html and opens it.
        clickAnnotation(control->selected());
        clickButton(ButtonId::View);
        pause(300);
        const QString page = w_.appFolder() + QStringLiteral("/pvData.html");
        expect(QFileInfo::exists(page), QStringLiteral("the view command writes pvData.html"));

        // Back to the witness of the morning: scroll up and double-click to play from there.
        QScrollBar* bar = p().gridView()->verticalScrollBar();
        const int wanted = 2 * std::max(0, control->annoCount() - 12);
        for (int i = 0; i < 80 && p().grid().topRow() > wanted; ++i) {
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            pause(10);
        }
        pause(150);
        // The closing arguments, some ten annotations up.
        int target = control->annoCount() - 10;
        while (target < control->annoCount() - 1 && !clickAnnotation(target, true))
            ++target;
        pause(1600);
        expect(w_.playhead().has_value(), QStringLiteral("a double click starts playback"));
        w_.eventPanel()->scrollToBottom();

        const QStringList names = w_.eventNames();
        for (const char* e : {"AnnoModified", "AnnoModifiedDesc", "AnnoDeleteRequest", "DblClick"})
            expect(names.contains(QString::fromLatin1(e)),
                   QStringLiteral("the event panel lists %1").arg(QString::fromLatin1(e)));
        pause(200);

        if (!o.screenshot.isEmpty()) {
            QDir().mkpath(QFileInfo(o.screenshot).absolutePath());
            const QImage image = w_.grab().toImage();
            expect(image.save(o.screenshot, "PNG"), QStringLiteral("the screenshot is saved"));
        }
        if (!o.minutesOut.isEmpty()) {
            QDir().mkpath(QFileInfo(o.minutesOut).absolutePath());
            QFile::remove(o.minutesOut);
            expect(QFile::copy(page, o.minutesOut), QStringLiteral("the minutes page is copied"));
        }
    }

    [[noreturn]] void crash() {
        typeInto(w_.caseNumberEdit(), QStringLiteral("500-01-778899-242"));
        typeInto(w_.clerkEdit(), t("Geneviève Morin", "Genevieve Morin"));
        QTest::mouseClick(w_.quickButton(0), Qt::LeftButton);
        pause(120);
        typeNotes(t("Audience ouverte à 9 h 32, juge Tremblay.",
                    "Hearing opened at 9:32 a.m., Judge Tremblay."));
        commitNotes();
        w_.advanceRecording(140);
        QTest::mouseClick(w_.quickButton(2), Qt::LeftButton);
        pause(120);
        typeNotes(t("Mme Lavoie, agente de sécurité, décrit la soirée du 3 mars : elle ferme ",
                    "Ms. Lavoie, security guard, describes the evening of March 3: she locks "));
        // Mid-word, the notes not committed: the process is killed as a crash would end it.
        std::printf("killed while typing\n");
        std::fflush(stdout);
        ::kill(::getpid(), SIGKILL);
        std::_Exit(137); // not reached
    }

    void checkRecovery(const ScriptOptions& o) {
        const RecoveryBar* bar = w_.recoveryBar();
        pause(300);
        expect(bar->isVisible() && bar->offered() != nullptr,
               QStringLiteral("the recovery bar offers the interrupted session"));
        if (const RecoveryBar::Session* s = bar->offered()) {
            expect(!s->damaged, QStringLiteral("the interrupted session can be read"));
            expect(s->pendingText, QStringLiteral("the notes being typed are in the journal"));
            std::printf("interrupted session: %s, %d annotation(s)\n", qPrintable(s->noDossier),
                        s->annotations);
        }
        if (!o.screenshot.isEmpty()) {
            QDir().mkpath(QFileInfo(o.screenshot).absolutePath());
            const QImage image = w_.grab().toImage();
            expect(image.save(o.screenshot, "PNG"), QStringLiteral("the screenshot is saved"));
        }

        // The hearing record gave back what the station recorded before the kill: both
        // annotations and the committed notes, not the notes being typed.
        auto* control = w_.control();
        std::printf("reopened: %d annotation(s)\n", control->annoCount());
        expect(control->annoCount() == 2,
               QStringLiteral("the hearing is reopened from the record"));
        if (control->annoCount() != 2)
            return;
        expect(control->annoData(0).startsWith(t("Audience ouverte", "Hearing opened")),
               QStringLiteral("the committed notes are reopened"));
        const QString typing = t("elle ferme", "she locks");
        expect(!control->annoData(1).contains(typing),
               QStringLiteral("the notes being typed were not recorded"));

        // Recover: the control adds nothing the list already holds and brings back the notes.
        if (bar->recoverButton()->isVisible())
            QTest::mouseClick(bar->recoverButton(), Qt::LeftButton);
        pause(100);
        w_.pollRecord();
        const auto saved = w_.station()->store().load(w_.hearingId().toStdString());
        const int stored = saved ? int(saved->annotations.size()) : -1;
        std::printf("after recovery: %d annotation(s), %d saved\n", control->annoCount(), stored);
        expect(control->annoCount() == 2 && stored == 2,
               QStringLiteral("the recovery duplicates nothing"));
        expect(control->annoData(1).contains(typing),
               QStringLiteral("the recovery brings back the notes being typed"));
        expect(saved && saved->annotations.size() == 2 &&
                   QString::fromStdU16String(saved->annotations[1].notes) == control->annoData(1),
               QStringLiteral("the recovered notes are saved"));
    }

  private:
    RecordingWindow& w_;
    ScriptResult& r_;
};

} // namespace

ScriptResult runScriptedSession(RecordingWindow& window, const ScriptOptions& options) {
    ScriptResult r;
    Session s(window, r);
    s.run(options);
    r.ok = r.problems.isEmpty();
    return r;
}

void runCrashingSession(RecordingWindow& window) {
    ScriptResult r;
    Session(window, r).crash();
}

ScriptResult runRecoveryCheck(RecordingWindow& window, const ScriptOptions& options) {
    ScriptResult r;
    Session(window, r).checkRecovery(options);
    r.ok = r.problems.isEmpty();
    return r;
}

} // namespace orvane
