// Shorthands into the control's parts for the unit tests, the benchmarks and the fuzz targets.
#pragma once

#include "control/dalmure_p.h"
#include "interaction/notes_writing.h"

namespace dalmure {

class DalmureTestAccess {
  public:
    static Str strFindData(DalmurePrivate& c, Str data, std::int16_t index) {
        return entryField(c.log_, std::move(data), index);
    }

    static bool blValideGrid(DalmurePrivate& c) { return c.blValideGrid(); }
    static std::int32_t timeOrderBreaks(const DalmurePrivate& c) {
        return c.list_.timeOrderBreaks();
    }
    static void setSelected(DalmurePrivate& c, std::int16_t v) { c.iSelected = v; }
    static std::int32_t lBackColor(const DalmurePrivate& c) { return c.lBackColor; }
    static const Str& strEditStart(const DalmurePrivate& c) { return c.editorState_.startText(); }
    static bool blScrolling(const DalmurePrivate& c) { return c.blScrolling; }

    static void ResizeGrid(DalmurePrivate& c) { c.ResizeGrid(); }
    static void SetRowHeight(DalmurePrivate& c, std::int16_t row, bool scroll, bool editing) {
        c.SetRowHeight(row, scroll, editing);
    }
    static void EnsureVisible(DalmurePrivate& c, std::int32_t row) { c.EnsureVisible(row); }

    static void onGridClick(DalmurePrivate& c) { c.onGridClick(); }
    static void buttonClick(DalmurePrivate& c, platform::ButtonId id) {
        c.commands_.buttonClicked(id);
    }

    static bool GenerateHTML(DalmurePrivate& c, bool print) { return c.minutes_.writePage(print); }
    // The template copy as it starts the page (bytes on disk).
    static std::string SetDataVariables(DalmurePrivate& c, const Str& templ, bool escape = false) {
        const std::size_t slash = templ.rfind(u'/');
        const files::Folder folder = files::Folder::open(templ.substr(0, slash));
        std::string page;
        c.minutes_.appendTemplate(folder, toUtf8(templ.substr(slash + 1)).c_str(), page, escape);
        return page;
    }
    static void setLangColumn(DalmurePrivate& c, const Str& v) { c.settings_.setLanguageColumn(v); }

    // Ends the journal as a clean close would; the control goes on without one.
    static void closeJournal(DalmurePrivate& c) {
        c.closeJournal();
        c.journal_.reset();
    }
};

} // namespace dalmure
