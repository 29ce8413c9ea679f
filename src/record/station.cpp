// A station on a hearing (station.h): the control's changes queued and sent, the others'
// brought into the control.
#include "record/station.h"

#include "control/dalmure_p.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

namespace dalmure::record {

namespace {

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The outbox's columns: a change as queued, with its place in the queue.
constexpr std::string_view kOutboxSchema[] = {
    "CREATE TABLE IF NOT EXISTS outbox (n integer PRIMARY KEY AUTOINCREMENT, id text UNIQUE NOT "
    "NULL, hearing text NOT NULL, kind text NOT NULL, annotation text NOT NULL, time text NOT "
    "NULL, description text NOT NULL, notes text NOT NULL, no_dossier text NOT NULL, "
    "date_created text NOT NULL, user_name text NOT NULL, room text NOT NULL, base text NOT "
    "NULL, author text NOT NULL, station text NOT NULL, at bigint NOT NULL)",
    // The changes this station made (sent or not): never brought back into its own control.
    "CREATE TABLE IF NOT EXISTS own (id text PRIMARY KEY)",
    // How far HearingCopy.db holds each hearing, in the record's seq.
    "CREATE TABLE IF NOT EXISTS cursor (hearing text PRIMARY KEY, seq bigint NOT NULL)",
};

// How long what other stations changed may wait for the copy: the server holds it meanwhile,
// and writing it at every notification would cost each station a transaction per change of
// every other.
constexpr std::chrono::seconds kCopyEvery{1};

constexpr const char* kKeepCopied =
    "INSERT INTO cursor (hearing, seq) VALUES (?, ?) ON CONFLICT (hearing) DO UPDATE SET seq = "
    "max(seq, excluded.seq)";

} // namespace

Station::Station(DalmurePrivate& control, std::unique_ptr<Store> store, StationOptions options)
    : control_(control), store_(std::move(store)), options_(std::move(options)),
      outbox_(openSqlite(toUtf8(control.appFolder()), "Outbox.db")) {
    outboxReady_ = true;
    for (std::string_view s : kOutboxSchema)
        outboxReady_ = outboxReady_ && outbox_->exec(s);
    if (!outboxReady_ && options_.report)
        options_.report("hearing record: Outbox.db: " + outbox_->error());
    if (store_->shared())
        copy_ = openStore("sqlite:HearingCopy.db", control.appFolder(), options_.report);
    control_.setChangeFeed(this);
}

Station::~Station() {
    control_.setChangeFeed(nullptr);
    writeCopy();
}

std::string Station::create() {
    if (!outboxReady_)
        return {};
    writeCopy();
    hearing_ = newId();
    cursor_ = 0;
    told_.clear();
    ids_.clear();
    shown_.clear();
    shownText_.clear();
    current_.clear();
    fetchDue_ = true;
    dossier_ = control_.NoDossier;
    date_ = control_.DateCreated;
    user_ = control_.UserName;
    Change h;
    h.kind = Kind::Hearing;
    h.fields = {{}, dossier_, date_, user_, options_.room, options_.station, 0};
    queue(h);
    // What the control holds already belongs to the hearing.
    for (std::int32_t k = 0; k < control_.AnnoCount(); ++k) {
        added(k, control_.AnnoTime(k), control_.AnnoDesc(k));
        const Str notes = control_.AnnoData(k);
        if (!notes.empty())
            notesCommitted(k, notes);
    }
    return hearing_;
}

std::int64_t Station::copied(const std::string& id) {
    std::vector<Row> rows;
    if (!outbox_->exec("SELECT seq FROM cursor WHERE hearing = ?", {id}, &rows) || rows.empty())
        return 0;
    return std::stoll(rows[0][0]);
}

void Station::keepCopied(const std::string& id, std::int64_t seq) {
    outbox_->exec(kKeepCopied, {id, std::to_string(seq)});
}

void Station::refreshCopy(const std::string& id) {
    const std::optional<std::vector<Change>> missing = store_->changesAfter(id, copied(id));
    if (missing && !missing->empty() && copy_->applyAll(*missing))
        keepCopied(id, missing->back().seq);
}

void Station::writeCopy() {
    copyWritten_ = std::chrono::steady_clock::now();
    if (copyPending_.empty())
        return;
    // The copy stays whole only when it held everything before these.
    const bool whole = copied(copyHearing_) >= copyFrom_;
    if (copy_->applyAll(copyPending_) && whole)
        keepCopied(copyHearing_, copyPending_.back().seq);
    copyPending_.clear();
}

bool Station::open(const std::string& id) {
    // What an earlier run of the station left in the outbox is in the hearing it loads.
    writeCopy();
    if (store_->reachable())
        send();
    std::optional<Loaded> loaded = store_->load(id);
    bool fromCopy = false;
    if (loaded && copy_) {
        refreshCopy(id);
    } else if (!loaded && copy_ && !store_->reachable()) {
        loaded = copy_->load(id);
        if (loaded)
            loaded->seq = copied(id);
        fromCopy = loaded.has_value();
    }
    return show(id, std::move(loaded), true, fromCopy ? Link::Offline : Link::Connected);
}

bool Station::openAsOf(const std::string& id, std::int64_t at) {
    return show(id, store_->loadAsOf(id, at), false, link_);
}

bool Station::show(const std::string& id, std::optional<Loaded> loaded, bool attach, Link link) {
    if (!loaded) {
        setLink(store_->reachable() ? link_ : Link::Offline);
        return false;
    }
    writeCopy();
    hearing_.clear(); // nothing of the emptying is queued
    control_.ClearAll();
    ids_.clear();
    shown_.clear();
    shownText_.clear();
    current_.clear();
    cursor_ = loaded->seq;
    told_.clear();
    fetchDue_ = true;
    const Hearing& h = loaded->hearing;
    control_.NoDossier = dossier_ = h.noDossier;
    control_.DateCreated = date_ = h.dateCreated;
    control_.UserName = user_ = h.userName;
    // One batch, the grid hidden while it fills: the feed's calls it causes take the loaded
    // identities in order and queue nothing.
    std::vector<DalmurePrivate::NewAnnotation> batch;
    batch.reserve(loaded->annotations.size());
    for (const Annotation& a : loaded->annotations)
        batch.push_back({a.time, a.description, a.notes});
    loading_ = &loaded->annotations;
    loadingNext_ = 0;
    bool refresh = false;
    control_.AllowRefreshPV(refresh);
    control_.addAnnotations(batch);
    refresh = true;
    control_.AllowRefreshPV(refresh);
    loading_ = nullptr;
    for (const Annotation& a : loaded->annotations) {
        shown_[a.id] = a.notesChange;
        shownText_[a.id] = a.notes;
        if (!a.notesChange.empty())
            current_[a.id] = {a.notesChange, a.notes, a.station};
    }
    if (!attach) // a past state: shown, neither followed nor changed in the record
        return true;
    hearing_ = id;
    setLink(link);
    return true;
}

std::size_t Station::pending() {
    std::vector<Row> rows;
    if (!outbox_->exec("SELECT count(*) FROM outbox", {}, &rows) || rows.empty())
        return 0;
    return static_cast<std::size_t>(std::stoll(rows[0][0]));
}

std::string Station::annotationId(std::int32_t index) const {
    return index >= 0 && index < static_cast<std::int32_t>(ids_.size())
               ? ids_[static_cast<std::size_t>(index)]
               : std::string();
}

// --- The control's own changes ------------------------------------------------------------

bool Station::targets(std::int32_t index) const {
    return applyingAll_ || loading_ || (!applying_.empty() && annotationId(index) == applying_);
}

void Station::added(std::int32_t index, const Str& time, const Str& description) {
    const auto at = ids_.begin() + std::min<std::ptrdiff_t>(index, std::ssize(ids_));
    if (loading_) {
        if (loadingNext_ < loading_->size())
            ids_.insert(at, (*loading_)[loadingNext_++].id);
        return;
    }
    if (!applying_.empty() && std::find(ids_.begin(), ids_.end(), applying_) == ids_.end()) {
        ids_.insert(at, applying_);
        return;
    }
    const std::string id = newId();
    ids_.insert(at, id);
    Change c;
    c.kind = Kind::Add;
    c.annotation = id;
    c.time = time;
    c.description = description;
    queue(c);
}

void Station::deleted(std::int32_t index) {
    const std::string id = annotationId(index);
    if (id.empty())
        return;
    const bool mine = !targets(index);
    ids_.erase(ids_.begin() + index);
    if (mine) {
        Change c;
        c.kind = Kind::Delete;
        c.annotation = id;
        queue(c);
    }
}

void Station::renamed(std::int32_t index, const Str& description) {
    if (targets(index) || annotationId(index).empty())
        return;
    Change c;
    c.kind = Kind::Rename;
    c.annotation = annotationId(index);
    c.description = description;
    queue(c);
}

void Station::notesCommitted(std::int32_t index, const Str& notes) {
    const std::string id = annotationId(index);
    if (id.empty() || targets(index))
        return;
    // The control commits its editor's text again when the list changes under it: the same
    // notes are no new change.
    const auto was = shownText_.find(id);
    if (was != shownText_.end() && was->second == notes)
        return;
    shownText_[id] = notes;
    Change c;
    c.id = newId();
    c.kind = Kind::Notes;
    c.annotation = id;
    c.notes = notes;
    c.base = shown_[id];
    shown_[id] = c.id;
    queue(c);
}

void Station::recovered(std::int32_t index) {
    if (targets(index) || annotationId(index).empty())
        return;
    Change c;
    c.kind = Kind::Recover;
    c.annotation = annotationId(index);
    queue(c);
}

void Station::cleared() {
    const bool mine = !applyingAll_ && !(ids_.size() == 1 && ids_[0] == applying_);
    ids_.clear();
    if (mine) {
        Change c;
        c.kind = Kind::Clear;
        queue(c);
    }
}

void Station::queueCaseFields() {
    if (control_.NoDossier == dossier_ && control_.DateCreated == date_ &&
        control_.UserName == user_)
        return;
    dossier_ = control_.NoDossier;
    date_ = control_.DateCreated;
    user_ = control_.UserName;
    Change h;
    h.kind = Kind::Hearing;
    h.fields = {{}, dossier_, date_, user_, {}, {}, 0};
    queue(h);
}

bool Station::queue(Change c) {
    if (hearing_.empty() || options_.follow || !outboxReady_)
        return false;
    if (c.kind != Kind::Hearing)
        queueCaseFields();
    if (c.id.empty())
        c.id = newId();
    c.hearing = hearing_;
    c.author = options_.author;
    c.station = options_.station;
    c.at = nowMs();
    const bool ok =
        outbox_->exec("BEGIN IMMEDIATE") &&
        outbox_->exec("INSERT INTO outbox (id, hearing, kind, annotation, time, description, "
                      "notes, no_dossier, date_created, user_name, room, base, author, station, "
                      "at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                      {c.id, c.hearing, std::string(kindName(c.kind)), c.annotation, toUtf8(c.time),
                       toUtf8(c.description), toUtf8(c.notes), toUtf8(c.fields.noDossier),
                       toUtf8(c.fields.dateCreated), toUtf8(c.fields.userName),
                       toUtf8(c.fields.room), c.base, toUtf8(c.author), toUtf8(c.station),
                       std::to_string(c.at)}) &&
        outbox_->exec("INSERT INTO own (id) VALUES (?)", {c.id}) && outbox_->exec("COMMIT");
    if (!ok) {
        outbox_->exec("ROLLBACK");
        if (options_.report)
            options_.report("hearing record: Outbox.db: " + outbox_->error());
    } else if (copy_) {
        copy_->apply(c);
    }
    if (link_ == Link::Connected)
        setLink(Link::Sending);
    return ok;
}

// --- Sending and receiving ------------------------------------------------------------------

void Station::poll() {
    if (hearing_.empty())
        return;
    for (const std::string& changed : store_->changedHearings())
        fetchDue_ = fetchDue_ || changed.empty(); // "": not public, nothing told
    if (std::optional<std::vector<Change>> told = store_->told(hearing_))
        told_.insert(told_.end(), std::make_move_iterator(told->begin()),
                     std::make_move_iterator(told->end()));
    else
        fetchDue_ = true;
    if (!store_->reachable()) {
        fetchDue_ = true;
        setLink(Link::Offline);
        writeCopy();
        return;
    }
    const bool sent = send();
    const bool quiet = !fetchDue_ && store_->shared() && link_ == Link::Connected;
    const auto copyDue = [&] {
        if (std::chrono::steady_clock::now() - copyWritten_ >= kCopyEvery)
            writeCopy();
    };
    if (!sent || (quiet && told_.empty())) {
        if (sent) {
            setLink(Link::Connected);
            copyDue();
        }
        return;
    }
    fetchDue_ = false;
    if (!receive(quiet)) {
        fetchDue_ = true;
        setLink(Link::Offline);
        writeCopy();
        return;
    }
    setLink(Link::Connected);
    copyDue();
}

bool Station::send() {
    for (;;) {
        std::vector<Row> rows;
        if (!outbox_->exec("SELECT id, hearing, kind, annotation, time, description, notes, "
                           "no_dossier, date_created, user_name, room, base, author, station, "
                           "at, n FROM outbox ORDER BY n LIMIT 50",
                           {}, &rows))
            return false;
        if (rows.empty())
            return true;
        std::vector<Change> batch;
        batch.reserve(rows.size());
        for (const Row& r : rows) {
            batch.push_back(changeFromRow(r));
            batch.back().seq = 0; // the outbox's order, not yet the record's
        }
        // One transaction, so one notification for the other stations. Sent again after a
        // failure that hid the answer: the record keeps each change once.
        if (!store_->applyAll(batch)) {
            setLink(Link::Offline);
            return false;
        }
        fetchDue_ = true;
        outbox_->exec("DELETE FROM outbox WHERE n <= ?", {rows.back()[15]});
    }
}

bool Station::known(const std::string& change) {
    std::vector<Row> rows;
    outbox_->exec("SELECT 1 FROM own WHERE id = ?", {change}, &rows);
    return !rows.empty();
}

std::optional<std::vector<Change>> Station::takeTold() {
    std::vector<Change> out;
    for (Change& c : told_) {
        if (c.seq <= cursor_ + std::ssize(out))
            continue; // already applied
        if (c.seq != cursor_ + std::ssize(out) + 1)
            return std::nullopt;
        out.push_back(std::move(c));
    }
    told_.clear();
    return out;
}

bool Station::receive(bool toldOnly) {
    std::optional<std::vector<Change>> batch;
    if (toldOnly)
        batch = takeTold();
    if (!batch) {
        // Everything told is in what the record answers now.
        told_.clear();
        batch = store_->changesAfter(hearing_, cursor_);
    }
    if (!batch)
        return false;
    // The last notes of each annotation this station wrote in the batch: what the record
    // applied before it is replaced, not shown.
    std::vector<bool> own(batch->size());
    std::map<std::string, std::size_t> lastOwnNotes;
    // One read of the outbox for the batch.
    const bool read = outbox_->exec("BEGIN");
    for (std::size_t i = 0; i < batch->size(); ++i) {
        own[i] = known((*batch)[i].id);
        if (own[i] && (*batch)[i].kind == Kind::Notes)
            lastOwnNotes[(*batch)[i].annotation] = i;
    }
    if (read)
        outbox_->exec("COMMIT");
    // The control's crash journal takes what the batch changes in one transaction.
    struct Held {
        DalmurePrivate& control;
        ~Held() { control.releaseJournal(); }
    } held{control_};
    control_.holdJournal();
    for (std::size_t i = 0; i < batch->size(); ++i) {
        const Change& c = (*batch)[i];
        if (c.kind == Kind::Notes) {
            auto was = current_.find(c.annotation);
            if (was != current_.end() && !was->second.notes.empty() &&
                was->second.change != c.base && options_.conflict && indexOf(c.annotation) >= 0)
                options_.conflict({indexOf(c.annotation), c.annotation, c.notes, was->second.notes,
                                   c.station, was->second.station});
            current_[c.annotation] = {c.id, c.notes, c.station};
            const auto later = lastOwnNotes.find(c.annotation);
            if (own[i] || (later != lastOwnNotes.end() && later->second > i))
                continue;
        }
        if (!own[i])
            applyForeign(c);
    }
    if (batch->empty())
        return true;
    const std::int64_t from = std::exchange(cursor_, batch->back().seq);
    if (copy_) {
        if (copyPending_.empty()) {
            copyHearing_ = hearing_;
            copyFrom_ = from;
        }
        copyPending_.insert(copyPending_.end(), std::make_move_iterator(batch->begin()),
                            std::make_move_iterator(batch->end()));
    }
    return true;
}

std::int32_t Station::indexOf(const std::string& annotation) const {
    for (std::size_t k = 0; k < ids_.size(); ++k)
        if (ids_[k] == annotation)
            return static_cast<std::int32_t>(k);
    return -1;
}

void Station::select(std::int32_t index) {
    platform::Grid& g = control_.platform().grid();
    g.setCol(1);
    g.setRow(2 * index + 1);
    control_.onGridClick();
}

void Station::reselect(const std::string& annotation) {
    const std::int32_t back = indexOf(annotation);
    if (back >= 0 && back != control_.Selected())
        select(back);
}

// A change made elsewhere, through the control's own members, so that its events and rules
// hold; the feed's calls it causes are not queued again.
void Station::applyForeign(const Change& c) {
    const std::int32_t index = indexOf(c.annotation);
    applying_ = c.annotation;
    switch (c.kind) {
    case Kind::Hearing:
        control_.NoDossier = dossier_ = c.fields.noDossier;
        control_.DateCreated = date_ = c.fields.dateCreated;
        control_.UserName = user_ = c.fields.userName;
        break;
    case Kind::Add:
        if (index < 0) {
            // AnnoAdd selects what it adds: the clerk's selection is given back.
            const std::string selected = annotationId(control_.Selected());
            Str time = c.time, desc = c.description, none;
            control_.AnnoAdd(time, desc, none);
            reselect(selected);
        }
        break;
    case Kind::Rename:
        if (index >= 0)
            control_.renameAnnotation(index, c.description);
        break;
    case Kind::Notes:
        if (index >= 0) {
            shown_[c.annotation] = c.id;
            shownText_[c.annotation] = c.notes;
            control_.replaceNotes(index, c.notes);
        }
        break;
    case Kind::Delete:
        if (index >= 0) {
            // The control deletes its selection: the annotation is selected first, and the
            // clerk's selection is given back when it still exists.
            const std::string selected = annotationId(control_.Selected());
            select(index);
            std::int32_t k = index;
            control_.AnnoDelete(k);
            reselect(selected);
        }
        break;
    case Kind::Clear:
        applyingAll_ = true;
        control_.ClearAll();
        applyingAll_ = false;
        break;
    case Kind::Access: // the record's concern, not the control's
    case Kind::Recover:
        break;
    }
    applying_.clear();
}

void Station::setLink(Link link) {
    if (link == Link::Connected && pending() > 0)
        link = Link::Sending;
    if (link == link_)
        return;
    link_ = link;
    if (options_.linkChanged)
        options_.linkChanged(link_, pending());
}

} // namespace dalmure::record
