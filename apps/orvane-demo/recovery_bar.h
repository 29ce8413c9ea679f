// The bar over the control that offers what a session ended by a crash or a kill left behind:
// the newest such session, with Recover, Show and Discard (a damaged one can only be discarded).
#pragma once

#include "app_folder.h"
#include <dalmure/dalmure_widget.h>

#include <QFrame>
#include <QList>

class QLabel;
class QPushButton;

namespace orvane {

class RecoveryBar : public QFrame {
    Q_OBJECT

  public:
    using Session = dalmure::qt::DalmureWidget::RecoverableSession;

    explicit RecoveryBar(QWidget* parent = nullptr);

    // Offers the newest of `sessions` (hidden when there is none), in `language`.
    void offer(QList<Session> sessions, Language language);
    // The session on offer; nullptr when the bar is hidden.
    const Session* offered() const { return sessions_.isEmpty() ? nullptr : &sessions_.front(); }
    // What the session holds, one line per item, for the Show dialog.
    static QString summary(const Session& s, Language language);

    QLabel* message() const { return message_; }
    QPushButton* recoverButton() const { return recover_; }
    QPushButton* showButton() const { return show_; }
    QPushButton* discardButton() const { return discard_; }

  signals:
    void recoverRequested(const QString& id);
    void showRequested(const QString& id);
    void discardRequested(const QString& id);

  private:
    QString t(const char* fr, const char* en) const;

    QList<Session> sessions_; // newest first
    Language language_ = Language::French;
    QLabel* message_ = nullptr;
    QPushButton* recover_ = nullptr;
    QPushButton* show_ = nullptr;
    QPushButton* discard_ = nullptr;
};

} // namespace orvane
