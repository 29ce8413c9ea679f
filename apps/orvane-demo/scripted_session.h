// The scripted session: plays a clerk's work on the recording screen with real input events,
// then keeps a picture of the screen and the minutes page.
#pragma once

#include <QString>
#include <QStringList>

namespace orvane {

class RecordingWindow;

struct ScriptOptions {
    QString screenshot; // PNG written at the end
    QString minutesOut; // copy of the minutes page written by the view command
};

struct ScriptResult {
    bool ok = false;
    QStringList problems; // what did not happen as expected
};

// Runs the session on a shown window; returns when it is over.
ScriptResult runScriptedSession(RecordingWindow& window, const ScriptOptions& options);

// A session cut short: the clerk opens a case, adds annotations and types notes, and the
// process is killed (SIGKILL) in the middle of a word. Never returns.
[[noreturn]] void runCrashingSession(RecordingWindow& window);

// The start-up after such a crash: checks that the recovery bar offers the session, then keeps a
// picture of the screen.
ScriptResult runRecoveryCheck(RecordingWindow& window, const ScriptOptions& options);

} // namespace orvane
