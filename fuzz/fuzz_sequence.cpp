// Drives a headless control with a random sequence of host calls and user actions and checks,
// after every step, what must always hold (tests/support/session_invariants.h) and that nothing
// but the documented raise of BackColor's let form reaches the host.
#include "fuzz_support.h"
#include "platform/ids.h"
#include "session_invariants.h"
#include "support/errors.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>

using namespace dalmure;

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
    std::abort();
}

// A host that answers events as the fuzzer tells it.
struct Host : DalmureEvents {
    FuzzedDataProvider* in = nullptr;
    void AnnoDeleteRequest(std::int16_t& AnnoIndex) override {
        if (in->ConsumeBool())
            AnnoIndex = in->ConsumeIntegralInRange<std::int16_t>(-2, 40);
    }
    void AnnoModified(std::int16_t) override {}
    void AnnoModifiedDesc(std::int16_t&, Str&, Str& NewDesc, bool& Cancel) override {
        Cancel = in->ConsumeBool();
        if (in->ConsumeBool())
            NewDesc = u"host";
    }
    void AnnoAdded(Str&, Str&) override {}
    void DblClick() override {}
    void ToolTipChanged(Str&) override {}
};

Str someTime(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return Str();
    case 1:
        return fromCp1252(in.ConsumeRandomLengthString(12));
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", in.ConsumeIntegralInRange<int>(0, 2),
                      in.ConsumeIntegralInRange<int>(0, 5), in.ConsumeIntegralInRange<int>(0, 59));
        return fromUtf8(buf);
    }
    }
}

Str someText(FuzzedDataProvider& in) {
    return fromCp1252(in.ConsumeRandomLengthString(24));
}

std::int32_t someIndex(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
        return in.ConsumeIntegral<std::int32_t>();
    return in.ConsumeIntegralInRange<std::int32_t>(-2, 24);
}

struct Checker {
    fuzz::Rig* rig;
    std::string logFile;
    std::size_t logSeen = 0;
    test::SessionInvariants invariants;

    explicit Checker(fuzz::Rig& r) : rig(&r), logFile(r.folder + "/Log/2026-03/Dalmure.Log") {}

    void check() {
        const std::string broken = invariants.checkGrid(*rig->control, rig->platform->grid());
        if (!broken.empty())
            fail(broken.c_str());

        const std::string log = fuzz::readFile(logFile);
        if (log.size() < logSeen)
            fail("log shrank");
        std::size_t pos = logSeen;
        while (pos < log.size()) {
            const std::size_t end = log.find("\r\n", pos);
            if (end == std::string::npos)
                fail("log line without CR LF");
            const std::string line = log.substr(pos, end - pos);
            if (line.size() < 2 || line.front() != '"' || line.back() != '"')
                fail("log line unquoted", line);
            const std::string wrong =
                test::SessionInvariants::checkLogLine(line.substr(1, line.size() - 2));
            if (!wrong.empty())
                fail(wrong.c_str());
            pos = end + 2;
        }
        logSeen = pos;
    }
};

void step(FuzzedDataProvider& in, fuzz::Rig& rig) {
    DalmurePrivate& c = *rig.control;
    headless::HeadlessPlatform& p = *rig.platform;
    switch (in.ConsumeIntegralInRange<int>(0, 22)) {
    case 0:
    case 1: {
        Str t = someTime(in), d = someText(in), data = in.ConsumeBool() ? Str() : someText(in);
        c.AnnoAdd(t, d, data);
        break;
    }
    case 2:
        (void)c.AnnoCount();
        break;
    case 3: {
        const std::int32_t i = someIndex(in);
        (void)c.AnnoTime(i);
        (void)c.AnnoDesc(i);
        (void)c.AnnoData(i);
        break;
    }
    case 4: {
        std::int32_t i = someIndex(in);
        c.AnnoDelete(i);
        break;
    }
    case 5:
        if (in.ConsumeIntegralInRange<int>(0, 3) == 0)
            c.ClearAll();
        break;
    case 6: {
        const double v = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>()
                                          : static_cast<double>(in.ConsumeIntegral<std::int32_t>());
        try {
            c.LetBackColor(v); // the one member here documented to raise
        } catch (const ControlError&) {
        }
        break;
    }
    case 7: {
        bool v = in.ConsumeBool();
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            c.NoPlay(v);
            break;
        case 1:
            c.NoPV(v);
            break;
        case 2:
            c.NoModif(v);
            break;
        default:
            c.AllowRefreshPV(v);
            break;
        }
        break;
    }
    case 8:
        (void)p.userClick(in.ConsumeIntegralInRange<std::int32_t>(-1, 24),
                          in.ConsumeIntegralInRange<std::int32_t>(-1, 2));
        break;
    case 9:
        (void)p.userDblClick(in.ConsumeIntegralInRange<std::int32_t>(0, 24),
                             in.ConsumeIntegralInRange<std::int32_t>(0, 1));
        break;
    case 10: {
        std::optional<std::string> choose;
        if (in.ConsumeBool())
            choose = std::string(platform::menuItemName(
                platform::kAllMenuItems[in.ConsumeIntegralInRange<std::size_t>(0, 6)]));
        (void)p.userRightClick(in.ConsumeIntegralInRange<std::int32_t>(0, 24),
                               in.ConsumeIntegralInRange<std::int32_t>(0, 1), choose);
        break;
    }
    case 11:
        p.userKeyPress(in.ConsumeIntegral<std::int16_t>());
        break;
    case 12:
    case 13: {
        static const char16_t keys[] = u"ab \r\b\x1b'|+&\\x";
        Str text;
        const int n = in.ConsumeIntegralInRange<int>(1, 8);
        for (int i = 0; i < n; ++i)
            text += in.ConsumeBool() ? keys[in.ConsumeIntegralInRange<int>(0, 11)]
                                     : static_cast<char16_t>(in.ConsumeIntegral<std::uint8_t>());
        (void)p.userType(text);
        break;
    }
    case 14:
        if (in.ConsumeBool())
            p.userBlur();
        else
            p.userFocus();
        break;
    case 15:
        (void)p.userButton(platform::kAllButtons[in.ConsumeIntegralInRange<std::size_t>(0, 6)]);
        break;
    case 16: {
        static const char* const over[] = {"CWButton1", "CWButton3", "CWButton6(0)", "grid",
                                           "surface"};
        (void)p.userHover(over[in.ConsumeIntegralInRange<int>(0, 4)]);
        break;
    }
    case 17:
        (void)p.userScroll(in.ConsumeBool() ? std::nullopt
                                            : std::optional<std::int32_t>(
                                                  in.ConsumeIntegralInRange<std::int32_t>(-1, 24)));
        break;
    case 18:
        p.userResize(in.ConsumeIntegralInRange<std::int32_t>(-100, 20000),
                     in.ConsumeIntegralInRange<std::int32_t>(-100, 20000));
        break;
    case 19:
        if (in.ConsumeBool())
            p.queueAnswer(in.ConsumeBool() ? someTime(in) : someText(in));
        else
            p.queueCancel();
        break;
    case 20:
        c.PVStyle = in.ConsumeIntegral<std::int16_t>();
        c.PVFontSize = in.ConsumeIntegral<std::int16_t>();
        c.LockPVStyle = in.ConsumeBool();
        break;
    case 21:
        c.focusNotesEditor();
        p.userAmbient(in.ConsumeBool() ? u"BackColor" : u"Font");
        break;
    default: {
        Str path = fromUtf8(rig.folder) + u"/Log";
        (void)c.GetLogPath(path);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        const std::string f = fuzz::scratchFolder() + "/seq";
        std::filesystem::create_directories(f);
        std::filesystem::copy_file(std::string(DALMURE_SOURCE_DIR) +
                                       "/share/templates/pvTemplateFRA.html",
                                   f + "/pvTemplateFRA.html");
        return f;
    }();
    std::error_code ec;
    std::filesystem::remove_all(folder + "/Log", ec);
    std::filesystem::remove(folder + "/pvData.html", ec);

    FuzzedDataProvider in(data, size);
    fuzz::Rig rig(folder);
    Host host;
    host.in = &in;
    rig.control->setEventSink(&host);
    Checker checker(rig);
    try {
        checker.check();
        for (int n = 0; n < 64 && in.remaining_bytes() > 0; ++n) {
            step(in, rig);
            checker.check();
        }
    } catch (const std::exception& e) {
        fail("exception reached the host", e.what());
    } catch (...) {
        fail("exception reached the host");
    }
    return 0;
}
