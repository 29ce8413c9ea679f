// Every notification a platform's components send, as short lines to compare across platforms.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace dalmure::test {

class NotificationLog : public platform::Notifications {
  public:
    explicit NotificationLog(platform::Platform& p) : p_(p) {}

    std::vector<std::string> log;
    std::function<void(std::int16_t&)> onKeyDown;
    std::function<void(std::int16_t&)> onKeyPress;
    // The grid's notifications alone, each with the current cell when it came ("click@3,1").
    bool gridOnly = false;

    void gridClick() override { grid("click"); }
    void gridDblClick() override { grid("dblclick"); }
    void gridKeyPress(std::int16_t& k) override { grid("gridkey " + std::to_string(k)); }
    void gridLeaveCell() override { grid("leave"); }
    void gridScroll() override { grid("scroll"); }
    void gridMouseMove(int, int, double, double) override {}
    // The right button only: the one the control acts on.
    void gridMouseUp(int button, int, double, double) override {
        if (button == platform::kRightButton)
            grid("mouseup " + std::to_string(button));
    }
    void editorChange() override { note("change " + toUtf8(p_.editor().text())); }
    void editorGotFocus() override { note("got"); }
    void editorLostFocus() override { note("lost"); }
    void editorKeyDown(std::int16_t& k, int shift) override {
        note("down " + std::to_string(k) + (shift ? "+shift" : ""));
        if (onKeyDown)
            onKeyDown(k);
    }
    void editorKeyPress(std::int16_t& k) override {
        note("press " + std::to_string(k));
        if (onKeyPress)
            onKeyPress(k);
    }
    void editorKeyUp(std::int16_t& k, int) override { note("up " + std::to_string(k)); }
    void buttonClick(platform::ButtonId b) override {
        note("button " + std::string(platform::buttonName(b)));
    }
    void buttonMouseMove(platform::ButtonId) override {}
    void menuClick(platform::MenuItemId m) override {
        note("menuclick " + std::string(platform::menuItemName(m)));
    }
    void surfaceMouseMove(int, int, double, double) override {}
    void surfaceEnterFocus() override { note("enter"); }
    void surfaceResize() override {}
    void ambientChanged(const Str&) override {}

  private:
    void grid(std::string what) {
        if (gridOnly)
            what += "@" + std::to_string(p_.grid().row()) + "," + std::to_string(p_.grid().col());
        log.push_back(std::move(what));
    }
    void note(std::string what) {
        if (!gridOnly)
            log.push_back(std::move(what));
    }
    platform::Platform& p_;
};

using Log = std::vector<std::string>;

} // namespace dalmure::test
