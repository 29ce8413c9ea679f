// The minutes page: "pvData.html" in the application folder, made of the template of the user's
// language with the case fields filled in, followed by one line holding the annotation table.
#include "control/dalmure.h"
#include "control/trap.h"
#include "support/files.h"
#include "support/ini_reader.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace dalmure {
namespace {

constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';
constexpr char16_t kQuote = u'"';

bool isFrench(const Str& langColumn) {
    const Str upper = ucase(langColumn);
    return upper == u"FRAN\u00C7AIS" || upper == u"FRANCAIS" || upper == u"FRA";
}

Str isoDate(const platform::LocalTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
    return fromUtf8(buffer);
}

// Appends a data text with every carriage return turned into "<br>"; everything else, the line
// feeds included, goes through unchanged.
void appendDataText(Str& out, StrView data) {
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t cr = data.find(kCR, start);
        if (cr == StrView::npos) {
            out.append(data.substr(start));
            return;
        }
        out.append(data.substr(start, cr - start));
        out.append(u"<br>");
        start = cr + 1;
    }
}

// The rows of one annotation (see the table of forms in the minutes layout).
struct RowPieces {
    const Str& padX;
    const Str& padY1;
    const Str& padY2;
    bool bold;

    void append(Str& out, const Str& time, const Str& desc, const Str& data) const {
        out.append(u"<tr><td style=");
        out.push_back(kQuote);
        out.append(u"padding-right:");
        out.append(padX);
        if (data.empty()) {
            out.append(u"px;padding-bottom:");
            out.append(padY1);
        }
        out.append(u"px;padding-left:10px;");
        out.push_back(kQuote);
        if (bold) {
            out.append(u"><b>");
            out.append(time);
            out.append(u"</b></td>");
        } else {
            out.push_back(u'>');
            out.append(time);
            out.append(u"</td>");
        }
        if (data.empty()) {
            out.append(u"<td style=");
            out.push_back(kQuote);
            out.append(u"padding-right:");
            out.append(padX);
            out.append(u"px;padding-bottom:");
            out.append(padY1);
            out.append(u"px;");
            out.push_back(kQuote);
            out.append(bold ? u"><b>" : u">");
        } else {
            out.append(bold ? u"<td><b>" : u"<td>");
        }
        out.append(desc);
        out.append(bold ? u"</b></td>" : u"</td>");
        out.append(u"</tr>");
        if (!data.empty()) {
            out.append(u"<tr><td>&nbsp;</td><td style=");
            out.push_back(kQuote);
            out.append(u"padding-bottom:");
            out.append(padY2);
            out.append(u"px;");
            out.push_back(kQuote);
            out.push_back(u'>');
            appendDataText(out, data);
            out.append(u"</td></tr>");
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

void Dalmure::GenerateHTML(bool& blPrint) {
    trap(u"errDalmure_GenerateHTML", [&] {
        const Str ini = appFolder_ + u"/ORClient.INI";
        const Str padX = ReadIni(u"PV", u"PADX", u"10", ini);
        const Str padY1 = ReadIni(u"PV", u"PADY1", u"3", ini);
        const Str padY2 = ReadIni(u"PV", u"PADY2", u"10", ini);
        const bool bold = ReadIni(u"PV", u"AnnoGras", u"1", ini) == u"1";

        if (DateCreated.empty())
            DateCreated = isoDate(p_.clock().now());

        const Str page = appFolder_ + u"/pvData.html";
        if (files::isRegularFile(page))
            files::removeFile(page);

        const Str templ = appFolder_ + (isFrench(strLangColumn) ? u"/pvTemplateFRA.html"
                                                                : u"/pvTemplateENG.html");
        if (files::isRegularFile(templ))
            SetDataVariables(templ, page);

        platform::Grid& g = grid();
        const std::int32_t rows = g.rows();
        const RowPieces pieces{padX, padY1, padY2, bold};

        // The whole line is built in one buffer, converted once and written once. The estimate
        // covers the fixed markup of a row pair plus typical texts; longer texts grow it.
        Str table;
        table.reserve(static_cast<std::size_t>(rows > 0 ? rows : 0) * 160 + 128);
        table.append(u"<table border=");
        table.push_back(kQuote);
        table.append(u"0");
        table.push_back(kQuote);
        table.push_back(u'>');
        for (std::int32_t i = 0; i <= rows - 1; i += 2) {
            g.setRow(i);
            g.setCol(0);
            const Str time = g.text();
            g.setCol(1);
            const Str desc = g.text();
            g.setRow(i + 1);
            const Str data = g.text();
            pieces.append(table, time, desc, data);
        }
        if (blPrint) {
            table.append(u"</table><script type=");
            table.push_back(kQuote);
            table.append(u"text/javascript");
            table.push_back(kQuote);
            table.append(u">window.print();</script></body></html>");
        } else {
            table.append(u"</table></body></html>");
        }
        table.append(u"\r\n");
        files::appendAll(page, toCp1252(table));
    });
}

void Dalmure::SetDataVariables(const Str& strTemplate, const Str& strOutput) {
    trap(u"errDalmure_SetDataVariables", [&] {
        // The template is read before the page is opened: a template that cannot be read
        // leaves no page behind.
        const Str source = fromCp1252(files::readAll(strTemplate));

        static constexpr std::array<std::u16string_view, 3> kPlaceholders{
            u"CW.NODOSSIER", u"CW.DATECREATED", u"CW.USERNAME"};
        const std::array<const Str*, 3> values{&NoDossier, &DateCreated, &UserName};

        Str out;
        out.reserve(source.size() + source.size() / 16 + 64);
        forEachLine(source, [&](StrView lineView) {
            Str line(lineView);
            for (std::size_t k = 0; k < kPlaceholders.size(); ++k) {
                const std::size_t pos = ucase(line).find(kPlaceholders[k]);
                if (pos != Str::npos)
                    line.replace(pos, kPlaceholders[k].size(), *values[k]);
            }
            out.append(line);
            out.append(u"\r\n");
        });
        files::writeAll(strOutput, toCp1252(out)); // created, or emptied if it exists
    });
}

} // namespace dalmure
