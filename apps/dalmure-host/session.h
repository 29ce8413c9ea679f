// One dalmure-host session: a control on a platform, driven by JSON requests, one per line.
#pragma once

#include "control/dalmure_p.h"
#include "host_platform.h"
#include "record/station.h"
#include <dalmure/events.h>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <deque>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>

namespace dalmure::host {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

struct SessionOptions {
    Str appDir; // absolute, no trailing "/"
    std::int32_t width = 9600;
    std::int32_t height = 7200;
    // The hearing record: its connection string ("" for the INI file's [Record] Server=, or
    // HearingRecord.db of the application folder), the hearing opened at start, this station's
    // name, and whether the station only follows the hearing.
    std::optional<std::string> record;
    std::string hearing;
    std::string station = "dalmure-host";
    bool follow = false;
};

class Session final : private DalmureEvents, private headless::HappeningSink {
  public:
    Session(HostPlatform& platform, SessionOptions options, std::ostream& out);
    ~Session() override;

    // Limits on one request line, each refused with its own error reply: its length in bytes
    // before the LF (a longer line is read to its end without being kept), and how deep arrays
    // and objects nest in it (the request object itself is level 1).
    static constexpr std::size_t kMaxLineBytes = 1 << 20;
    static constexpr int kMaxNesting = 64;

    // Creates the control (start-up), sizes it, then answers every request of in. Returns the
    // exit code.
    int run(std::istream& in);

    // Answers one request line (exposed for tools that drive a session in-process).
    void handleLine(const std::string& line);

  private:
    // Every request by its "op", and the handler that answers it.
    using OpHandler = OrderedJson (*)(Session& session, const Json& request);
    using OpTable = std::map<std::string, OpHandler, std::less<>>;
    static const OpTable& operations();

    OrderedJson handle(const Json& request);
    OrderedJson call(const Json& request);
    OrderedJson get(const Json& request);
    OrderedJson set(const Json& request);
    OrderedJson reply(const Json& request);
    // A click, or a double click (twice), on the cell the request names.
    OrderedJson click(const Json& request, bool twice);
    OrderedJson gridView();
    OrderedJson editorView();
    OrderedJson findBarView();
    OrderedJson buttonsView();
    OrderedJson controlView();
    OrderedJson inspectView();
    // The hearing record's requests: "create", "open" (hearing, follow), "poll", "status",
    // "hearings", "history" (index).
    OrderedJson recordRequest(const Json& request);
    void attachRecord(bool follow);

    void emit(const OrderedJson& line);
    void emitEvent(const char* name, OrderedJson args);
    // The next queued reply for an event, or null.
    Json nextReply(const std::string& event);

    // --- DalmureEvents ---
    void AnnoDeleteRequest(std::int16_t& AnnoIndex) override;
    void AnnoModified(std::int16_t AnnoIndex) override;
    void AnnoRecovered(std::int16_t AnnoIndex) override;
    void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                          bool& Cancel) override;
    void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) override;
    void DblClick() override;
    void ToolTipChanged(Str& ToolTipText) override;

    // --- HappeningSink ---
    void prompt(const Str& title, const Str& message, const Str& defaultText,
                const Str& answer) override;
    void messageBox(const Str& title, const Str& message) override;
    void menu(const std::vector<headless::MenuItemState>& items,
              std::optional<platform::MenuItemId> chosen) override;
    void launch(const Str& program, const Str& parameters) override;
    void navigate(const Str& path) override;
    void printSize(std::int16_t size) override;
    void pointer(int pointer) override;

    HostPlatform& platform_;
    SessionOptions options_;
    std::ostream& out_;
    std::unique_ptr<DalmurePrivate> control_;
    std::map<std::string, std::deque<Json>> replies_;
    std::unique_ptr<record::Station> station_;
};

// "YYYY-MM-DDTHH:MM:SS.cc" (the hundredths may be left out); false when the text is not one.
bool parseInstant(const std::string& text, platform::LocalTime& out);

} // namespace dalmure::host
