// Looking back in the hearing record: searching every hearing (Ctrl+Shift+F), an annotation's
// history (from the list's popup menu) and the minutes of a hearing as they stood at a past time.
#include "recording_window.h"

#include "control/dalmure_p.h"
#include "platform/qt/dalmure_widget_p.h"

#include <QAction>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvane {

using dalmure::qt::DalmureWidget;
namespace record = dalmure::record;

namespace {

QString qstr(const dalmure::Str& s) {
    return QString::fromStdU16String(s);
}

// A dialog of the window, gone when closed.
QDialog* dialogOf(QWidget* parent, const char* name, const QString& title) {
    auto* d = new QDialog(parent);
    d->setObjectName(QString::fromLatin1(name));
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setWindowTitle(title);
    d->setMinimumWidth(560);
    new QVBoxLayout(d);
    return d;
}

} // namespace

void RecordingWindow::buildSearchMenu() {
    searchAction_ = new QAction(this);
    searchAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connect(searchAction_, &QAction::triggered, this, &RecordingWindow::searchHearings);
    minutesAsOfAction_ = new QAction(this);
    connect(minutesAsOfAction_, &QAction::triggered, this, &RecordingWindow::chooseMinutesTime);
    fileMenu_->insertActions(sampleAction_, {searchAction_, minutesAsOfAction_});
    fileMenu_->insertSeparator(sampleAction_);
    addAction(searchAction_); // the shortcut works wherever the focus is in the window
    historyAction_ = new QAction(this);
    historyAction_->setObjectName(QStringLiteral("mnuHistory"));
    connect(historyAction_, &QAction::triggered, this,
            [this] { showHistory(control_ ? control_->selected() : -1); });
}

void RecordingWindow::retranslateSearchMenu() {
    searchAction_->setText(t("Rechercher dans les audiences…", "Search the hearings…"));
    minutesAsOfAction_->setText(
        t("Procès-verbal à une date passée…", "Minutes as of a past time…"));
    historyAction_->setText(t("Historique de l'annotation…", "Annotation history…"));
}

void RecordingWindow::addPopupItems(DalmureWidget* w) {
    // The control's popup menu takes one more item, below its own; the control ignores what it
    // does not know, the action answers.
    QMenu* menu = dalmure::qt::platformOf(*w).menuWidget();
    menu->addSeparator();
    menu->addAction(historyAction_);
}

void RecordingWindow::searchHearings() {
    if (!station_)
        return;
    pollRecord(); // what waits to be sent is found too
    QDialog* d = dialogOf(this, "hearingSearch", t("Rechercher", "Search"));
    auto* words = new QLineEdit(d);
    words->setObjectName(QStringLiteral("searchWords"));
    words->setPlaceholderText(t("Mots cherchés", "Words to find"));
    auto* hits = new QListWidget(d);
    hits->setObjectName(QStringLiteral("searchHits"));
    auto* status = new QLabel(d);
    for (QWidget* w : std::initializer_list<QWidget*>{words, hits, status})
        d->layout()->addWidget(w);
    // Live: each change of the words searches again; the first hit is the current one.
    connect(words, &QLineEdit::textChanged, d, [this, hits, status](const QString& text) {
        hits->clear();
        if (text.trimmed().isEmpty()) {
            status->clear();
            return;
        }
        record::SearchQuery q;
        q.words = text.toStdU16String();
        const auto found = station_->store().search(q);
        if (!found) {
            status->setText(t("Registre inaccessible", "The record cannot be reached"));
            return;
        }
        for (const record::SearchHit& h : *found) {
            QString snippet = qstr(h.snippet);
            snippet.replace(QChar(record::kMarkStart), QStringLiteral("«"))
                .replace(QChar(record::kMarkEnd), QStringLiteral("»"));
            auto* item = new QListWidgetItem(
                QStringLiteral("%1   %2   %3 — %4")
                    .arg(qstr(h.noDossier), qstr(h.time), qstr(h.description), snippet),
                hits);
            item->setData(Qt::UserRole, QString::fromStdString(h.hearing));
            item->setData(Qt::UserRole + 1, QString::fromStdString(h.annotation));
        }
        hits->setCurrentRow(0);
        status->setText(t("%1 résultat(s)", "%1 hit(s)").arg(found->size()));
    });
    // Enter opens the current hit (Up and Down move in the hits: eventFilter).
    auto open = [this, d, hits] {
        if (const QListWidgetItem* item = hits->currentItem()) {
            const QString hearing = item->data(Qt::UserRole).toString();
            const QString annotation = item->data(Qt::UserRole + 1).toString();
            d->close();
            openAt(hearing, annotation);
        }
    };
    connect(words, &QLineEdit::returnPressed, d, open);
    connect(hits, &QListWidget::itemActivated, d, open);
    searchHits_ = hits;
    searchWords_ = words;
    d->open();
    words->setFocus();
}

bool RecordingWindow::openAt(const QString& hearing, const QString& annotation) {
    if (hearing != hearingId() || following_) {
        if (!openHearing(hearing))
            return false;
    }
    for (int i = 0; i < control_->annoCount(); ++i) {
        if (station_->annotationId(i) != annotation.toStdString())
            continue;
        // Selected as a click on its description selects it: the notes open under it.
        dalmure::DalmurePrivate& c = dalmure::qt::controlOf(*control_);
        c.platform().grid().setCol(1);
        c.platform().grid().setRow(2 * i + 1);
        c.onGridClick();
        dalmure::qt::platformOf(*control_).editorWidget()->setFocus();
        return true;
    }
    return false;
}

void RecordingWindow::showHistory(int index) {
    const std::string id = station_ ? station_->annotationId(index) : std::string();
    if (id.empty())
        return;
    pollRecord();
    const auto entries = station_->store().annotationHistory(id);
    QDialog* d =
        dialogOf(this, "annotationHistory", t("Historique de l'annotation", "Annotation history"));
    auto* list = new QListWidget(d);
    list->setObjectName(QStringLiteral("historyEntries"));
    d->layout()->addWidget(list);
    if (!entries)
        list->addItem(t("Registre inaccessible", "The record cannot be reached"));
    for (const record::HistoryEntry& e : entries.value_or(std::vector<record::HistoryEntry>{})) {
        const QString what = QString::fromLatin1(record::kindName(e.kind).data(),
                                                 qsizetype(record::kindName(e.kind).size()));
        list->addItem(QStringLiteral("%1   %2 (%3)   %4: %5 → %6%7")
                          .arg(QDateTime::fromMSecsSinceEpoch(e.at).toString(
                                   QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                               qstr(e.author), qstr(e.station), what, qstr(e.before), qstr(e.after),
                               e.conflict ? t("  (conflit)", "  (conflict)") : QString()));
    }
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, d);
    d->layout()->addWidget(close);
    connect(close, &QDialogButtonBox::rejected, d, &QDialog::close);
    d->open();
}

void RecordingWindow::chooseMinutesTime() {
    QDialog* d = dialogOf(this, "minutesAsOf",
                          t("Procès-verbal à une date passée", "Minutes as of a past time"));
    auto* when = new QDateTimeEdit(QDateTime::currentDateTime(), d);
    when->setObjectName(QStringLiteral("asOfTime"));
    when->setCalendarPopup(true);
    when->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
    d->layout()->addWidget(when);
    d->layout()->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, d, [this, d, when] {
        const QDateTime at = when->dateTime();
        d->close();
        writeMinutesAsOf(at);
    });
    connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::close);
    d->open();
}

bool RecordingWindow::writeMinutesAsOf(const QDateTime& at) {
    pollRecord();
    const auto past = station_
                          ? station_->store().loadAsOf(station_->hearing(), at.toMSecsSinceEpoch())
                          : std::nullopt;
    if (!past) {
        logHost(t("registre inaccessible", "the record cannot be reached"));
        return false;
    }
    // A control of its own, never shown, holds the past list; its view command writes the
    // minutes page and opens it as the screen's own does.
    dalmure::qt::QtPlatformOptions po;
    po.htmlProgram = options_.htmlProgram;
    DalmureWidget pastControl(appFolder_, nullptr, po);
    pastControl.setNoDossier(qstr(past->hearing.noDossier));
    pastControl.setDateCreated(qstr(past->hearing.dateCreated));
    pastControl.setUserName(qstr(past->hearing.userName));
    pastControl.allowRefreshPV(false);
    for (const record::Annotation& a : past->annotations)
        pastControl.annoAdd(qstr(a.time), qstr(a.description), qstr(a.notes));
    pastControl.allowRefreshPV(true);
    dalmure::qt::platformOf(pastControl).buttonWidget(dalmure::platform::ButtonId::View)->click();
    logHost(t("procès-verbal au %1 (%2 annotations)", "minutes as of %1 (%2 annotations)")
                .arg(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                .arg(past->annotations.size()));
    return true;
}

} // namespace orvane
