// orvane-demo: the recording screen of a court-recording client, hosting the annotation control.
//
//   orvane-demo [--app-folder DIR] [--language fr|en] [--server CONNECTION]
//               [--hearing ID [--follow]]
//   orvane-demo --script [--screenshot FILE.png] [--minutes-out FILE.html] [--app-folder DIR]
//               [--html-program PATH]
//   orvane-demo --script-crash [--app-folder DIR]      (killed while typing notes)
//   orvane-demo --script-recovery [--screenshot FILE.png] [--app-folder DIR]
#include "app_folder.h"
#include "recording_window.h"
#include "scripted_session.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvane-demo"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral("Recording screen hosting the Dalmure control"));
    cli.addHelpOption();
    const QCommandLineOption folderOpt(
        QStringLiteral("app-folder"),
        QStringLiteral("Application folder (default %1)").arg(orvane::defaultAppFolder()),
        QStringLiteral("DIR"));
    const QCommandLineOption languageOpt(QStringLiteral("language"),
                                         QStringLiteral("fr or en (rewrites the INI file)"),
                                         QStringLiteral("LANG"));
    const QCommandLineOption scriptOpt(QStringLiteral("script"),
                                       QStringLiteral("Play the scripted session, then exit"));
    const QCommandLineOption shotOpt(QStringLiteral("screenshot"),
                                     QStringLiteral("PNG written at the end of the session"),
                                     QStringLiteral("FILE"));
    const QCommandLineOption minutesOpt(QStringLiteral("minutes-out"),
                                        QStringLiteral("Copy of the minutes page"),
                                        QStringLiteral("FILE"));
    const QCommandLineOption htmlOpt(QStringLiteral("html-program"),
                                     QStringLiteral("Program that opens the minutes page "
                                                    "(scripted default: a no-op)"),
                                     QStringLiteral("PATH"));
    const QCommandLineOption crashOpt(
        QStringLiteral("script-crash"),
        QStringLiteral("Type notes, then be killed (SIGKILL) in the middle of a word"));
    const QCommandLineOption recoveryOpt(
        QStringLiteral("script-recovery"),
        QStringLiteral("Check that an interrupted session is offered, keep a picture, exit"));
    const QCommandLineOption serverOpt(
        QStringLiteral("server"),
        QStringLiteral("The hearing record's server, kept in the INI file ([Record] Server=)"),
        QStringLiteral("CONNECTION"));
    const QCommandLineOption hearingOpt(QStringLiteral("hearing"),
                                        QStringLiteral("Open this hearing of the record"),
                                        QStringLiteral("ID"));
    const QCommandLineOption followOpt(QStringLiteral("follow"),
                                       QStringLiteral("Follow the hearing, read-only"));
    cli.addOptions({folderOpt, languageOpt, scriptOpt, shotOpt, minutesOpt, htmlOpt, crashOpt,
                    recoveryOpt, serverOpt, hearingOpt, followOpt});
    cli.process(app);

    const QString folder = QDir::cleanPath(
        QDir(cli.isSet(folderOpt) ? cli.value(folderOpt) : orvane::defaultAppFolder())
            .absolutePath());
    QStringList created;
    QString error;
    if (!orvane::prepareAppFolder(folder, orvane::findDataFolder(), &created, &error)) {
        std::fprintf(stderr, "orvane-demo: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString& f : created)
        std::printf("prepared %s\n", qPrintable(f));
    if (cli.isSet(languageOpt))
        orvane::setIniLanguage(folder, cli.value(languageOpt).startsWith(QLatin1String("en"))
                                           ? orvane::Language::English
                                           : orvane::Language::French);

    if (cli.isSet(serverOpt)) {
        // A folder that names a server already keeps it: the INI file is the user's.
        QFile ini(folder + QStringLiteral("/ORClient.INI"));
        const bool named = ini.open(QIODevice::ReadOnly) && ini.readAll().contains("[Record]");
        ini.close();
        if (named || !ini.open(QIODevice::Append) ||
            ini.write("\r\n[Record]\r\nServer=" + cli.value(serverOpt).toLocal8Bit() + "\r\n") < 0)
            std::fprintf(stderr,
                         "orvane-demo: %s/ORClient.INI already names a record server "
                         "or cannot be written; --server is not used\n",
                         qPrintable(folder));
    }

    const bool scripted = cli.isSet(scriptOpt) || cli.isSet(crashOpt) || cli.isSet(recoveryOpt);
    orvane::WindowOptions options;
    if (cli.isSet(htmlOpt))
        options.htmlProgram = cli.value(htmlOpt).toStdU16String();
    else if (scripted) // no real browser in a scripted run
        options.htmlProgram =
            QStandardPaths::findExecutable(QStringLiteral("true")).toStdU16String();

    options.hearing = cli.value(hearingOpt);
    options.follow = cli.isSet(followOpt);
    orvane::RecordingWindow window(folder, options);
    window.show();
    if (!scripted)
        return QApplication::exec();

    (void)QTest::qWaitForWindowExposed(&window);
    window.activateWindow();
    (void)QTest::qWaitForWindowActive(&window, 2000);
    (void)QTest::qWaitFor([&] { return window.control()->isVisible(); });
    orvane::ScriptOptions so;
    so.screenshot =
        cli.isSet(shotOpt) ? QFileInfo(cli.value(shotOpt)).absoluteFilePath() : QString();
    so.minutesOut =
        cli.isSet(minutesOpt) ? QFileInfo(cli.value(minutesOpt)).absoluteFilePath() : QString();
    if (cli.isSet(scriptOpt)) // the scripted session is a hearing of its own
        window.newHearing();
    if (cli.isSet(crashOpt))
        orvane::runCrashingSession(window);
    const orvane::ScriptResult r = cli.isSet(recoveryOpt) ? orvane::runRecoveryCheck(window, so)
                                                          : orvane::runScriptedSession(window, so);
    for (const QString& p : r.problems)
        std::fprintf(stderr, "orvane-demo: not as expected: %s\n", qPrintable(p));
    std::printf("annotations: %d\n", window.control()->annoCount());
    if (!so.screenshot.isEmpty())
        std::printf("screenshot: %s\n", qPrintable(so.screenshot));
    if (!so.minutesOut.isEmpty())
        std::printf("minutes: %s\n", qPrintable(so.minutesOut));
    std::printf("log: %s\n", qPrintable(window.logFile()));
    std::fflush(stdout);
    return r.ok ? 0 : 2;
}
