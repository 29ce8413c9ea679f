// The door to the control's private members, for the unit tests, the benchmarks and the fuzz
// targets (the control names it as its friend).
#pragma once

#include "control/dalmure.h"

namespace dalmure {

class DalmureTestAccess {
  public:
    // Start-up and catalogue
    static Str strFindData(Dalmure& c, Str data, std::int16_t index) {
        return entryField(c.log_, std::move(data), index);
    }

    // List helpers
    static bool blValideGrid(Dalmure& c) { return c.blValideGrid(); }
    static std::int32_t timeOrderBreaks(const Dalmure& c) { return c.timeOrderBreaks_; }
    static void setSelected(Dalmure& c, std::int16_t v) { c.iSelected = v; }
    static std::int32_t lBackColor(const Dalmure& c) { return c.lBackColor; }
    static const Str& strEditStart(const Dalmure& c) { return c.strEditStart; }
    static bool blScrolling(const Dalmure& c) { return c.blScrolling; }

    // Layout
    static void ResizeGrid(Dalmure& c) { c.ResizeGrid(); }
    static void SetRowHeight(Dalmure& c, std::int16_t row, bool scroll, bool editing) {
        c.SetRowHeight(row, scroll, editing);
    }
    static void EnsureVisible(Dalmure& c, std::int32_t row) { c.EnsureVisible(row); }

    // Grid, editor, buttons, menu
    static void onGridClick(Dalmure& c) { c.onGridClick(); }
    static void onEditorLostFocus(Dalmure& c) { c.onEditorLostFocus(); }
    static void buttonClick(Dalmure& c, platform::ButtonId id) { c.commands_.buttonClicked(id); }

    // Minutes
    static bool GenerateHTML(Dalmure& c, bool print) { return c.minutes_.writePage(print); }
    // The template copy as it starts the page (bytes on disk).
    static std::string SetDataVariables(Dalmure& c, const Str& templ, bool escape = false) {
        std::string page;
        c.minutes_.appendTemplate(templ, page, escape);
        return page;
    }
    static void setLangColumn(Dalmure& c, const Str& v) { c.settings_.setLanguageColumn(v); }

    // Journal: ends it as a clean close would, so that the control goes on without one.
    static void closeJournal(Dalmure& c) {
        c.closeJournal();
        c.journal_.reset();
    }
};

} // namespace dalmure
