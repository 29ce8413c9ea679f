// Figures of the control on the Qt platform (offscreen): ResizeGrid against Qt's own
// QTableView::resizeRowsToContents over the same rows in the same run, and, with 10,000
// annotations, the time of each kind of host call and user action, the repaint included,
// against a 16 ms frame. Prints one JSON object.
#include "long_hearing.h"
#include "platform/qt/dalmure_widget_p.h"

#include <QApplication>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <vector>

using namespace dalmure;
using namespace dalmure::test;

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Runs fn, then lets Qt lay out and paint what changed; milliseconds.
double timed(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    QApplication::processEvents();
    return msSince(start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Widget {
    TempAppFolder folder;
    std::unique_ptr<qt::DalmureWidget> w;
    explicit Widget(std::int32_t annotations) {
        folder.copyTemplates();
        qt::QtPlatformOptions options;
        options.now = fixedNow();
        options.htmlProgram = Str();
        w = std::make_unique<qt::DalmureWidget>(QString::fromStdString(folder.native()), nullptr,
                                                options);
        w->resize(640, 480);
        w->show();
        QApplication::processEvents();
        fillGrid(qt::platformOf(*w).grid(), annotations);
        QApplication::processEvents();
    }
    DalmurePrivate& c() { return qt::controlOf(*w); }
    platform::Grid& grid() { return qt::platformOf(*w).grid(); }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::ostringstream out;
    out << "{\"resize\":[";
    bool first = true;
    for (std::int32_t rows : {10000, 100000}) {
        Widget wd(rows / 2);
        std::vector<double> ours, qts;
        // Each round first narrows or widens the frame that holds the grid (untimed), so that
        // the descriptions wrap differently and every row's height really changes, as on a
        // resize of the container.
        platform::Frame& frame3 = qt::platformOf(*wd.w).frame(platform::FrameId::Frame3);
        const std::int32_t wide = frame3.width();
        for (int r = 0; r < 3; ++r) {
            frame3.setWidth(r % 2 == 0 ? wide / 2 : wide);
            QApplication::processEvents();
            ours.push_back(timed([&] { DalmureTestAccess::ResizeGrid(wd.c()); }));
            qts.push_back(timed([&] { qt::platformOf(*wd.w).gridView()->resizeRowsToContents(); }));
        }
        out << (first ? "" : ",") << "{\"rows\":" << rows << ",\"resizegrid_ms\":" << median(ours)
            << ",\"qt_resizerows_ms\":" << median(qts)
            << ",\"ratio\":" << median(ours) / median(qts) << ",\"logged\":" << wd.folder.logCount()
            << ",\"first_log\":\"" << wd.folder.firstLogLine() << "\"}";
        first = false;
    }
    out << "],\"actions\":{";

    Widget wd(10000);
    std::map<std::string, std::vector<double>> actions;
    std::mt19937_64 rng(3);
    std::uniform_int_distribution<std::int64_t> when(0, kDay - 1);
    std::uniform_int_distribution<std::int32_t> which(0, 9999);
    int typed = 0; // characters that reached the editor
    for (int i = 0; i < 30; ++i) {
        Str t = timeText(when(rng)), d = description(static_cast<std::uint64_t>(i)), data;
        actions["call AnnoAdd"].push_back(timed([&] { wd.c().AnnoAdd(t, d, data); }));
        const std::int32_t k = which(rng);
        actions["call AnnoTime/Desc/Data"].push_back(timed([&] {
            (void)wd.c().AnnoTime(k);
            (void)wd.c().AnnoDesc(k);
            (void)wd.c().AnnoData(k);
        }));
        actions["call AnnoCount"].push_back(timed([&] { (void)wd.c().AnnoCount(); }));
        // A click on an annotation's data cell: the current cell moves, then the click handling.
        actions["click (select)"].push_back(timed([&] {
            wd.grid().setRow(2 * k + 1);
            wd.grid().setCol(1);
            DalmureTestAccess::onGridClick(wd.c());
        }));
        QWidget* editor = QApplication::focusWidget();
        const auto before = qt::platformOf(*wd.w).editor().text().size();
        actions["type one character"].push_back(timed([&] {
            if (editor)
                QTest::keyClick(editor, Qt::Key_A);
        }));
        typed += static_cast<int>(qt::platformOf(*wd.w).editor().text().size() - before);
        actions["scroll (top row)"].push_back(timed([&] { wd.grid().setTopRow(2 * which(rng)); }));
        if (i % 10 == 0) {
            std::int32_t index = k;
            actions["call AnnoDelete"].push_back(timed([&] { wd.c().AnnoDelete(index); }));
            actions["resize (container)"].push_back(timed([&] { wd.w->resize(600 + i, 480 + i); }));
            actions["print minutes (GenerateHTML)"].push_back(
                timed([&] { DalmureTestAccess::GenerateHTML(wd.c(), false); }));
        }
    }
    first = true;
    for (auto& [name, v] : actions) {
        out << (first ? "" : ",") << "\"" << name << "\":{\"n\":" << v.size()
            << ",\"median_ms\":" << median(v)
            << ",\"max_ms\":" << *std::max_element(v.begin(), v.end()) << ",\"over_16ms\":"
            << std::count_if(v.begin(), v.end(), [](double x) { return x > 16; }) << "}";
        first = false;
    }
    out << "},\"typed\":" << typed << ",\"logged\":" << wd.folder.logCount() << "}";
    std::cout << out.str() << std::endl;
    return 0;
}
