// The catalogue database read from a real Access (Jet) file through mdbtools' libmdb.
#pragma once

#include "platform/catalogue_db.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dalmure::platform {

// One table of a catalogue file, read whole: column names in table order and every row's
// values in storage order (nullopt for a database NULL).
struct MdbTableData {
    Str name;
    std::vector<Str> columns;
    std::vector<std::vector<std::optional<Str>>> rows;
};

// What identifies one version of a file on disk.
struct MdbFileIdentity {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, mtimeSeconds = 0, mtimeNanoseconds = 0;
    bool operator==(const MdbFileIdentity&) const = default;
};

class MdbCatalogueDatabase : public CatalogueDatabase {
  public:
    // Shared: the tables read are kept for every reader of the process, so a platform created
    // later (the control recreated, say) does not read an unchanged file again. Own: this reader
    // keeps its own cache, which starts empty (for harnesses that must see every read).
    enum class Cache { Shared, Own };
    explicit MdbCatalogueDatabase(Cache cache = Cache::Shared)
        : sharedCache_(cache == Cache::Shared) {}

    std::unique_ptr<CatalogueConnection> open(const std::string& path) override;

    // How long the isolated reader may take over one file before it is given up (milliseconds).
    void setReadTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    // Number of times this reader actually read a file (not answered from a cache); for tests.
    int readCount() const { return reads_; }

    struct Entry {
        std::string path;
        MdbFileIdentity identity;
        std::shared_ptr<const std::vector<MdbTableData>> tables; // null when not a database
    };

  private:
    bool sharedCache_;
    std::mutex mutex_;
    std::optional<Entry> cache_;
    int timeoutMs_ = 5000;
    int reads_ = 0;
};

} // namespace dalmure::platform
