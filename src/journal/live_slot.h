// The live slot: the editor's text as the clerk types it, kept in a small file mapped into the
// process (MAP_SHARED) beside the journal's database.
//
// A keystroke must be in the journal before its handling returns, and an SQLite transaction per
// keystroke costs a hundred times the keystroke itself. A store into a shared file mapping costs
// a memcpy: the bytes are in the kernel's page cache the moment they are written, so a process
// killed right after still leaves them in the file. What the page cache does not survive is the
// machine going down; for that the journal's sync thread copies the slot into the database and
// syncs it well within the second, and a slot written under an earlier boot is never trusted.
//
// Layout: a header page (a mark, the boot id, the generation of the last complete write and two
// descriptors), then the text areas. Write g goes into descriptor g % 2 and into an area that does
// not overlap the text of write g - 1, and only then is the header's generation set to g: at any
// instant (a SIGKILL can come between any two stores) the header names a complete write. The
// areas grow (file extended with its blocks allocated, mapping moved) when a text does not fit.
//
// One thread writes; other threads of the process take consistent copies (snapshot()); another
// process reads the file of a slot whose writer is gone (readSlot()).
#pragma once

#include "support/files.h"
#include "support/text.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace dalmure::journal::detail {

// One write: the editor's text for annotation `index` of the list as it was when record `after`
// was the last one, or no text at all (the editor closed on it).
struct SlotState {
    std::uint64_t generation = 0; // 0: nothing was ever written
    bool hasText = false;
    std::int64_t after = 0;
    std::int32_t index = 0;
    std::int64_t at = 0; // ms since the epoch
    Str text;
};

class LiveSlot {
  public:
    LiveSlot() = default;
    ~LiveSlot();
    LiveSlot(const LiveSlot&) = delete;
    LiveSlot& operator=(const LiveSlot&) = delete;

    // Creates file `name` in folder (0600, never through a link, its blocks allocated so that a
    // full disk cannot fault a store into the mapping) and maps it. False with errno on failure.
    bool create(const files::Folder& folder, const std::string& name);
    explicit operator bool() const { return base_ != nullptr; }

    // The writer. False when the text does not fit and the slot cannot grow; nothing was written
    // then, and the last complete write stays what the header names.
    bool write(std::int64_t after, std::int32_t index, const Str* text, std::int64_t at);
    // Tells a later reader that the slot no longer holds the latest text (the writer went on in
    // the database): the slot is then ignored.
    void retire();
    std::uint64_t generation() const { return generation_; }

    // Any thread of the process: a consistent copy of the last complete write. False while the
    // writer keeps overwriting what is being copied (try again later) or once retired.
    bool snapshot(SlotState& out) const;

    // Unmaps (the file stays).
    void unmap();

  private:
    bool grow(std::size_t bytes);

    unsigned char* base_ = nullptr;
    std::size_t size_ = 0;
    int fd_ = -1;
    std::uint64_t generation_ = 0; // the writer's copy of the header's generation
    std::size_t capacity_ = 0;     // bytes of each text area
    std::uint64_t textAt_ = 0;     // offset of the last complete write's text
    std::uint64_t textBytes_ = 0;  // and its length
    mutable std::mutex remapping_; // held by a growth and by snapshots
};

// The slot file `name` of a journal whose writer is gone. Nothing when it is missing, unreadable,
// retired, never written, or written before the machine last started (its bytes may never have
// reached the disk whole).
std::optional<SlotState> readSlot(const files::Folder& folder, const std::string& name);

// The boot id of the running system ("" when it cannot be read).
const std::string& bootId();

} // namespace dalmure::journal::detail
