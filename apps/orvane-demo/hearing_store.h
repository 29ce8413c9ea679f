// The recording screen's own record of its hearings: an SQLite database (WAL mode) in the
// application folder that holds, for each hearing, its case fields and its annotations (time,
// description, notes) in list order, and which hearing was open last.
//
// The file is created 0600 and never opened through a symbolic link. A file in its place that is
// not a hearings database (another SQLite database, a damaged one, anything else) is refused and
// left exactly as it is.
#pragma once

#include <QDate>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace orvane {

struct StoredAnnotation {
    QString time, description, notes;
    bool operator==(const StoredAnnotation&) const = default;
};

struct CaseFields {
    QString noDossier, dateCreated, userName;
    QDate date; // the hearing's date as the screen's date field holds it
    bool operator==(const CaseFields&) const = default;
};

struct Hearing {
    qint64 id = 0;
    CaseFields fields;
    std::vector<StoredAnnotation> annotations; // in list order
};

// One line of the list of hearings.
struct HearingSummary {
    qint64 id = 0;
    CaseFields fields;
    int annotations = 0;
    qint64 changed = 0; // ms since the epoch
};

class HearingStore {
  public:
    static constexpr const char* kFileName = "Hearings.db";

    // Opens (or creates) the database of folder. nullptr when it cannot be used, with the reason
    // in *problem.
    static std::unique_ptr<HearingStore> open(const QString& folder, QString* problem);
    ~HearingStore();
    HearingStore(const HearingStore&) = delete;
    HearingStore& operator=(const HearingStore&) = delete;

    QString path() const { return path_; }
    // What the last failed call met.
    QString lastError() const { return lastError_; }

    // A new, empty hearing; it becomes the current one. 0 on failure.
    qint64 create();
    // The hearing open last (create or setCurrent), if any is still there.
    std::optional<qint64> current();
    bool setCurrent(qint64 id);
    std::optional<Hearing> load(qint64 id);
    // Every hearing, the one changed last first.
    std::vector<HearingSummary> list();

    bool saveCaseFields(qint64 id, const CaseFields& fields);
    // Makes the hearing's annotations exactly `annotations`, writing only the rows that differ,
    // in one transaction.
    bool saveAnnotations(qint64 id, const std::vector<StoredAnnotation>& annotations);

  private:
    HearingStore(sqlite3* db, QString path) : db_(db), path_(std::move(path)) {}
    bool fail(const char* what);
    // Runs sql; a failure rolls back the transaction it was in.
    bool exec(const char* sql);
    void rollback();
    bool touch(qint64 id);

    sqlite3* db_ = nullptr;
    QString path_;
    QString lastError_;
};

} // namespace orvane
