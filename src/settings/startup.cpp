#include "settings/startup.h"
#include "support/log_labels.h"

#include "support/numeric.h"
#include "support/trap.h"

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

void startUp(platform::Platform& form, Settings& settings, Log& log, std::int16_t& selection) {
    runTrapped(log, label::startUp, [&] {
        // Language and entry style.
        const Str language = settings.iniValue(u"Config", u"Langue", u"Fran\u00e7ais");
        const Str style = settings.iniValue(u"Config", u"PVStyle", u"1");
        if (style == u"1") {
            form.button(ButtonId::EntryStyleOne).setVisible(false);
            form.button(ButtonId::EntryStyleTwo).setVisible(true);
        } else {
            form.button(ButtonId::EntryStyleOne).setVisible(true);
            form.button(ButtonId::EntryStyleTwo).setVisible(false);
        }

        // Font size of the control, the grid and the editor.
        const std::int16_t fontSize =
            toInteger(leadingNumber(settings.iniValue(u"Config", u"PVFontSize", u"8")));
        form.surface().setFontSize(fontSize);
        form.grid().setFontSize(fontSize);
        form.editor().setFontSize(fontSize);

        settings.chooseLanguage(language);

        // Frame, colours and alignment.
        form.frame(platform::FrameId::Frame3).setVisible(true);
        form.grid().setBackColorBkg(kWhite);
        form.grid().setBackColor(kWhite);
        form.editor().setBackColor(form.grid().backColorFixed());
        form.grid().setColAlignment(0, kAlignCentre);
        form.grid().setColAlignment(1, kAlignLeftTop);

        // Column widths, measured in the control's font, and the editor's width.
        form.grid().setColWidth(0, toLong(form.surface().textWidth(u" 00:00:00 ") + 100));
        form.grid().setColWidth(
            1, toLong(static_cast<double>(form.grid().width()) - form.grid().colWidth(0) - 600));
        form.editor().setWidth(toLong(static_cast<double>(form.grid().colWidth(1)) - 60));

        // Nothing selected.
        selection = -1;

        // Tooltips.
        const struct {
            ButtonId button;
            Localised text;
        } toolTips[] = {
            {ButtonId::Delete, {u"MSG304", u"Supprimer l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::View,
             {u"MSG305", u"Visualiser le proc\u00e8s-verbal avec le fureteur internet"}},
            {ButtonId::Play, {u"MSG306", u"Jouer \u00e0 l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::Rename,
             {u"MSG307", u"Modifier la description de l'annotation s\u00e9lectionn\u00e9e"}},
            {ButtonId::Print, {u"MSG308", u"Impression sommaire de la liste d'annotations"}},
            {ButtonId::EntryStyleTwo, kStyleToolTip},
            {ButtonId::EntryStyleOne, kStyleToolTip},
        };
        for (const auto& t : toolTips)
            form.button(t.button).setToolTipText(settings.text(t.text.id, t.text.text));

        // Menu captions.
        const struct {
            MenuItemId item;
            Localised text;
        } captions[] = {
            {MenuItemId::Play, {u"MSG369", u"Jouer \u00e0 l'annotation"}},
            {MenuItemId::Rename, {u"MSG370", u"Renommer"}},
            {MenuItemId::Delete, {u"MSG371", u"Supprimer"}},
            {MenuItemId::Print, {u"MSG372", u"Imprimer la liste"}},
            {MenuItemId::ViewMinutes, {u"MSG373", u"Consulter le proc\u00e8s-verbal"}},
        };
        for (const auto& c : captions)
            form.menu().setCaption(c.item, settings.text(c.text.id, c.text.text));
    });
}

} // namespace dalmure
