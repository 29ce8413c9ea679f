// The prompt and the message box, shown modal over the host's window.
#include "platform/qt/qt_internal.h"

#include <QInputDialog>
#include <QMessageBox>

namespace dalmure::qt {

Str QtDialogs::inputBox(const Str& message, const Str& title, const Str& defaultText) {
    QInputDialog dlg(ctx_.surface ? ctx_.surface->window() : nullptr);
    dlg.setObjectName(QStringLiteral("dalmurePrompt"));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(toQ(title));
    dlg.setLabelText(toQ(message));
    dlg.setTextValue(toQ(defaultText));
    ctx_.driveModal(&dlg);
    const Str answer = dlg.exec() == QDialog::Accepted ? fromQ(dlg.textValue()) : Str();
    if (ctx_.happenings)
        ctx_.happenings->prompt(title, message, defaultText, answer);
    return answer;
}

void QtDialogs::messageBox(const Str& message, const Str& title) {
    QMessageBox box(QMessageBox::Information, toQ(title), toQ(message), QMessageBox::Ok,
                    ctx_.surface ? ctx_.surface->window() : nullptr);
    box.setObjectName(QStringLiteral("dalmureMessage"));
    ctx_.driveModal(&box);
    box.exec();
    if (ctx_.happenings)
        ctx_.happenings->messageBox(title, message);
}

} // namespace dalmure::qt
