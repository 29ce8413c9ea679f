// Resident memory of a long list: adds N annotations (default 100,000) of about 60 characters
// each through AnnoAdd, in time order, on the headless platform, and prints one JSON object:
// resident size before and after, the text added, and the growth per annotation.
// With --no-journal as second argument the session journal is closed first (to compare).
#include "dalmure_test_access.h"
#include "long_hearing.h"

#include <cstring>
#include <iostream>
#include <malloc.h>

using namespace dalmure;
using namespace dalmure::test;

namespace {
long residentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}
} // namespace

int main(int argc, char** argv) {
    const std::int32_t n = argc > 1 ? std::atoi(argv[1]) : 100000;
    TempAppFolder folder;
    Rig rig(folder);
    const bool journal = !(argc > 2 && std::strcmp(argv[2], "--no-journal") == 0);
    if (!journal)
        DalmureTestAccess::closeJournal(*rig.control);
    // The texts are made before the first measurement, so that only the control's copies count.
    std::vector<Str> times, descs;
    times.reserve(static_cast<std::size_t>(n));
    descs.reserve(static_cast<std::size_t>(n));
    std::size_t chars = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        times.push_back(timeText(k * (kDay / (n + 1))));
        descs.push_back(description(static_cast<std::uint64_t>(k)));
        chars += times.back().size() + descs.back().size();
    }
    ::malloc_trim(0);
    const long before = residentKiB();
    for (std::int32_t k = 0; k < n; ++k) {
        Str data;
        rig.control->AnnoAdd(times[static_cast<std::size_t>(k)], descs[static_cast<std::size_t>(k)],
                             data);
    }
    const long after = residentKiB();
    const double growth = static_cast<double>(after - before) * 1024.0;
    const double utf8Bytes = static_cast<double>(chars); // the texts are ASCII
    std::cout << "{\"journal\":" << (journal ? "true" : "false") << ",\"annotations\":" << n
              << ",\"rows\":" << rig.platform->grid().rows() << ",\"chars\":" << chars
              << ",\"rss_before_kib\":" << before << ",\"rss_after_kib\":" << after
              << ",\"growth_bytes\":" << growth << ",\"growth_per_annotation\":" << growth / n
              << ",\"budget_utf8_bytes\":" << 2 * utf8Bytes + 200.0 * n
              << ",\"budget_utf16_bytes\":" << 2 * 2 * utf8Bytes + 200.0 * n
              << ",\"logged\":" << folder.logCount() << "}" << std::endl;
    return 0;
}
