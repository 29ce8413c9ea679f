// The live slot's file: header page, two descriptors, two text areas (see live_slot.h).
#include "journal/live_slot.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace dalmure::journal::detail {

namespace {

constexpr char kMark[8] = {'D', 'L', 'M', 'R', 'S', 'L', 'T', '1'};
constexpr std::size_t kBootAt = 8, kBootBytes = 40;
constexpr std::size_t kGenerationAt = 48;
constexpr std::size_t kDescriptorsAt = 64;
constexpr std::size_t kHeaderBytes = 4096; // the text areas start on a page of their own
constexpr std::size_t kFirstCapacity = 8192;
// A slot is never trusted past this size (a file of another kind, or damaged).
constexpr std::uint64_t kLargest = std::uint64_t{1} << 31;
constexpr std::uint64_t kRetired = ~std::uint64_t{0};

struct Descriptor {
    std::uint64_t generation;
    std::uint64_t offset; // of the text, from the start of the file
    std::uint64_t bytes;
    std::int64_t after;
    std::int64_t at;
    std::int32_t index;
    std::uint32_t hasText;
};
static_assert(sizeof(Descriptor) == 48);
static_assert(kDescriptorsAt + 2 * sizeof(Descriptor) <= kHeaderBytes);

std::atomic_ref<std::uint64_t> generationIn(unsigned char* base) {
    return std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(base + kGenerationAt));
}

Descriptor* descriptorIn(unsigned char* base, std::uint64_t generation) {
    return reinterpret_cast<Descriptor*>(base + kDescriptorsAt) + (generation & 1);
}

// Whether a descriptor read from a file of `size` bytes names text inside it.
bool inside(const Descriptor& d, std::uint64_t size) {
    return d.offset >= kHeaderBytes && d.bytes % sizeof(char16_t) == 0 && d.offset <= size &&
           d.bytes <= size - d.offset;
}

int allocate(int fd, std::size_t size) {
    int rc;
    do {
        rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    } while (rc == EINTR);
    return rc;
}

} // namespace

const std::string& bootId() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        std::getline(in, line);
        return line.size() < kBootBytes ? line : std::string();
    }();
    return id;
}

LiveSlot::~LiveSlot() {
    unmap();
}

void LiveSlot::unmap() {
    if (base_)
        ::munmap(base_, size_);
    base_ = nullptr;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool LiveSlot::create(const files::Folder& folder, const std::string& name) {
    // Without the boot id a reader could not tell a slot from before a power cut: no slot then.
    if (bootId().empty()) {
        errno = ENOTSUP;
        return false;
    }
    fd_ = ::openat(folder.descriptor(), name.c_str(),
                   O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return false;
    capacity_ = kFirstCapacity;
    const std::size_t size = kHeaderBytes + 2 * capacity_;
    const int rc = allocate(fd_, size);
    void* mapped =
        rc == 0 ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0) : MAP_FAILED;
    if (mapped == MAP_FAILED) {
        const int err = rc != 0 ? rc : errno;
        ::close(fd_);
        fd_ = -1;
        ::unlinkat(folder.descriptor(), name.c_str(), 0);
        errno = err;
        return false;
    }
    base_ = static_cast<unsigned char*>(mapped);
    size_ = size;
    std::memcpy(base_ + kBootAt, bootId().data(), bootId().size());
    // The mark last: a slot with its mark is a whole one.
    std::memcpy(base_, kMark, sizeof kMark);
    return true;
}

bool LiveSlot::grow(std::size_t bytes) {
    // Both areas of the old layout lie within the first area of the new one: the new text goes
    // into the second, clear of the last complete write wherever it was.
    std::size_t capacity = std::max(2 * capacity_, bytes);
    capacity = (capacity + kHeaderBytes - 1) / kHeaderBytes * kHeaderBytes;
    const std::size_t size = kHeaderBytes + 2 * capacity;
    if (size > kLargest || allocate(fd_, size) != 0)
        return false;
    std::lock_guard<std::mutex> guard(remapping_);
    void* moved = ::mremap(base_, size_, size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
        return false;
    base_ = static_cast<unsigned char*>(moved);
    size_ = size;
    capacity_ = capacity;
    return true;
}

bool LiveSlot::write(std::int64_t after, std::int32_t index, const Str* text, std::int64_t at) {
    if (!base_)
        return false;
    const std::size_t bytes = text ? text->size() * sizeof(char16_t) : 0;
    if (bytes > capacity_ && !grow(bytes))
        return false;
    // The first area unless it overlaps the last complete write's text; the second never does.
    std::uint64_t offset = kHeaderBytes;
    if (textBytes_ > 0 && textAt_ < offset + bytes)
        offset = kHeaderBytes + capacity_;
    if (bytes)
        std::memcpy(base_ + offset, text->data(), bytes);
    const std::uint64_t next = generation_ + 1;
    Descriptor* d = descriptorIn(base_, next);
    d->offset = offset;
    d->bytes = bytes;
    d->after = after;
    d->at = at;
    d->index = index;
    d->hasText = text ? 1 : 0;
    d->generation = next;
    // Everything above is in the file before the header names it (and, sequentially consistent,
    // before the writer looks whether the sync thread was told: see Journal::liveChanged).
    generationIn(base_).store(next, std::memory_order_seq_cst);
    generation_ = next;
    textAt_ = offset;
    textBytes_ = bytes;
    return true;
}

void LiveSlot::retire() {
    if (base_)
        generationIn(base_).store(kRetired, std::memory_order_seq_cst);
}

bool LiveSlot::snapshot(SlotState& out) const {
    std::lock_guard<std::mutex> guard(remapping_);
    if (!base_)
        return false;
    for (int attempt = 0; attempt < 64; ++attempt) {
        if (attempt > 0)
            std::this_thread::yield();
        const std::uint64_t generation = generationIn(base_).load(std::memory_order_seq_cst);
        if (generation == kRetired)
            return false;
        if (generation == 0) {
            out = SlotState{};
            return true;
        }
        // A seqlock read: copy, then check that the writer did not start the write after next,
        // the only one that reuses this descriptor or this text.
        Descriptor d;
        std::memcpy(&d, descriptorIn(base_, generation), sizeof d);
        if (d.generation != generation || !inside(d, size_))
            continue;
        out.text.resize(d.bytes / sizeof(char16_t));
        if (d.bytes)
            std::memcpy(out.text.data(), base_ + d.offset, d.bytes);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (generationIn(base_).load(std::memory_order_relaxed) != generation)
            continue;
        out.generation = generation;
        out.hasText = d.hasText != 0;
        out.after = d.after;
        out.index = d.index;
        out.at = d.at;
        return true;
    }
    return false;
}

std::optional<SlotState> readSlot(const files::Folder& folder, const std::string& name) {
    const int fd = ::openat(folder.descriptor(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<SlotState> out;
    struct stat st {};
    alignas(8) unsigned char header[kDescriptorsAt + 2 * sizeof(Descriptor)];
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) <= kLargest &&
        ::pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
        std::memcmp(header, kMark, sizeof kMark) == 0 && !bootId().empty() &&
        std::memcmp(header + kBootAt, bootId().data(), bootId().size()) == 0 &&
        header[kBootAt + bootId().size()] == 0) {
        std::uint64_t generation;
        std::memcpy(&generation, header + kGenerationAt, sizeof generation);
        Descriptor d;
        std::memcpy(&d, descriptorIn(header, generation), sizeof d);
        if (generation != 0 && generation != kRetired && d.generation == generation &&
            inside(d, static_cast<std::uint64_t>(st.st_size))) {
            SlotState s;
            s.generation = generation;
            s.hasText = d.hasText != 0;
            s.after = d.after;
            s.index = d.index;
            s.at = d.at;
            s.text.resize(d.bytes / sizeof(char16_t));
            if (d.bytes == 0 || ::pread(fd, s.text.data(), d.bytes, static_cast<off_t>(d.offset)) ==
                                    static_cast<ssize_t>(d.bytes))
                out = std::move(s);
        }
    }
    ::close(fd);
    return out;
}

} // namespace dalmure::journal::detail
