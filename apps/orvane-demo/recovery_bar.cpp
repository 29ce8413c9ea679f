#include "recovery_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include <algorithm>

namespace orvane {

namespace {

QString tr2(Language l, const char* fr, const char* en) {
    return QString::fromUtf8(l == Language::French ? fr : en);
}

QLocale localeOf(Language l) {
    return QLocale(l == Language::French ? QLocale::French : QLocale::English, QLocale::Canada);
}

QString when(const QDateTime& at, Language l) {
    if (!at.isValid() || at.toMSecsSinceEpoch() <= 0)
        return tr2(l, "inconnue", "unknown");
    return localeOf(l).toString(at.toLocalTime(), l == Language::French
                                                      ? QStringLiteral("d MMMM yyyy, HH:mm:ss")
                                                      : QStringLiteral("MMMM d, yyyy, HH:mm:ss"));
}

QString caseOf(const RecoveryBar::Session& s, Language l) {
    return s.noDossier.isEmpty() ? tr2(l, "sans numéro", "no number") : s.noDossier;
}

} // namespace

RecoveryBar::RecoveryBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("recoveryBar"));
    setStyleSheet(QStringLiteral(
        "#recoveryBar { background: #fff4ce; border: 1px solid #e0b84a; border-radius: 4px; }"
        "#recoveryBar QLabel { color: #4a3b00; }"
        "#recoveryBar QPushButton { padding: 4px 12px; }"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    recover_ = new QPushButton(this);
    show_ = new QPushButton(this);
    discard_ = new QPushButton(this);
    row->addWidget(message_, 1);
    for (QPushButton* b : {recover_, show_, discard_})
        row->addWidget(b);
    const auto emitFor = [this](void (RecoveryBar::*signal)(const QString&)) {
        return [this, signal] {
            if (const Session* s = offered())
                emit(this->*signal)(s->id);
        };
    };
    connect(recover_, &QPushButton::clicked, this, emitFor(&RecoveryBar::recoverRequested));
    connect(show_, &QPushButton::clicked, this, emitFor(&RecoveryBar::showRequested));
    connect(discard_, &QPushButton::clicked, this, emitFor(&RecoveryBar::discardRequested));
    hide();
}

QString RecoveryBar::t(const char* fr, const char* en) const {
    return tr2(language_, fr, en);
}

void RecoveryBar::offer(QList<Session> sessions, Language language) {
    language_ = language;
    // Newest first; a session without a recorded change goes last.
    std::stable_sort(sessions.begin(), sessions.end(), [](const Session& a, const Session& b) {
        return a.lastChange.toMSecsSinceEpoch() > b.lastChange.toMSecsSinceEpoch();
    });
    sessions_ = std::move(sessions);
    const Session* s = offered();
    if (!s) {
        hide();
        return;
    }
    QString text;
    if (s->damaged) {
        text = t("Les notes d'une session interrompue ne peuvent pas être lues : %1",
                 "Notes from an interrupted session cannot be read: %1")
                   .arg(s->problem);
    } else {
        text = t("Les notes d'une session interrompue peuvent être récupérées : dossier %1, "
                 "dernière modification le %2, %3 annotation(s), %4 avec des notes",
                 "Notes from an interrupted session can be recovered: case %1, last changed "
                 "%2, %3 annotation(s), %4 with notes")
                   .arg(caseOf(*s, language_), when(s->lastChange, language_))
                   .arg(s->annotations)
                   .arg(s->unsavedNotes);
        if (s->pendingText)
            text += t(" (notes en cours de saisie)", " (notes being typed)");
    }
    if (sessions_.size() > 1)
        text +=
            t("  ·  %1 autre(s) session(s) interrompue(s)", "  ·  %1 more interrupted session(s)")
                .arg(sessions_.size() - 1);
    message_->setText(text);
    recover_->setText(t("Récupérer", "Recover"));
    show_->setText(t("Afficher", "Show"));
    discard_->setText(t("Abandonner", "Discard"));
    recover_->setVisible(!s->damaged);
    show_->setVisible(!s->damaged);
    show();
}

QString RecoveryBar::summary(const Session& s, Language l) {
    if (s.damaged)
        return tr2(l, "Session illisible : %1", "Unreadable session: %1").arg(s.problem);
    const QString none = tr2(l, "(vide)", "(empty)");
    QStringList lines;
    lines << tr2(l, "N° de dossier : %1", "Case number: %1")
                 .arg(s.noDossier.isEmpty() ? none : s.noDossier)
          << tr2(l, "Date de l'audience : %1", "Hearing date: %1")
                 .arg(s.dateCreated.isEmpty() ? none : s.dateCreated)
          << tr2(l, "Greffier : %1", "Clerk: %1").arg(s.userName.isEmpty() ? none : s.userName)
          << tr2(l, "Dernière modification : %1", "Last change: %1").arg(when(s.lastChange, l))
          << tr2(l, "Annotations : %1", "Annotations: %1").arg(s.annotations)
          << tr2(l, "Annotations avec des notes : %1", "Annotations with notes: %1")
                 .arg(s.unsavedNotes)
          << (s.pendingText
                  ? tr2(l, "Des notes étaient en cours de saisie.", "Notes were being typed.")
                  : tr2(l, "Aucune note en cours de saisie.", "No notes being typed."));
    return lines.join(QLatin1Char('\n'));
}

} // namespace orvane
