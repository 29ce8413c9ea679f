// The view and print commands: both rebuild the minutes page, then either open it in the program
// the desktop associates with HTML pages, or load it into the browser component, which prints it.
#include "minutes/minutes.h"
#include "support/log_labels.h"

#include "support/errors.h"
#include "support/files.h"
#include "support/numeric.h"
#include "support/trap.h"

namespace dalmure {
namespace {

// The browser started when no program is associated with HTML pages.
constexpr char16_t kFallbackBrowser[] = u"x-www-browser";
constexpr std::size_t kProgramBufferLength = 255;

// The program path the lookup left in the fixed-length buffer: the text up to the terminating
// NUL, with the buffer's blank padding trimmed.
Str programFromBuffer(Str buffer) {
    const std::size_t nul = buffer.find(u'\0');
    if (nul != Str::npos)
        buffer.resize(nul);
    if (buffer.size() > kProgramBufferLength)
        buffer.resize(kProgramBufferLength);
    const std::size_t last = buffer.find_last_not_of(u' ');
    buffer.resize(last == Str::npos ? 0 : last + 1);
    return buffer;
}

// The page as the commands look for it: a regular file in the application folder itself,
// not a link to one elsewhere.
bool pageIsThere(const Str& appFolder) {
    try {
        return files::Folder::open(appFolder).kind("pvData.html") == files::Folder::Kind::Regular;
    } catch (const ControlError&) {
        return false;
    }
}

} // namespace

void Minutes::tellNotWritten() {
    form_.dialogs().messageBox(
        settings_.text(u"MSG450", u"Le proc\u00e8s-verbal n'a pas pu \u00eatre \u00e9crit en "
                                  u"entier. La version pr\u00e9c\u00e9dente est conserv\u00e9e."),
        u"Orvane");
}

void Minutes::view() {
    runTrapped(log_, label::viewClick, [&] {
        if (!host_.hasSelection())
            return;
        const bool written = writePage(false);
        host_.pageWritten();
        if (!written) {
            // The page on disk is not this list's: nothing is opened, the clerk is told.
            tellNotWritten();
            return;
        }

        const Str page = settings_.appFolder() + u"/pvData.html";
        const Str label = label::viewClick;
        Str buffer(kProgramBufferLength, u' ');
        const int found = form_.shell().findExecutable(page, Str(), buffer);
        const Str program = programFromBuffer(buffer);

        if (found <= 32) {
            log_.writeTrapped(0, u"Pas de Browser par d\u00E9faut, on d\u00E9marre iExplorer",
                              label);
            if (pageIsThere(settings_.appFolder()))
                form_.shell().shellExecute(u"open", kFallbackBrowser, {page}, Str(), 1);
            return;
        }
        if (form_.shell().shellExecute(u"open", program, {page}, Str(), 1) <= 32)
            log_.writeTrapped(0, u"Fichier pvData.html absent.", label);
    });
}

void Minutes::print() {
    platform::Screen& screen = form_.screen();
    bool failed = true;
    runTrapped(log_, label::printClick, [&] {
        if (!host_.hasSelection()) {
            failed = false;
            return;
        }
        screen.setMousePointer(platform::kPointerBusy);
        const bool written = writePage(true);
        host_.pageWritten();
        if (!written) {
            // Nothing is printed: the page on disk is not this list's.
            screen.setMousePointer(platform::kPointerDefault);
            failed = false;
            tellNotWritten();
            return;
        }

        const Str page = settings_.appFolder() + u"/pvData.html";
        if (pageIsThere(settings_.appFolder())) {
            const Str size = settings_.iniValue(u"CONFIG", u"PVPRINTSIZE", u"5");
            form_.printer().setPrintSize(toInteger(leadingNumber(size)));
            form_.browser().navigate(page);
        }
        screen.setMousePointer(platform::kPointerDefault);
        failed = false;
    });
    if (failed)
        screen.setMousePointer(platform::kPointerDefault);
}

} // namespace dalmure
