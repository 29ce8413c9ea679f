#include "session.h"

#include "support/errors.h"
#include "support/ini_reader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

namespace dalmure::host {

namespace {

// A request the host cannot carry out: answered with ok:false and this text.
class Refused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string utf8(StrView s) {
    return toUtf8(s);
}

const std::string kTooLong =
    "a request line may hold at most " + std::to_string(Session::kMaxLineBytes) + " bytes";
const std::string kTooDeep = "a request may nest arrays and objects at most " +
                             std::to_string(Session::kMaxNesting) + " deep";

enum class LineRead { Line, TooLong, End };

// Reads the next line (without its LF) into line. A line longer than limit bytes is read to its
// end without being kept: the line is then left holding its first limit bytes only.
LineRead readLine(std::streambuf& in, std::string& line, std::size_t limit) {
    using Traits = std::streambuf::traits_type;
    line.clear();
    bool any = false, tooLong = false;
    for (auto c = in.sbumpc(); !Traits::eq_int_type(c, Traits::eof()); c = in.sbumpc()) {
        any = true;
        const char ch = Traits::to_char_type(c);
        if (ch == '\n')
            return tooLong ? LineRead::TooLong : LineRead::Line;
        if (line.size() < limit)
            line.push_back(ch);
        else
            tooLong = true;
    }
    if (!any)
        return LineRead::End;
    return tooLong ? LineRead::TooLong : LineRead::Line;
}

// Whether the JSON text opens more than limit arrays and objects inside one another; brackets
// inside strings do not count. The text need not be valid JSON: the parser judges that, and
// stops at the first stray closing bracket.
bool nestsDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

OrderedJson okReply(OrderedJson result) {
    OrderedJson r;
    r["ok"] = true;
    r["result"] = std::move(result);
    return r;
}

// A whole number held by a JSON value (an integral float counts), or nullopt.
std::optional<long long> wholeNumber(const Json& v) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() &&
            v.get<unsigned long long>() >
                static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
            return std::nullopt;
        }
        return v.get<long long>();
    }
    if (v.is_number_float()) {
        double d = v.get<double>();
        if (std::isfinite(d) && d == std::floor(d) && d >= -9.2e18 && d <= 9.2e18) {
            return static_cast<long long>(d);
        }
    }
    return std::nullopt;
}

std::int32_t int32Arg(const Json& v, const char* what) {
    auto n = wholeNumber(v);
    if (!n || *n < std::numeric_limits<std::int32_t>::min() ||
        *n > std::numeric_limits<std::int32_t>::max()) {
        throw Refused(std::string(what) + " must be a whole number in the signed 32-bit range");
    }
    return static_cast<std::int32_t>(*n);
}

std::int64_t int64Arg(const Json& v, const char* what) {
    auto n = wholeNumber(v);
    if (!n)
        throw Refused(std::string(what) + " must be a whole number (ms since the epoch)");
    return *n;
}

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int16_t integerArg(const Json& v, const char* what) {
    auto n = wholeNumber(v);
    if (!n || *n < -32768 || *n > 32767) {
        throw Refused(std::string(what) + " must be an Integer (-32768..32767)");
    }
    return static_cast<std::int16_t>(*n);
}

Str stringArg(const Json& v, const char* what) {
    if (!v.is_string()) {
        throw Refused(std::string(what) + " must be a string");
    }
    return fromUtf8(v.get<std::string>());
}

std::string sessionIdArg(const Json& v) {
    if (!v.is_string()) {
        throw Refused("the session id must be a string");
    }
    return v.get<std::string>();
}

bool boolArg(const Json& v, const char* what) {
    if (!v.is_boolean()) {
        throw Refused(std::string(what) + " must be true or false");
    }
    return v.get<bool>();
}

const Json& field(const Json& request, const char* name) {
    auto it = request.find(name);
    if (it == request.end()) {
        throw Refused(std::string("missing \"") + name + "\"");
    }
    return *it;
}

std::string nameField(const Json& request, const char* name) {
    const Json& v = field(request, name);
    if (!v.is_string()) {
        throw Refused(std::string("\"") + name + "\" must be a string");
    }
    return v.get<std::string>();
}

// Font sizes print as integers when they are whole.
OrderedJson number(double d) {
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
        return static_cast<long long>(d);
    }
    return d;
}

OrderedJson pointerName(int pointer) {
    if (pointer == platform::kPointerBusy) {
        return "busy";
    }
    if (pointer == platform::kPointerDefault) {
        return "default";
    }
    return pointer;
}

// The by-reference arguments a `reply` may assign, per event, with their types.
enum class ArgType { Integer, String, Boolean };
struct EventArg {
    const char* name;
    ArgType type;
};
const std::map<std::string, std::vector<EventArg>>& replyableArgs() {
    static const std::map<std::string, std::vector<EventArg>> table{
        {"AnnoDeleteRequest", {{"AnnoIndex", ArgType::Integer}}},
        {"AnnoModified", {}},
        {"AnnoModifiedDesc",
         {{"AnnoIndex", ArgType::Integer},
          {"OldDesc", ArgType::String},
          {"NewDesc", ArgType::String},
          {"Cancel", ArgType::Boolean}}},
        {"AnnoAdded", {{"AnnoTime", ArgType::String}, {"AnnoDesc", ArgType::String}}},
        {"DblClick", {}},
        {"AnnoRecovered", {}},
        {"ToolTipChanged", {{"ToolTipText", ArgType::String}}},
    };
    return table;
}

void assignIfSet(const Json& reply, const char* name, std::int16_t& target) {
    if (reply.is_object() && reply.contains(name)) {
        target = static_cast<std::int16_t>(*wholeNumber(reply[name]));
    }
}
void assignIfSet(const Json& reply, const char* name, Str& target) {
    if (reply.is_object() && reply.contains(name)) {
        target = fromUtf8(reply[name].get<std::string>());
    }
}
void assignIfSet(const Json& reply, const char* name, bool& target) {
    if (reply.is_object() && reply.contains(name)) {
        target = reply[name].get<bool>();
    }
}

platform::ButtonId buttonArg(const std::string& name) {
    platform::ButtonId id{};
    if (!platform::buttonFromName(name, id)) {
        throw Refused("unknown button \"" + name + "\"");
    }
    return id;
}

// The grid cell a user request names.
std::pair<std::int32_t, std::int32_t> cellArg(const Json& request) {
    const std::int32_t row = int32Arg(field(request, "row"), "row");
    const std::int32_t col = int32Arg(field(request, "col"), "col");
    if (col < 0 || col > 1) {
        throw Refused("col must be 0 or 1");
    }
    if (row < 0) {
        throw Refused("row must not be negative");
    }
    return {row, col};
}

Refused noSuchRow(std::int32_t row) {
    return Refused("row " + std::to_string(row) + " does not exist");
}

// A host member a `call` reaches: how many arguments it takes, and how it runs. run leaves the
// member's answer in result and its arguments, as the member left them, in after.
struct HostMember {
    std::size_t least, most;
    void (*run)(DalmurePrivate& c, const Json& args, OrderedJson& result, OrderedJson& after);
};

// AnnoTime, AnnoDesc and AnnoData: one field of the annotation an index names.
template <auto read>
void readAnnotation(DalmurePrivate& c, const Json& args, OrderedJson& result, OrderedJson& after) {
    std::int32_t index = int32Arg(args[0], "AnnoIndex");
    result = utf8((c.*read)(index));
    after = {index};
}

const std::map<std::string, HostMember, std::less<>>& hostMembers() {
    using A = const Json&;
    using O = OrderedJson&;
    static const std::map<std::string, HostMember, std::less<>> table{
        {"AnnoAdd",
         {2, 3,
          [](DalmurePrivate& c, A args, O, O after) {
              Str t = stringArg(args[0], "strAnnoTime");
              Str d = stringArg(args[1], "strAnnoDesc");
              Str data = args.size() > 2 ? stringArg(args[2], "strAnnoData") : Str();
              c.AnnoAdd(t, d, data);
              after = {utf8(t), utf8(d)};
              if (args.size() > 2) {
                  after.push_back(utf8(data));
              }
          }}},
        {"AnnoCount", {0, 0, [](DalmurePrivate& c, A, O result, O) { result = c.AnnoCount(); }}},
        {"AnnoTime", {1, 1, readAnnotation<&DalmurePrivate::AnnoTime>}},
        {"AnnoDesc", {1, 1, readAnnotation<&DalmurePrivate::AnnoDesc>}},
        {"AnnoData", {1, 1, readAnnotation<&DalmurePrivate::AnnoData>}},
        {"AnnoDelete",
         {1, 1,
          [](DalmurePrivate& c, A args, O, O after) {
              std::int32_t index = int32Arg(args[0], "AnnoIndex");
              c.AnnoDelete(index);
              after = {index};
          }}},
        {"ClearAll", {0, 0, [](DalmurePrivate& c, A, O, O) { c.ClearAll(); }}},
        {"Selected", {0, 0, [](DalmurePrivate& c, A, O result, O) { result = c.Selected(); }}},
        {"AllowRefreshPV",
         {0, 1,
          [](DalmurePrivate& c, A args, O, O after) {
              if (args.empty()) {
                  c.AllowRefreshPV();
                  return;
              }
              bool refresh = boolArg(args[0], "blRefresh");
              c.AllowRefreshPV(refresh);
              after = {refresh};
          }}},
        {"GetLogPath",
         {1, 1,
          [](DalmurePrivate& c, A args, O result, O after) {
              Str path = stringArg(args[0], "strPath");
              result = utf8(c.GetLogPath(path));
              after = {utf8(path)};
          }}},
        {"RecoverableSessions",
         {0, 0,
          [](DalmurePrivate& c, A, O result, O) {
              result = OrderedJson::array();
              for (const journal::FoundJournal& f : c.RecoverableSessions()) {
                  OrderedJson j;
                  j["id"] = f.id;
                  j["damaged"] = f.damaged;
                  j["problem"] = utf8(f.problem);
                  j["NoDossier"] = utf8(f.caseFields.noDossier);
                  j["DateCreated"] = utf8(f.caseFields.dateCreated);
                  j["UserName"] = utf8(f.caseFields.userName);
                  j["HearingId"] = utf8(f.hearingId);
                  j["otherHearing"] = f.otherHearing;
                  j["lastChange"] = f.lastChange;
                  j["annotations"] = f.annotations;
                  j["unsavedNotes"] = f.unsavedNotes;
                  j["pendingText"] = f.pendingText;
                  result.push_back(std::move(j));
              }
          }}},
        {"RecoverSession",
         {1, 2,
          [](DalmurePrivate& c, A args, O result, O after) {
              const bool intoOtherHearing = args.size() > 1 && boolArg(args[1], "intoOtherHearing");
              result = c.RecoverSession(sessionIdArg(args[0]), intoOtherHearing);
              after = args.size() > 1 ? OrderedJson{args[0], args[1]} : OrderedJson{args[0]};
          }}},
        {"DiscardSession",
         {1, 1,
          [](DalmurePrivate& c, A args, O result, O after) {
              result = c.DiscardSession(sessionIdArg(args[0]));
              after = {args[0]};
          }}},
        {"GlossaryAdd",
         {2, 2,
          [](DalmurePrivate& c, A args, O result, O) {
              result = c.GlossaryAdd(stringArg(args[0], "strAbbreviation"),
                                     stringArg(args[1], "strText"));
          }}},
        {"GlossaryRemove",
         {1, 1,
          [](DalmurePrivate& c, A args, O, O) {
              c.GlossaryRemove(stringArg(args[0], "strAbbreviation"));
          }}},
        {"GlossaryClear", {0, 0, [](DalmurePrivate& c, A, O, O) { c.GlossaryClear(); }}},
    };
    return table;
}

// A property `get` reads and the let form of `set` assigns.
struct Property {
    OrderedJson (*get)(DalmurePrivate& c);
    void (*let)(DalmurePrivate& c, const Json& value);
};

const std::map<std::string, Property, std::less<>>& properties() {
    using V = const Json&;
    static const std::map<std::string, Property, std::less<>> table{
        {"BackColor",
         {[](DalmurePrivate& c) -> OrderedJson { return c.BackColor(); },
          [](DalmurePrivate& c, V v) {
              if (!v.is_number()) {
                  throw Refused("the colour must be a number");
              }
              c.LetBackColor(v.get<double>());
          }}},
        {"NoPlay",
         {[](DalmurePrivate& c) -> OrderedJson { return c.NoPlay(); },
          [](DalmurePrivate& c, V v) {
              bool b = boolArg(v, "the value");
              c.NoPlay(b);
          }}},
        {"NoPV",
         {[](DalmurePrivate& c) -> OrderedJson { return c.NoPV(); },
          [](DalmurePrivate& c, V v) {
              bool b = boolArg(v, "the value");
              c.NoPV(b);
          }}},
        {"NoModif",
         {[](DalmurePrivate& c) -> OrderedJson { return c.NoModif(); },
          [](DalmurePrivate& c, V v) {
              bool b = boolArg(v, "the value");
              c.NoModif(b);
          }}},
        {"NoDossier",
         {[](DalmurePrivate& c) -> OrderedJson { return utf8(c.NoDossier); },
          [](DalmurePrivate& c, V v) { c.NoDossier = stringArg(v, "the value"); }}},
        {"DateCreated",
         {[](DalmurePrivate& c) -> OrderedJson { return utf8(c.DateCreated); },
          [](DalmurePrivate& c, V v) { c.DateCreated = stringArg(v, "the value"); }}},
        {"UserName",
         {[](DalmurePrivate& c) -> OrderedJson { return utf8(c.UserName); },
          [](DalmurePrivate& c, V v) { c.UserName = stringArg(v, "the value"); }}},
        {"HearingId",
         {[](DalmurePrivate& c) -> OrderedJson { return utf8(c.HearingId()); },
          [](DalmurePrivate& c, V v) { c.HearingId(stringArg(v, "the value")); }}},
        {"PVStyle",
         {[](DalmurePrivate& c) -> OrderedJson { return c.PVStyle; },
          [](DalmurePrivate& c, V v) { c.PVStyle = integerArg(v, "PVStyle"); }}},
        {"PVFontSize",
         {[](DalmurePrivate& c) -> OrderedJson { return c.PVFontSize; },
          [](DalmurePrivate& c, V v) { c.PVFontSize = integerArg(v, "PVFontSize"); }}},
        {"LockPVStyle",
         {[](DalmurePrivate& c) -> OrderedJson { return c.LockPVStyle; },
          [](DalmurePrivate& c, V v) { c.LockPVStyle = boolArg(v, "the value"); }}},
    };
    return table;
}

} // namespace

bool parseInstant(const std::string& text, platform::LocalTime& out) {
    platform::LocalTime t;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &consumed) != 6 ||
        consumed != 19) {
        return false;
    }
    if (text.size() > 19) {
        if (text.size() != 22 || text[19] != '.' ||
            !std::isdigit(static_cast<unsigned char>(text[20])) ||
            !std::isdigit(static_cast<unsigned char>(text[21]))) {
            return false;
        }
        t.hundredths = (text[20] - '0') * 10 + (text[21] - '0');
    }
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > kDays[t.month - 1] ||
        (t.month == 2 && t.day == 29 && !leap) || t.hour > 23 || t.minute > 59 || t.second > 59 ||
        t.hour < 0 || t.minute < 0 || t.second < 0) {
        return false;
    }
    out = t;
    return true;
}

Session::Session(HostPlatform& platform, SessionOptions options, std::ostream& out)
    : platform_(platform), options_(std::move(options)), out_(out) {}

Session::~Session() {
    station_.reset();
    control_.reset();
    platform_.setHappeningSink(nullptr);
}

int Session::run(std::istream& in) {
    platform_.setHappeningSink(this);
    control_ = std::make_unique<DalmurePrivate>(platform_.platform(), options_.appDir);
    control_->setEventSink(this);
    platform_.userResize(options_.width, options_.height);
    if (options_.record || !options_.hearing.empty()) {
        attachRecord(options_.follow);
        if (!options_.hearing.empty() && !station_->open(options_.hearing))
            emitEvent("RecordError",
                      {{"hearing", options_.hearing}, {"error", "the hearing cannot be opened"}});
    }
    std::string line;
    for (;;) {
        const LineRead read = readLine(*in.rdbuf(), line, kMaxLineBytes);
        if (read == LineRead::End)
            break;
        if (read == LineRead::TooLong) {
            emit({{"ok", false}, {"error", kTooLong}});
            out_.flush();
        } else {
            handleLine(line);
        }
    }
    out_.flush();
    return 0;
}

void Session::handleLine(const std::string& raw) {
    if (raw.size() > kMaxLineBytes) {
        emit({{"ok", false}, {"error", kTooLong}});
        out_.flush();
        return;
    }
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.find_first_not_of(" \t") == std::string::npos) {
        return; // a blank line is no request
    }
    OrderedJson result;
    if (nestsDeeperThan(line, kMaxNesting)) {
        result = {{"ok", false}, {"error", kTooDeep}};
    } else {
        const Json request = Json::parse(line, nullptr, false);
        if (request.is_discarded() || !request.is_object()) {
            result = {{"ok", false}, {"error", "a request is one JSON object per line"}};
        } else {
            result = handle(request);
        }
    }
    emit(result);
    out_.flush();
}

OrderedJson Session::handle(const Json& request) {
    // What other stations did is brought in before each request is answered.
    if (station_)
        station_->poll();
    try {
        const std::string op = nameField(request, "op");
        const auto it = operations().find(op);
        if (it == operations().end()) {
            throw Refused("unknown op \"" + op + "\"");
        }
        return it->second(*this, request);
    } catch (const Refused& e) {
        return {{"ok", false}, {"error", e.what()}};
    } catch (const ControlError& e) {
        OrderedJson r = okReply(nullptr);
        r["raised"] = {{"number", e.number()}, {"description", utf8(e.description())}};
        return r;
    } catch (const std::exception& e) {
        return {{"ok", false}, {"error", std::string("internal error: ") + e.what()}};
    }
}

// Every request by its "op": host calls and properties, replies to events and prompts, views of
// the control, and what a user does to it.
const Session::OpTable& Session::operations() {
    using R = const Json&;
    static const OpTable table{
        {"call", [](Session& s, R r) { return s.call(r); }},
        {"get", [](Session& s, R r) { return s.get(r); }},
        {"set", [](Session& s, R r) { return s.set(r); }},
        {"reply", [](Session& s, R r) { return s.reply(r); }},
        {"answer",
         [](Session& s, R r) {
             if (r.contains("cancel")) {
                 if (!boolArg(r["cancel"], "cancel")) {
                     throw Refused("\"cancel\" can only be true");
                 }
                 s.platform_.queueCancel();
             } else {
                 s.platform_.queueAnswer(stringArg(field(r, "text"), "text"));
             }
             return okReply(nullptr);
         }},
        {"record", [](Session& s, R r) { return s.recordRequest(r); }},
        {"grid", [](Session& s, R) { return okReply(s.gridView()); }},
        {"editor", [](Session& s, R) { return okReply(s.editorView()); }},
        {"buttons", [](Session& s, R) { return okReply(s.buttonsView()); }},
        {"control", [](Session& s, R) { return okReply(s.controlView()); }},
        {"inspect", [](Session& s, R) { return okReply(s.inspectView()); }},
        {"findbar", [](Session& s, R) { return okReply(s.findBarView()); }},
        {"readini",
         [](Session&, R r) {
             Str section = stringArg(field(r, "section"), "section");
             Str key = stringArg(field(r, "key"), "key");
             Str def = r.contains("default") ? stringArg(r["default"], "default") : Str();
             Str file = stringArg(field(r, "file"), "file");
             return okReply(utf8(ReadIni(section, key, def, file)));
         }},
        {"clock",
         [](Session& s, R r) {
             platform::LocalTime t;
             if (!parseInstant(nameField(r, "now"), t)) {
                 throw Refused("\"now\" must be YYYY-MM-DDTHH:MM:SS.cc");
             }
             s.platform_.setNow(t);
             return okReply(nullptr);
         }},
        {"writelog",
         [](Session& s, R r) {
             std::int32_t n = int32Arg(field(r, "number"), "number");
             Str description = stringArg(field(r, "description"), "description");
             Str label = stringArg(field(r, "label"), "label");
             s.control_->writeLogLine(n, description, label);
             return okReply(nullptr);
         }},
        // --- What a user does ---
        {"click", [](Session& s, R r) { return s.click(r, false); }},
        {"dblclick", [](Session& s, R r) { return s.click(r, true); }},
        {"rightclick",
         [](Session& s, R r) {
             const auto [row, col] = cellArg(r);
             std::optional<std::string> choose;
             if (r.contains("choose") && !r["choose"].is_null()) {
                 std::string name = nameField(r, "choose");
                 platform::MenuItemId item{};
                 if (!platform::menuItemFromName(name, item)) {
                     throw Refused("unknown menu item \"" + name + "\"");
                 }
                 choose = name;
             }
             if (!s.platform_.userRightClick(row, col, choose)) {
                 throw noSuchRow(row);
             }
             return okReply(nullptr);
         }},
        {"keypress",
         [](Session& s, R r) {
             s.platform_.userKeyPress(integerArg(field(r, "ascii"), "ascii"));
             return okReply(nullptr);
         }},
        {"type",
         [](Session& s, R r) {
             int delivered = s.platform_.userType(stringArg(field(r, "text"), "text"));
             if (delivered == 0) {
                 throw Refused("the editor is not open with the focus: nothing typed");
             }
             return okReply(delivered);
         }},
        {"blur",
         [](Session& s, R) {
             s.platform_.userBlur();
             return okReply(nullptr);
         }},
        {"focus",
         [](Session& s, R) {
             s.platform_.userFocus();
             return okReply(nullptr);
         }},
        {"button",
         [](Session& s, R r) {
             std::string name = nameField(r, "name");
             if (!s.platform_.userButton(buttonArg(name))) {
                 throw Refused("button " + name + " is hidden");
             }
             return okReply(nullptr);
         }},
        {"hover",
         [](Session& s, R r) {
             std::string over = nameField(r, "over");
             if (over != "grid" && over != "surface") {
                 buttonArg(over);
             }
             if (!s.platform_.userHover(over)) {
                 throw Refused("button " + over + " is hidden");
             }
             return okReply(nullptr);
         }},
        {"scroll",
         [](Session& s, R r) {
             std::optional<std::int32_t> top;
             if (r.contains("toprow") && !r["toprow"].is_null()) {
                 top = int32Arg(r["toprow"], "toprow");
             }
             if (!s.platform_.userScroll(top)) {
                 throw Refused("no such row to scroll to");
             }
             return okReply(nullptr);
         }},
        {"find",
         [](Session& s, R) {
             if (!s.platform_.userFind()) {
                 throw Refused("Ctrl+F reaches the control only from the list or the notes");
             }
             return okReply(nullptr);
         }},
        {"findkey",
         [](Session& s, R r) {
             static const std::map<std::string, headless::FindKey, std::less<>> keys{
                 {"Enter", headless::FindKey::Enter},
                 {"F3", headless::FindKey::F3},
                 {"Shift+F3", headless::FindKey::ShiftF3},
                 {"Esc", headless::FindKey::Escape},
                 {"close", headless::FindKey::Close}};
             const std::string name = nameField(r, "key");
             const auto key = keys.find(name);
             if (key == keys.end()) {
                 throw Refused("unknown find key \"" + name +
                               "\" (Enter, F3, Shift+F3, Esc or close)");
             }
             if (!s.platform_.userFindKey(key->second)) {
                 throw Refused("the find bar does not have the keyboard: " + name +
                               " reaches no one");
             }
             return okReply(nullptr);
         }},
        {"resize",
         [](Session& s, R r) {
             std::int32_t w = int32Arg(field(r, "width"), "width");
             std::int32_t h = int32Arg(field(r, "height"), "height");
             s.platform_.userResize(w, h);
             return okReply(nullptr);
         }},
        {"ambient",
         [](Session& s, R r) {
             s.platform_.userAmbient(stringArg(field(r, "name"), "name"));
             return okReply(nullptr);
         }},
    };
    return table;
}

void Session::attachRecord(bool follow) {
    station_.reset();
    record::StationOptions options;
    options.author = control_->UserName;
    options.station = fromUtf8(options_.station);
    options.follow = follow;
    options.report = [this](const std::string& line) {
        control_->writeLogLine(0, fromUtf8(line), u"HearingRecord");
    };
    options.conflict = [this](const record::Conflict& c) {
        emitEvent("RecordConflict", {{"AnnoIndex", c.index},
                                     {"Kept", utf8(c.kept)},
                                     {"Replaced", utf8(c.replaced)},
                                     {"KeptStation", utf8(c.keptStation)},
                                     {"ReplacedStation", utf8(c.replacedStation)}});
    };
    options.linkChanged = [this](record::Link link, std::size_t pending) {
        static constexpr const char* names[] = {"connected", "offline", "sending"};
        emitEvent("RecordLink", {{"Link", names[static_cast<int>(link)]}, {"Pending", pending}});
    };
    std::string connection = options_.record.value_or("");
    if (connection.empty())
        connection = record::configuredServer(options_.appDir);
    station_ = std::make_unique<record::Station>(
        *control_, record::openStore(connection, options_.appDir, options.report),
        std::move(options));
}

OrderedJson Session::recordRequest(const Json& r) {
    const std::string action = nameField(r, "action");
    if (!station_)
        attachRecord(false);
    if (action == "create") {
        const std::string id = station_->create();
        station_->poll();
        return okReply(id);
    }
    if (action == "open") {
        const bool follow = r.contains("follow") && boolArg(r["follow"], "follow");
        attachRecord(follow);
        return okReply(station_->open(nameField(r, "hearing")));
    }
    if (action == "poll") {
        station_->poll();
        return okReply(nullptr);
    }
    if (action == "status") {
        static constexpr const char* names[] = {"connected", "offline", "sending"};
        return okReply(OrderedJson{{"hearing", station_->hearing()},
                                   {"link", names[static_cast<int>(station_->link())]},
                                   {"pending", station_->pending()}});
    }
    if (action == "hearings") {
        const auto hearings = station_->store().hearings();
        if (!hearings)
            throw Refused("the hearing record cannot be reached");
        OrderedJson list = OrderedJson::array();
        for (const record::Hearing& h : *hearings)
            list.push_back({{"id", h.id},
                            {"NoDossier", utf8(h.noDossier)},
                            {"DateCreated", utf8(h.dateCreated)},
                            {"UserName", utf8(h.userName)},
                            {"room", utf8(h.room)},
                            {"station", utf8(h.station)}});
        return okReply(list);
    }
    if (action == "search") {
        record::SearchQuery q;
        q.words = stringArg(field(r, "words"), "words");
        if (r.contains("from"))
            q.from = int64Arg(r["from"], "from");
        if (r.contains("to"))
            q.to = int64Arg(r["to"], "to");
        for (auto [name, into] : {std::pair{"NoDossier", &q.noDossier}, std::pair{"room", &q.room},
                                  std::pair{"author", &q.author}})
            if (r.contains(name))
                *into = stringArg(r[name], name);
        if (r.contains("limit"))
            q.limit = int32Arg(r["limit"], "limit");
        if (q.limit <= 0)
            throw Refused("limit must be at least 1");
        const auto hits = station_->store().search(q);
        if (!hits)
            throw Refused("no words to search for, or the hearing record cannot be reached");
        OrderedJson list = OrderedJson::array();
        for (const record::SearchHit& h : *hits)
            list.push_back({{"hearing", h.hearing},
                            {"annotation", h.annotation},
                            {"NoDossier", utf8(h.noDossier)},
                            {"room", utf8(h.room)},
                            {"created", h.hearingCreatedAt},
                            {"time", utf8(h.time)},
                            {"description", utf8(h.description)},
                            {"snippet", utf8(h.snippet)},
                            {"rank", h.rank}});
        return okReply(list);
    }
    if (action == "changes") {
        const auto history = station_->store().annotationHistory(
            r.contains("annotation")
                ? nameField(r, "annotation")
                : station_->annotationId(int32Arg(field(r, "index"), "index")));
        if (!history)
            throw Refused("the hearing record cannot be reached");
        OrderedJson list = OrderedJson::array();
        for (const record::HistoryEntry& e : *history)
            list.push_back({{"kind", record::kindName(e.kind)},
                            {"before", utf8(e.before)},
                            {"after", utf8(e.after)},
                            {"author", utf8(e.author)},
                            {"station", utf8(e.station)},
                            {"at", e.at},
                            {"seq", e.seq},
                            {"change", e.change},
                            {"conflict", e.conflict}});
        return okReply(list);
    }
    if (action == "asof") {
        attachRecord(true);
        return okReply(station_->openAsOf(nameField(r, "hearing"), int64Arg(field(r, "at"), "at")));
    }
    if (action == "access") {
        const std::string hearing = nameField(r, "hearing");
        if (!r.contains("level")) {
            const auto hearings = station_->store().hearings();
            if (!hearings)
                throw Refused("the hearing record cannot be reached");
            for (const record::Hearing& h : *hearings)
                if (h.id == hearing)
                    return okReply(OrderedJson{{"level", record::accessName(h.access)},
                                               {"enforced", station_->store().enforcesAccess()}});
            return okReply(nullptr);
        }
        const auto level = record::accessFromName(nameField(r, "level"));
        if (!level)
            throw Refused("level must be \"public\", \"confidential\" or \"sealed\"");
        return okReply(station_->store().setAccess(hearing, *level, control_->UserName,
                                                   fromUtf8(options_.station), nowMs()));
    }
    if (action == "history") {
        const auto history =
            station_->store().history(station_->annotationId(int32Arg(field(r, "index"), "index")));
        if (!history)
            throw Refused("the hearing record cannot be reached");
        OrderedJson list = OrderedJson::array();
        for (const record::NotesVersion& v : *history)
            list.push_back(
                {{"notes", utf8(v.notes)}, {"station", utf8(v.station)}, {"conflict", v.conflict}});
        return okReply(list);
    }
    throw Refused("unknown record action \"" + action + "\"");
}

OrderedJson Session::click(const Json& request, bool twice) {
    const auto [row, col] = cellArg(request);
    if (!(twice ? platform_.userDblClick(row, col) : platform_.userClick(row, col))) {
        throw noSuchRow(row);
    }
    return okReply(nullptr);
}

OrderedJson Session::call(const Json& request) {
    const std::string name = nameField(request, "name");
    const Json args = request.contains("args") ? request["args"] : Json::array();
    if (!args.is_array()) {
        throw Refused("\"args\" must be an array");
    }
    const auto member = hostMembers().find(name);
    if (member == hostMembers().end()) {
        throw Refused("unknown member \"" + name + "\" for call");
    }
    const auto [least, most, run] = member->second;
    if (args.size() < least || args.size() > most) {
        throw Refused(name + " takes " +
                      (least == most ? std::to_string(least)
                                     : std::to_string(least) + " to " + std::to_string(most)) +
                      " argument(s)");
    }
    OrderedJson result = nullptr;
    OrderedJson after = OrderedJson::array();
    run(*control_, args, result, after);
    OrderedJson r = okReply(std::move(result));
    if (!args.empty()) {
        r["args"] = std::move(after);
    }
    return r;
}

OrderedJson Session::get(const Json& request) {
    const std::string name = nameField(request, "name");
    const auto it = properties().find(name);
    if (it == properties().end()) {
        throw Refused("unknown property \"" + name + "\" for get");
    }
    return okReply(it->second.get(*control_));
}

OrderedJson Session::set(const Json& request) {
    const std::string name = nameField(request, "name");
    const Json& value = field(request, "value");
    const std::string assign = request.contains("assign") ? nameField(request, "assign") : "let";
    if (assign != "let" && assign != "set") {
        throw Refused("\"assign\" must be \"let\" or \"set\"");
    }
    if (assign == "set") {
        // Only the colour has a set form: it stores without repainting.
        if (name != "BackColor") {
            throw Refused(name + " has no set form");
        }
        control_->SetBackColor(int32Arg(value, "the colour"));
        return okReply(nullptr);
    }
    const auto it = properties().find(name);
    if (it == properties().end()) {
        throw Refused("unknown property \"" + name + "\" for set");
    }
    it->second.let(*control_, value);
    return okReply(nullptr);
}

OrderedJson Session::reply(const Json& request) {
    std::string event = nameField(request, "event");
    auto it = replyableArgs().find(event);
    if (it == replyableArgs().end()) {
        throw Refused("unknown event \"" + event + "\"");
    }
    Json values = request.contains("set") ? request["set"] : Json::object();
    if (!values.is_object()) {
        throw Refused("\"set\" must be an object");
    }
    for (auto& [key, v] : values.items()) {
        const EventArg* arg = nullptr;
        for (const EventArg& a : it->second) {
            if (key == a.name) {
                arg = &a;
            }
        }
        if (arg == nullptr) {
            throw Refused(event + " has no by-reference argument \"" + key + "\"");
        }
        switch (arg->type) {
        case ArgType::Integer:
            integerArg(v, arg->name);
            break;
        case ArgType::String:
            stringArg(v, arg->name);
            break;
        case ArgType::Boolean:
            boolArg(v, arg->name);
            break;
        }
    }
    replies_[event].push_back(values);
    return okReply(nullptr);
}

OrderedJson Session::gridView() {
    platform::Grid& g = platform_.platform().grid();
    OrderedJson rows = OrderedJson::array(), bold = OrderedJson::array(),
                back = OrderedJson::array(), heights = OrderedJson::array();
    const std::int32_t n = g.rows(), cols = g.cols();
    for (std::int32_t r = 0; r < n; ++r) {
        OrderedJson t = OrderedJson::array(), b = OrderedJson::array(), c = OrderedJson::array();
        for (std::int32_t k = 0; k < cols; ++k) {
            t.push_back(utf8(g.textMatrix(r, k)));
            b.push_back(g.cellFontBoldAt(r, k));
            c.push_back(g.cellBackColorAt(r, k));
        }
        rows.push_back(std::move(t));
        bold.push_back(std::move(b));
        back.push_back(std::move(c));
        heights.push_back(g.rowHeight(r));
    }
    OrderedJson widths = OrderedJson::array(), align = OrderedJson::array();
    for (std::int32_t k = 0; k < cols; ++k) {
        widths.push_back(g.colWidth(k));
        align.push_back(g.colAlignment(k));
    }
    OrderedJson v;
    v["rows"] = std::move(rows);
    v["bold"] = std::move(bold);
    v["back"] = std::move(back);
    v["heights"] = std::move(heights);
    v["colwidths"] = std::move(widths);
    v["colalign"] = std::move(align);
    v["row"] = g.row();
    v["col"] = g.col();
    v["toprow"] = g.topRow();
    v["visible"] = g.visible();
    v["backcolor"] = g.backColor();
    v["backcolorbkg"] = g.backColorBkg();
    v["fixed"] = g.backColorFixed();
    v["fontsize"] = number(g.fontSize());
    v["left"] = g.left();
    v["top"] = g.top();
    v["width"] = g.width();
    v["height"] = g.height();
    return v;
}

// The find bar as the clerk sees it, and the grid rows its filter hides.
OrderedJson Session::findBarView() {
    platform::FindBar& bar = platform_.platform().findBar();
    platform::Grid& g = platform_.platform().grid();
    OrderedJson hidden = OrderedJson::array();
    for (std::int32_t r = 0; r < g.rows(); ++r)
        if (g.rowHidden(r))
            hidden.push_back(r);
    OrderedJson v;
    v["visible"] = bar.visible();
    v["focus"] = bar.hasFocus();
    v["text"] = utf8(bar.text());
    v["count"] = utf8(bar.count());
    v["hidden"] = std::move(hidden);
    return v;
}

OrderedJson Session::editorView() {
    platform::TextBox& e = platform_.platform().editor();
    OrderedJson v;
    v["visible"] = e.visible();
    v["text"] = utf8(e.text());
    v["readonly"] = e.readOnly();
    v["focus"] = e.hasFocus();
    v["selstart"] = e.selStart();
    v["left"] = e.left();
    v["top"] = e.top();
    v["width"] = e.width();
    v["height"] = e.height();
    v["backcolor"] = e.backColor();
    v["fontsize"] = number(e.fontSize());
    // The misspelled words, as [start, length] pairs, when spelling is on and finds any.
    if (!e.markedRanges().empty()) {
        OrderedJson marked = OrderedJson::array();
        for (const platform::TextBox::Range& r : e.markedRanges())
            marked.push_back({r.start, r.length});
        v["marked"] = std::move(marked);
    }
    return v;
}

OrderedJson Session::buttonsView() {
    OrderedJson v = OrderedJson::object();
    for (platform::ButtonId id : platform::kAllButtons) {
        platform::CommandButton& b = platform_.platform().button(id);
        OrderedJson one;
        one["left"] = b.left();
        one["visible"] = b.visible();
        one["tooltip"] = utf8(b.toolTipText());
        one["buttoncolor"] = b.buttonColor();
        v[std::string(platform::buttonName(id))] = std::move(one);
    }
    return v;
}

OrderedJson Session::controlView() {
    platform::Platform& p = platform_.platform();
    platform::ControlSurface& s = p.surface();
    platform::Frame& f3 = p.frame(platform::FrameId::Frame3);
    platform::Frame& f1 = p.frame(platform::FrameId::Frame1);
    OrderedJson v;
    v["width"] = s.width();
    v["height"] = s.height();
    v["backcolor"] = s.backColor();
    v["fontsize"] = number(s.fontSize());
    v["frame3"] = {{"width", f3.width()}, {"height", f3.height()}, {"visible", f3.visible()}};
    v["frame1"] = {{"width", f1.width()}};
    v["browser"] = {{"width", p.browser().width()}};
    return v;
}

OrderedJson Session::inspectView() {
    DalmurePrivate::PrivateState s = control_->privateState();
    OrderedJson v;
    v["iSelected"] = s.iSelected;
    v["strLangColumn"] = utf8(s.strLangColumn);
    v["strLastToolTip"] = utf8(s.strLastToolTip);
    v["strEditStart"] = utf8(s.strEditStart);
    v["blScrolling"] = s.blScrolling;
    v["pointer"] = pointerName(platform_.platform().screen().mousePointer());
    return v;
}

void Session::emit(const OrderedJson& line) {
    out_ << line.dump(-1, ' ', false, OrderedJson::error_handler_t::replace) << '\n';
}

void Session::emitEvent(const char* name, OrderedJson args) {
    OrderedJson line;
    line["event"] = name;
    line["args"] = args.is_null() ? OrderedJson::object() : std::move(args);
    emit(line);
}

Json Session::nextReply(const std::string& event) {
    auto it = replies_.find(event);
    if (it == replies_.end() || it->second.empty()) {
        return nullptr;
    }
    Json r = std::move(it->second.front());
    it->second.pop_front();
    return r;
}

// --- Events: written with the values the control passed, then the queued reply applies ---

void Session::AnnoDeleteRequest(std::int16_t& AnnoIndex) {
    emitEvent("AnnoDeleteRequest", {{"AnnoIndex", AnnoIndex}});
    assignIfSet(nextReply("AnnoDeleteRequest"), "AnnoIndex", AnnoIndex);
}

void Session::AnnoModified(std::int16_t AnnoIndex) {
    emitEvent("AnnoModified", {{"AnnoIndex", AnnoIndex}});
    nextReply("AnnoModified");
}

void Session::AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc, bool& Cancel) {
    OrderedJson args;
    args["AnnoIndex"] = AnnoIndex;
    args["OldDesc"] = utf8(OldDesc);
    args["NewDesc"] = utf8(NewDesc);
    args["Cancel"] = Cancel;
    emitEvent("AnnoModifiedDesc", std::move(args));
    Json r = nextReply("AnnoModifiedDesc");
    assignIfSet(r, "AnnoIndex", AnnoIndex);
    assignIfSet(r, "OldDesc", OldDesc);
    assignIfSet(r, "NewDesc", NewDesc);
    assignIfSet(r, "Cancel", Cancel);
}

void Session::AnnoAdded(Str& AnnoTime, Str& AnnoDesc) {
    OrderedJson args;
    args["AnnoTime"] = utf8(AnnoTime);
    args["AnnoDesc"] = utf8(AnnoDesc);
    emitEvent("AnnoAdded", std::move(args));
    Json r = nextReply("AnnoAdded");
    assignIfSet(r, "AnnoTime", AnnoTime);
    assignIfSet(r, "AnnoDesc", AnnoDesc);
}

void Session::DblClick() {
    emitEvent("DblClick", OrderedJson::object());
    nextReply("DblClick");
}

void Session::AnnoRecovered(std::int16_t AnnoIndex) {
    emitEvent("AnnoRecovered", {{"AnnoIndex", AnnoIndex}});
    nextReply("AnnoRecovered");
}

void Session::ToolTipChanged(Str& ToolTipText) {
    emitEvent("ToolTipChanged", {{"ToolTipText", utf8(ToolTipText)}});
    assignIfSet(nextReply("ToolTipChanged"), "ToolTipText", ToolTipText);
}

// --- Happenings outside the control ---

void Session::prompt(const Str& title, const Str& message, const Str& defaultText,
                     const Str& answer) {
    OrderedJson p;
    p["title"] = utf8(title);
    p["message"] = utf8(message);
    p["default"] = utf8(defaultText);
    OrderedJson line;
    line["prompt"] = std::move(p);
    line["answer"] = utf8(answer);
    emit(line);
}

void Session::messageBox(const Str& title, const Str& message) {
    OrderedJson m;
    m["title"] = utf8(title);
    m["message"] = utf8(message);
    OrderedJson line;
    line["msgbox"] = std::move(m);
    emit(line);
}

void Session::menu(const std::vector<headless::MenuItemState>& items,
                   std::optional<platform::MenuItemId> chosen) {
    OrderedJson list = OrderedJson::array();
    for (const headless::MenuItemState& item : items) {
        OrderedJson one;
        one["name"] = std::string(platform::menuItemName(item.id));
        one["caption"] = utf8(item.caption);
        one["enabled"] = item.enabled;
        one["visible"] = item.visible;
        list.push_back(std::move(one));
    }
    OrderedJson line;
    line["menu"] = std::move(list);
    line["chosen"] =
        chosen ? OrderedJson(std::string(platform::menuItemName(*chosen))) : OrderedJson(nullptr);
    emit(line);
}

void Session::launch(const Str& program, const Str& parameters) {
    OrderedJson l;
    l["program"] = utf8(program);
    l["params"] = utf8(parameters);
    OrderedJson line;
    line["launch"] = std::move(l);
    emit(line);
}

void Session::navigate(const Str& path) {
    OrderedJson line;
    line["navigate"] = utf8(path);
    emit(line);
}

void Session::printSize(std::int16_t size) {
    OrderedJson line;
    line["printsize"] = size;
    emit(line);
}

void Session::pointer(int p) {
    OrderedJson line;
    line["pointer"] = pointerName(p);
    emit(line);
}

} // namespace dalmure::host
