// Start-up: language, entry style and font size from the client INI file, the catalogue
// column of the language, the grid's colours, alignment and widths, the editor's size, and
// the localised tooltips and menu captions.
#include "control/dalmure.h"

#include "control/trap.h"
#include "support/ini_reader.h"
#include "support/numeric.h"

namespace dalmure {

using platform::ButtonId;
using platform::MenuItemId;

namespace {

constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kAlignCentre = 4;
constexpr std::int32_t kAlignLeftTop = 0;

struct Localised {
    const char16_t* id;
    const char16_t* text;
};

constexpr Localised kStyleToolTip{u"MSG447", u"Configuration de la saisie des annotations"};

} // namespace

void Dalmure::UserControl_Initialize() {
    trap(u"errDalmure_UserControl_Initialize", [&] {
        // 1-3. Language and entry style.
        const Str language = ReadIni(u"Config", u"Langue", u"Fran\u00e7ais", iniPath());
        const Str style = ReadIni(u"Config", u"PVStyle", u"1", iniPath());
        if (style == u"1") {
            button(ButtonId::CWButton6_1).setVisible(false);
            button(ButtonId::CWButton6_0).setVisible(true);
        } else {
            button(ButtonId::CWButton6_1).setVisible(true);
            button(ButtonId::CWButton6_0).setVisible(false);
        }

        // 4-5. Font size of the control, the grid and the editor.
        const std::int16_t fontSize =
            toInteger(leadingNumber(ReadIni(u"Config", u"PVFontSize", u"8", iniPath())));
        p_.surface().setFontSize(fontSize);
        grid().setFontSize(fontSize);
        text1().setFontSize(fontSize);

        // 6-7. The catalogue column of the language: the first [LNG] entry naming it.
        for (std::int16_t n = 1;; n = addInteger(n, 1)) {
            const Str entry = ReadIni(u"LNG", u"LNG" + decimal(n), u"", iniPath());
            if (entry.empty())
                break;
            if (strFindData(entry, 1) == language) {
                strLangColumn = strFindData(entry, 2);
                break;
            }
        }
        if (strLangColumn.empty())
            strLangColumn = u"Francais";

        // 8-11. Frame, colours and alignment.
        p_.frame(platform::FrameId::Frame3).setVisible(true);
        grid().setBackColorBkg(kWhite);
        grid().setBackColor(kWhite);
        text1().setBackColor(grid().backColorFixed());
        grid().setColAlignment(0, kAlignCentre);
        grid().setColAlignment(1, kAlignLeftTop);

        // 12-13. Column widths, measured in the control's font, and the editor's width.
        grid().setColWidth(0, toLong(p_.surface().textWidth(u" 00:00:00 ") + 100));
        grid().setColWidth(1,
                           toLong(static_cast<double>(grid().width()) - grid().colWidth(0) - 600));
        text1().setWidth(toLong(static_cast<double>(grid().colWidth(1)) - 60));

        // 14. Nothing selected.
        iSelected = -1;

        // 15. Tooltips.
        const struct {
            ButtonId button;
            Localised text;
        } toolTips[] = {
            {ButtonId::CWButton1, {u"MSG304", u"Supprimer l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::CWButton2,
             {u"MSG305", u"Visualiser le proc\u00e8s-verbal avec le fureteur internet"}},
            {ButtonId::CWButton3, {u"MSG306", u"Jouer \u00e0 l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::CWButton4,
             {u"MSG307", u"Modifier la description de l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::CWButton5, {u"MSG308", u"Impression sommaire de la liste d'annotations"}},
            {ButtonId::CWButton6_0, kStyleToolTip},
            {ButtonId::CWButton6_1, kStyleToolTip},
        };
        for (const auto& t : toolTips)
            button(t.button).setToolTipText(ChargeLangue(t.text.id, t.text.text));

        // 16. Menu captions.
        const struct {
            MenuItemId item;
            Localised text;
        } captions[] = {
            {MenuItemId::Jouer, {u"MSG369", u"Jouer \u00e0 l'annotation"}},
            {MenuItemId::Renommer, {u"MSG370", u"Renommer"}},
            {MenuItemId::Supprimer, {u"MSG371", u"Supprimer"}},
            {MenuItemId::Imprimer, {u"MSG372", u"Imprimer la liste"}},
            {MenuItemId::Dalmure, {u"MSG373", u"Consulter le proc\u00e8s-verbal"}},
        };
        for (const auto& c : captions)
            p_.menu().setCaption(c.item, ChargeLangue(c.text.id, c.text.text));
    });
}

Str Dalmure::strFindData(Str strData, std::int16_t intIndex) {
    Str result;
    trap(u"errDalmure_strFindData", [&] {
        if (strData.empty() || strData.back() != u'|')
            strData += u'|';
        // The walk counts characters and fields in 16-bit Integers.
        const std::int16_t length = toInteger(static_cast<long long>(strData.size()));
        std::int16_t count = 0;
        Str field;
        for (std::int16_t i = 0; i < length; ++i) {
            const char16_t ch = strData[static_cast<std::size_t>(i)];
            if (ch == u'|') {
                count = addInteger(count, 1);
                if (count == intIndex) {
                    result = field;
                    return;
                }
                field.clear();
            } else {
                field += ch;
            }
        }
    });
    return result;
}

Str Dalmure::ChargeLangue(const Str& strMsgId, const Str& strDefault) {
    return catalogue_.ChargeLangue(strMsgId, strDefault, strLangColumn);
}

Str Dalmure::iniPath() const {
    return appFolder_ + u"/ORClient.ini";
}

} // namespace dalmure
