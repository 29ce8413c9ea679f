// The commands: the buttons above the grid and the grid's popup menu, mapped to what they do by
// one table; the modes that withdraw commands; the entry-style toggle; the tooltip announcements.
// The control deletes and plays nothing itself: it asks the host.
#pragma once

#include "minutes/minutes.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/text.h"
#include <dalmure/events.h>

#include <cstdint>

namespace dalmure {

class Commands {
  public:
    // What the commands need from the rest of the control.
    class Host {
      public:
        // True when an annotation is selected in a list that holds one.
        virtual bool hasSelection() = 0;
        // The selected annotation's index, -1 for none. The delete and rename requests hand it
        // to the host's handlers by reference: what they store is the new selection.
        virtual std::int16_t& selection() = 0;
        // The play request, as a double click on the list makes it.
        virtual void play() = 0;
        // Where events go (nullptr: nowhere).
        virtual DalmureEvents* events() = 0;
        // Annotation index now has this description (a rename, kept or undone by the host).
        virtual void renamed(std::int16_t index, const Str& description) = 0;
        // A description the user typed into a prompt, with its abbreviations expanded.
        virtual Str expandWords(const Str& typed) { return typed; }
        // What the rename prompt asks, in the user's language.
        virtual Str renamePrompt() { return Str(); }

      protected:
        ~Host() = default;
    };

    enum class Command { RequestDelete, View, Play, Rename, Print, EntryStyleTwo, EntryStyleOne };

    // entryStyle and lockEntryStyle are the host's PVStyle and LockPVStyle fields.
    Commands(platform::Platform& form, Log& log, Minutes& minutes, Host& host,
             std::int16_t& entryStyle, const bool& lockEntryStyle);

    // Runs a command as its button or menu item does.
    void run(Command command);
    // A button was clicked, a menu item chosen: runs its command.
    void buttonClicked(platform::ButtonId button);
    void menuItemChosen(platform::MenuItemId item);
    // The mouse is over a button: its tooltip is announced to the host once.
    void buttonHovered(platform::ButtonId button);
    // The mouse left the buttons: an announced tooltip is withdrawn (announced as "").
    void withdrawToolTip();
    // The tooltip last announced ("" when none is).
    const Str& lastToolTip() const { return lastToolTip_; }

    // Opens the popup menu, its items enabled and shown for the list and the modes; modal: the
    // chosen item's command runs before this returns.
    void openPopupMenu(bool hasSelection, bool listHasRows);
    // Gives the popup menu's items the states openPopupMenu gives them, without opening it.
    void preparePopupMenu(bool hasSelection, bool listHasRows);

    // The modes. NoPlay hides the play button and moves the others one step left (errors are
    // logged); NoPV hides the view and print buttons; NoModif hides delete and rename. NoPV
    // and NoModif make the notes read-only.
    bool noPlay() const { return noPlay_; }
    void setNoPlay(bool value);
    bool noView() const { return noView_; }
    void setNoView(bool value);
    bool noModify() const { return noModify_; }
    void setNoModify(bool value);
    bool notesReadOnly() const { return noView_ || noModify_; }

  private:
    void requestDelete();
    void rename();
    // The entry-style pair: the button showing style one switches to style two and back,
    // unless the host locks the style at one.
    void chooseEntryStyle(Command command);

    platform::Platform& form_;
    Log& log_;
    Minutes& minutes_;
    Host& host_;
    std::int16_t& entryStyle_;
    const bool& lockEntryStyle_;
    Str lastToolTip_;
    bool noPlay_ = false;
    bool noView_ = false;
    bool noModify_ = false;
};

} // namespace dalmure
