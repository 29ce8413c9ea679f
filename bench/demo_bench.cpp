// The recording screen's quick-annotation path on Qt: F2 pressed in the demo window holding
// 1,000 annotations, timed from the key event to the frame that shows the new annotation; then
// 500 presses at 20 ms intervals into the running window, with the gaps between the grid's
// frames, the stalls of the event loop and how late the presses were stamped. Keys enter
// through Qt's window-system entry (offered as a shortcut, as the display server's keys are),
// carrying the time they were due on the monotonic clock, as an X server stamps them. Prints
// one JSON object.
//
//   dalmure_demo_bench [--annotations N] [--singles N] [--burst N] [--interval MS]
//
// Run it on a display (xvfb-run -a) or with QT_QPA_PLATFORM=offscreen.
#include "app_folder.h"
#include "recording_window.h"
#include "sample_hearing.h"

#include "platform/qt/dalmure_widget_p.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// One clock for the whole run, in milliseconds from the start, and the monotonic clock's
// reading at that start (what display servers stamp events with).
QElapsedTimer clock_;
qint64 monotonicAtStart = 0;
double nowMs() {
    return double(clock_.nsecsElapsed()) / 1e6;
}
// Processor time of this thread: what the window's own work costs, whatever else runs.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Notes when a widget is painted.
class PaintProbe : public QObject {
  public:
    std::vector<double> times;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            times.push_back(nowMs());
        return QObject::eventFilter(o, e);
    }
};

double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double maximum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// A key pressed at `dueMs` (this run's clock) and released, through the window-system entry.
void pressKey(QWidget* window, Qt::Key key, double dueMs) {
    QWindow* w = window->windowHandle();
    const auto stamp = static_cast<quint32>(monotonicAtStart + qint64(dueMs));
    qt_sendShortcutOverrideEvent(w, stamp, key, Qt::NoModifier);
    qt_handleKeyEvent(w, QEvent::KeyRelease, key, Qt::NoModifier);
}

// Lets every pending event (timers, layout, paint) run for `ms`.
void settle(int ms) {
    const double end = nowMs() + ms;
    while (nowMs() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

int argInt(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

// The machine's load average over the last minute (other processes compete for the cores).
double loadAverage() {
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

int secondsOf(const QString& time) {
    return QTime::fromString(time, QStringLiteral("HH:mm:ss")).msecsSinceStartOfDay() / 1000;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const int annotations = argInt(argc, argv, "--annotations", 1000);
    const int singles = argInt(argc, argv, "--singles", 100);
    const int burst = argInt(argc, argv, "--burst", 500);
    const int interval = argInt(argc, argv, "--interval", 20);
    clock_.start();
    monotonicAtStart = clock_.msecsSinceReference();

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/app");
    if (!orvane::prepareAppFolder(folder, orvane::findDataFolder(), nullptr, nullptr)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder));
        return 1;
    }
    orvane::WindowOptions options;
    options.htmlProgram = u"true";
    orvane::RecordingWindow window(folder, options);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    window.activateWindow();
    (void)QTest::qWaitForWindowActive(&window, 2000);
    (void)QTest::qWaitFor([&] { return window.control()->isVisible(); });

    // The list: the sample hearing, then its annotations again a second later each round,
    // notes included, through the host's own call, until there are `annotations`.
    window.loadSampleHearing();
    const orvane::SampleHearing h = orvane::sampleHearing(window.language());
    auto* control = window.control();
    for (int round = 1; control->annoCount() < annotations; ++round)
        for (const orvane::SampleAnnotation& a : h.annotations) {
            if (control->annoCount() >= annotations)
                break;
            const QString t = QTime::fromString(a.time, QStringLiteral("HH:mm:ss"))
                                  .addSecs(round)
                                  .toString(QStringLiteral("HH:mm:ss"));
            control->annoAdd(t, a.description, a.notes);
        }
    window.advanceRecording(600);
    const int start = control->annoCount();
    // One press untimed: the first one after the list was filled behind the window's back.
    const double warm = nowMs();
    pressKey(&window, Qt::Key_F2, warm);
    std::fprintf(stderr, "first press (reads the whole list for the time line): %.1f ms\n",
                 nowMs() - warm);
    settle(300);

    QTableView* grid = dalmure::qt::platformOf(*control).gridView();
    PaintProbe probe;
    grid->viewport()->installEventFilter(&probe);

    // 1. Single presses: from the key event to the frame that shows the new annotation (the
    // grid painted and the event loop idle again). The list grows by one each time.
    std::vector<double> latency, handled, cpu;
    for (int i = 0; i < singles; ++i) {
        settle(30);
        const std::size_t before = probe.times.size();
        const int count = control->annoCount();
        const double c0 = cpuMs();
        const double t0 = nowMs();
        pressKey(&window, Qt::Key_F2, t0);
        handled.push_back(nowMs() - t0);
        while (probe.times.size() == before && nowMs() - t0 < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        latency.push_back(nowMs() - t0);
        cpu.push_back(cpuMs() - c0);
        if (control->annoCount() != count + 1) {
            std::fprintf(stderr, "press %d added %d annotations\n", i,
                         control->annoCount() - count);
            return 1;
        }
    }
    settle(200);

    // 2. A burst: `burst` presses, one due every `interval` ms; a press that falls due while
    // the window is busy is delivered as soon as the event loop runs again, as a queued key of
    // the display server would be, with the time it was due. The grid's frames and the ticks
    // of a 5 ms heartbeat (the event loop's stalls) are noted.
    probe.times.clear();
    const int first = control->annoCount();
    std::vector<double> ticks, late;
    std::vector<int> dueSecond; // recording second at which each press was due
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ticks.push_back(nowMs()); });
    heartbeat.start(5);
    int sent = 0;
    const double b0 = nowMs() + interval;
    QTimer driver;
    driver.setTimerType(Qt::PreciseTimer);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        while (sent < burst && nowMs() >= b0 + sent * double(interval)) {
            const double due = b0 + sent * double(interval);
            const double lateMs = nowMs() - due;
            late.push_back(lateMs);
            // The recorder runs through the burst: the second it showed when the key was due.
            dueSecond.push_back(window.recordingSecond() - int(lateMs / 1000.0 + 0.5));
            ++sent;
            pressKey(&window, Qt::Key_F2, due);
        }
        if (sent == burst)
            driver.stop();
    });
    driver.start(1);
    while (sent < burst && nowMs() - b0 < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    const double lastPress = nowMs();
    settle(300);
    heartbeat.stop();
    const int added = control->annoCount() - first;

    // Gaps between the grid's frames from the first press to the first frame after the last
    // one; the event loop's longest stall over the same span.
    std::vector<double> gaps, stalls, stampLag;
    double prev = b0;
    for (double t : probe.times) {
        if (t < b0)
            continue;
        gaps.push_back(t - prev);
        prev = t;
        if (t > lastPress)
            break;
    }
    prev = b0;
    for (double t : ticks) {
        if (t < b0 || t > lastPress)
            continue;
        stalls.push_back(t - prev);
        prev = t;
    }
    // The burst's annotations come last, in order (their times only grow).
    for (int k = 0; k < added && k < int(dueSecond.size()); ++k)
        stampLag.push_back(secondsOf(control->annoTime(first + k)) - dueSecond[std::size_t(k)]);

    std::printf(
        "{\"platform\":\"%s\",\"annotations\":%d,\"load\":%.1f,"
        "\"single\":{\"n\":%zu,\"p50_ms\":%.2f,\"p95_ms\":%.2f,\"max_ms\":%.2f,"
        "\"handled_p50_ms\":%.2f,\"handled_p95_ms\":%.2f,\"cpu_p50_ms\":%.2f},"
        "\"burst\":{\"presses\":%d,\"interval_ms\":%d,\"added\":%d,\"span_ms\":%.0f,"
        "\"frames\":%zu,\"max_frame_gap_ms\":%.2f,\"p95_frame_gap_ms\":%.2f,"
        "\"max_loop_stall_ms\":%.2f,\"max_press_delay_ms\":%.2f,\"max_stamp_lag_s\":%.0f}}\n",
        qPrintable(QGuiApplication::platformName()), start, loadAverage(), latency.size(),
        quantile(latency, 0.5), quantile(latency, 0.95), maximum(latency), quantile(handled, 0.5),
        quantile(handled, 0.95), quantile(cpu, 0.5), burst, interval, added, lastPress - b0,
        gaps.size(), maximum(gaps), quantile(gaps, 0.95), maximum(stalls), maximum(late),
        maximum(stampLag));
    return added == burst ? 0 : 2;
}
