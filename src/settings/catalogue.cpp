// The message catalogue lookup (ChargeLangue).
#include "settings/catalogue.h"
#include "support/log_labels.h"

#include "platform/ids.h"
#include "support/errors.h"
#include "support/files.h"

#include <new>
#include <optional>
#include <sys/stat.h>
#include <variant>

namespace dalmure {

namespace {

constexpr std::int32_t kJetSyntaxError = -2147217900;

// The query is "SELECT * FROM langues WHERE UCASE(msgid) = '<ID>'" with the upper-cased id
// pasted between the quotes, unescaped. Read as Jet reads that literal: a doubled quote stands
// for one quote; a lone quote ends the string. The text compared with is the string's value;
// an id whose quotes leave text after the string is a syntax error of the query, reported as
// Jet reports it ("in string" when that text opens a string it never closes).
std::variant<Str, ControlError> literalValue(const Str& upperId) {
    const Str literal = u"'" + upperId + u"'";
    Str value;
    std::size_t i = 1;
    bool closed = false;
    while (i < literal.size()) {
        if (literal[i] == u'\'') {
            if (i + 1 < literal.size() && literal[i + 1] == u'\'') {
                value += u'\'';
                i += 2;
                continue;
            }
            closed = true;
            ++i;
            break;
        }
        value += literal[i++];
    }
    if (closed && i == literal.size())
        return value;
    const Str expression = u"UCASE(msgid) = " + literal;
    std::size_t quotes = 0;
    for (std::size_t k = i; k < literal.size(); ++k)
        quotes += literal[k] == u'\'' ? 1 : 0;
    if (!closed || quotes % 2 == 1)
        return ControlError(kJetSyntaxError,
                            u"Syntax error in string in query expression '" + expression + u"'.");
    return ControlError(kJetSyntaxError, u"Syntax error (missing operator) in query expression '" +
                                             expression + u"'.");
}

} // namespace

Catalogue::Catalogue(platform::CatalogueDatabase& db, platform::Screen& screen, Log& log,
                     Str appFolder)
    : db_(db), screen_(screen), log_(log), appFolder_(std::move(appFolder)) {}

Str Catalogue::ChargeLangue(const Str& strMsgId, const Str& strDefault, const Str& langColumn) {
    screen_.setMousePointer(platform::kPointerBusy);
    std::optional<Str> result = strDefault; // nullopt: the row's field is a database NULL

    Str folder = appFolder_;
    while (folder.size() > 1 && folder.back() == u'/')
        folder.pop_back();
    // The catalogue may be a link to a regular file (deployments share one). A FIFO or a
    // device in its place is never opened: the lookup gives the default, logged once.
    const Str path = files::findNoCase(folder, u"ORLngClient.MDB");
    if (!files::isRegularFile(path)) {
        struct stat st {};
        const bool other = ::stat(files::toNative(path).c_str(), &st) == 0 &&
                           !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
        if (other && !refusalLogged_) {
            refusalLogged_ = true;
            log_.writeTrapped(errors::kPathFileAccess,
                              path + u" is not a regular file: not read, default texts used",
                              label::chargeLangue);
        }
        screen_.setMousePointer(platform::kPointerDefault);
        return strDefault;
    }

    std::unique_ptr<platform::CatalogueConnection> connection;
    try {
        connection = db_.open(files::toNative(path));
        auto id = literalValue(ucase(strMsgId));
        if (auto* error = std::get_if<ControlError>(&id))
            throw *error;
        auto records = connection->selectWhereUpperEquals(u"langues", u"msgid", std::get<Str>(id));
        if (!records->eof()) {
            records->moveFirst();
            result = records->field(langColumn);
        }
        connection->close();
        connection.reset();
        if (!result)
            result = Str(u"ErrLang");
    } catch (const ControlError& e) {
        log_.writeTrapped(e.number(), e.description(), label::chargeLangue);
    } catch (const std::bad_alloc&) {
        log_.writeTrapped(7, u"Out of memory", label::chargeLangue);
    }
    if (connection) {
        try {
            connection->close();
        } catch (...) {
        }
    }
    screen_.setMousePointer(platform::kPointerDefault);
    // A failure after the field was read leaves the text read; a NULL read just before a
    // failure is still a NULL, which the host would show as an empty text.
    return result ? *result : Str();
}

} // namespace dalmure
