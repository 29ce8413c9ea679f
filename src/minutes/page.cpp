// The minutes page: "pvData.html" in the application folder, made of the template of the user's
// language with the case fields filled in, followed by one line holding the annotation table.
#include "minutes/minutes.h"
#include "support/log_labels.h"

#include "support/files.h"
#include "support/trap.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace dalmure {
namespace {

constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';

bool isFrench(const Str& langColumn) {
    const Str upper = ucase(langColumn);
    return upper == u"FRAN\u00C7AIS" || upper == u"FRANCAIS" || upper == u"FRA";
}

Str isoDate(const platform::LocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
    return fromUtf8(buffer);
}

// The table line is built directly in Windows-1252 bytes: markup is ASCII and is copied as it
// is; texts are converted as they are appended, their ASCII runs byte for byte and the rest
// through the common converter, which gives exactly the bytes of converting the whole line at
// once (no character of the converter's concern spans two pieces). The bytes go to the page's
// new file a piece at a time, so that the buffer stays small and warm in the cache and nothing
// of the size of the page is held in memory.
class TableLine {
  public:
    static constexpr std::size_t kPiece = 256 * 1024;

    // Writes into page, starting with head (what comes before the table).
    TableLine(files::Folder::Replacement& page, std::string head)
        : page_(page), out_(std::move(head)) {
        out_.reserve(std::max(out_.size(), kPiece) + kPiece / 2);
    }
    // Hands what is built so far to the page once it is a piece's worth.
    void flushIfFull() {
        if (out_.size() >= kPiece)
            flush();
    }
    void flush() {
        page_.write(out_);
        out_.clear();
    }

    TableLine& operator<<(std::string_view markup) {
        out_.append(markup);
        return *this;
    }
    TableLine& text(StrView t) {
        std::size_t i = 0;
        while (i < t.size()) {
            // ASCII, narrowed into a small block that is appended whole.
            char block[256];
            std::size_t n = 0;
            // Sixteen code units at a time while they are all ASCII (a loop the compiler turns
            // into vector instructions), then one at a time.
            constexpr std::size_t kRun = 16;
            while (n + kRun <= sizeof block && t.size() - i >= kRun) {
                char16_t any = 0;
                for (std::size_t k = 0; k < kRun; ++k)
                    any |= t[i + k];
                if (any >= 0x80)
                    break;
                for (std::size_t k = 0; k < kRun; ++k)
                    block[n + k] = static_cast<char>(t[i + k]);
                n += kRun;
                i += kRun;
            }
            while (i < t.size() && n < sizeof block && t[i] < 0x80)
                block[n++] = static_cast<char>(t[i++]);
            out_.append(block, n);
            std::size_t j = i;
            while (j < t.size() && t[j] >= 0x80)
                ++j;
            if (j > i) {
                out_.append(toCp1252(t.substr(i, j - i)));
                i = j;
            }
        }
        return *this;
    }
    // A data text: every carriage return becomes "<br>"; line feeds and everything else stay
    // (markup characters escaped when asked).
    TableLine& dataText(StrView t, bool escape) {
        std::size_t start = 0;
        while (start < t.size()) {
            const std::size_t cr = t.find(kCR, start);
            const StrView piece = t.substr(start, cr == StrView::npos ? StrView::npos : cr - start);
            if (escape)
                escapedText(piece);
            else
                text(piece);
            if (cr == StrView::npos)
                break;
            *this << "<br>";
            start = cr + 1;
        }
        return *this;
    }
    // A text whose markup characters are written as character references, so that it reads
    // as the text it is and never as markup.
    TableLine& escapedText(StrView t) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const char* entity = markupEntity(t[i]);
            if (entity == nullptr)
                continue;
            text(t.substr(start, i - start));
            out_.append(entity);
            start = i + 1;
        }
        return text(t.substr(start));
    }
    static const char* markupEntity(char16_t c) {
        switch (c) {
        case u'<':
            return "&lt;";
        case u'>':
            return "&gt;";
        case u'&':
            return "&amp;";
        case u'"':
            return "&quot;";
        default:
            return nullptr;
        }
    }

  private:
    files::Folder::Replacement& page_;
    std::string out_;
};

// A text with its markup characters written as character references (case fields).
Str escapeMarkup(StrView t) {
    Str out;
    out.reserve(t.size());
    for (char16_t c : t) {
        if (const char* entity = TableLine::markupEntity(c))
            out.append(entity, entity + std::strlen(entity));
        else
            out += c;
    }
    return out;
}

// The rows of one annotation (see the table of forms in the minutes layout).
struct RowPieces {
    const Str& padX;
    const Str& padY1;
    const Str& padY2;
    bool bold;
    bool escape; // the annotation's texts are written as text, their markup escaped

    void annotationText(TableLine& out, const Str& t) const {
        if (escape)
            out.escapedText(t);
        else
            out.text(t);
    }

    void append(TableLine& out, const Str& time, const Str& desc, const Str& data) const {
        out << "<tr><td style=\"padding-right:";
        out.text(padX);
        if (data.empty()) {
            out << "px;padding-bottom:";
            out.text(padY1);
        }
        out << "px;padding-left:10px;\"" << (bold ? "><b>" : ">");
        annotationText(out, time);
        out << (bold ? "</b></td>" : "</td>");
        if (data.empty()) {
            out << "<td style=\"padding-right:";
            out.text(padX);
            out << "px;padding-bottom:";
            out.text(padY1);
            out << "px;\"" << (bold ? "><b>" : ">");
        } else {
            out << (bold ? "<td><b>" : "<td>");
        }
        annotationText(out, desc);
        out << (bold ? "</b></td>" : "</td>") << "</tr>";
        if (!data.empty()) {
            out << "<tr><td>&nbsp;</td><td style=\"padding-bottom:";
            out.text(padY2);
            out << "px;\">";
            out.dataText(data, escape);
            out << "</td></tr>";
        }
    }
};

// Splits a template into lines ending at CR LF or CR; a lone LF belongs to its line. A final
// line without an end is still a line; an empty text has none.
template <class Fn> void forEachLine(StrView text, Fn&& fn) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t cr = text.find(kCR, start);
        if (cr == StrView::npos) {
            fn(text.substr(start));
            return;
        }
        fn(text.substr(start, cr - start));
        start = cr + 1;
        if (start < text.size() && text[start] == kLF)
            ++start;
    }
}

} // namespace

Minutes::Minutes(platform::Platform& form, Settings& settings, Log& log, CaseFields fields,
                 Host& host)
    : form_(form), settings_(settings), log_(log), fields_(fields), host_(host) {}

bool Minutes::writePage(bool print) {
    bool written = false;
    runTrapped(log_, label::generateHTML, [&] {
        const Str padX = settings_.iniValue(u"PV", u"PADX", u"10");
        const Str padY1 = settings_.iniValue(u"PV", u"PADY1", u"3");
        const Str padY2 = settings_.iniValue(u"PV", u"PADY2", u"10");
        const bool bold = settings_.iniValue(u"PV", u"AnnoGras", u"1") == u"1";
        const bool escape = settings_.iniValue(u"PV", u"EscapeMarkup", u"0") == u"1";

        if (fields_.dateCreated.empty())
            fields_.dateCreated = isoDate(form_.clock().now());

        // The page is written to a new file beside the previous one, which stays in place until
        // the new page is on disk in full.
        const files::Folder folder = files::Folder::open(settings_.appFolder());
        std::string head;
        const char* templ =
            isFrench(settings_.languageColumn()) ? "pvTemplateFRA.html" : "pvTemplateENG.html";
        if (folder.kind(templ) != files::Folder::Kind::Missing)
            appendTemplate(folder, templ, head, escape);

        platform::Grid& g = form_.grid();
        const std::int32_t rows = g.rows();
        const RowPieces pieces{padX, padY1, padY2, bold, escape};

        files::Folder::Replacement page = folder.replacement("pvData.html");
        TableLine table(page, std::move(head));
        table << "<table border=\"0\">";
        Str time, desc, data; // reused from row to row
        for (std::int32_t i = 0; i <= rows - 1; i += 2) {
            g.setRow(i);
            g.setCol(0);
            g.textInto(time);
            g.setCol(1);
            g.textInto(desc);
            g.setRow(i + 1);
            g.textInto(data);
            pieces.append(table, time, desc, data);
            table.flushIfFull();
        }
        if (print)
            table << "</table><script type=\"text/javascript\">window.print();</script>"
                     "</body></html>\r\n";
        else
            table << "</table></body></html>\r\n";
        table.flush();
        page.commit();
        written = true;
    });
    return written;
}

void Minutes::appendTemplate(const files::Folder& folder, const char* name, std::string& page,
                             bool escape) {
    runTrapped(log_, label::setDataVariables, [&] {
        // What goes into the page is read where it is: never through a link (the page must not
        // carry a file from elsewhere), never a FIFO or a device waited for. Anything but a
        // regular file is refused with one log line and the page goes on without it.
        const Str source = fromCp1252(folder.read(name));

        static constexpr std::array<std::u16string_view, 3> kPlaceholders{
            u"CW.NODOSSIER", u"CW.DATECREATED", u"CW.USERNAME"};
        const std::array<Str, 3> values{
            escape ? escapeMarkup(fields_.caseNumber) : fields_.caseNumber,
            escape ? escapeMarkup(fields_.dateCreated) : fields_.dateCreated,
            escape ? escapeMarkup(fields_.userName) : fields_.userName};

        Str out;
        out.reserve(source.size() + source.size() / 16 + 64);
        forEachLine(source, [&](StrView lineView) {
            Str line(lineView);
            for (std::size_t k = 0; k < kPlaceholders.size(); ++k) {
                const std::size_t pos = ucase(line).find(kPlaceholders[k]);
                if (pos != Str::npos)
                    line.replace(pos, kPlaceholders[k].size(), values[k]);
            }
            out.append(line);
            out.append(u"\r\n");
        });
        page += toCp1252(out);
    });
}

} // namespace dalmure
