// Typed fixtures: each test runs on the "headless" platform and, when built, on "qt" (real
// widgets fed real input events), reached through the driver every host uses (host_platform.h).
#pragma once

#include "control/dalmure_p.h"
#include "host_platform.h"
#include "notification_log.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

namespace dalmure::conformance {

// A platform kind: std::false_type for the headless one, std::true_type for Qt.
#ifdef DALMURE_HOST_WITH_QT
using Platforms = ::testing::Types<std::false_type, std::true_type>;
#else
using Platforms = ::testing::Types<std::false_type>;
#endif
struct PlatformNames {
    template <class T> static std::string GetName(int) { return T::value ? "qt" : "headless"; }
};

// Members go in reverse order: the control before the platform it draws on.
template <class Kind> class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::PlatformOptions options;
        options.name = PlatformNames::GetName<Kind>(0);
        options.now = test::fixedNow();
        std::string error;
        host_ = host::createHostPlatform(options, error);
        ASSERT_TRUE(host_) << error;
        host_->setHappeningSink(&happenings);
    }

    static constexpr bool isQt() { return Kind::value; }
    host::HostPlatform& user() { return *host_; }
    platform::Platform& platform() { return host_->platform(); }
    platform::Grid& grid() { return platform().grid(); }
    platform::TextBox& editor() { return platform().editor(); }

    // A control in a folder with the catalogue and the templates, sized as a container sizes it.
    DalmurePrivate& startControl() {
        app.copyCatalogue();
        app.copyTemplates();
        control_ = std::make_unique<DalmurePrivate>(platform(), app.path());
        control_->setEventSink(&events);
        host_->userResize(9600, 7200);
        return *control_;
    }
    DalmurePrivate& control() { return *control_; }

    test::TempAppFolder app;
    test::RecordingEvents events;
    test::RecordingHappenings happenings;

  private:
    std::unique_ptr<host::HostPlatform> host_;
    std::unique_ptr<DalmurePrivate> control_;
};

// "hh:mm:ss", i seconds after 08:00:00.
inline Str timeAt(int i) {
    char buffer[16];
    const int s = 8 * 3600 + i;
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return test::u(buffer);
}

// The number of the error f raises, 0 when none.
inline std::int32_t errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const ControlError& e) {
        return e.number();
    }
    return 0;
}

// Values in one line, space-separated, to compare many at once.
template <class... T> std::string line(const T&... values) {
    std::ostringstream out;
    ((out << values << ' '), ...);
    std::string text = out.str();
    text.pop_back();
    return text;
}

using test::Log;
using test::NotificationLog;

// The grid's frame shown, as start-up leaves it, and every notification written down in rec.
template <class Kind> class LoggedPlatformTest : public PlatformTest<Kind> {
  protected:
    void SetUp() override {
        PlatformTest<Kind>::SetUp();
        rec = std::make_unique<NotificationLog>(this->platform());
        this->platform().setNotifications(rec.get());
        this->platform().frame(platform::FrameId::Frame3).setVisible(true);
    }
    void TearDown() override { this->platform().setNotifications(nullptr); }
    // The editor shown with the focus and the caret at the end, as the control opens it.
    void openEditor(const Str& text = u"") {
        platform::TextBox& ed = this->editor();
        ed.setText(text);
        ed.setVisible(true);
        ed.setFocus();
        ed.setSelStart(static_cast<std::int32_t>(text.size()));
        rec->log.clear();
    }

    std::unique_ptr<NotificationLog> rec;
};

} // namespace dalmure::conformance
