// The host's list members: the annotation list (annotations/annotation_list.h) with the host's
// rules around it: trapped errors, 16-bit indexes, and the editor, journal, find bar and
// selection that follow each change.
#include "control/dalmure_p.h"
#include "support/log_labels.h"

#include "control/trap.h"
#include "support/errors.h"
#include "support/numeric.h"

namespace dalmure {

// --- Adding ------------------------------------------------------------------------------

void DalmurePrivate::AnnoAdd(Str& strAnnoTime, Str& strAnnoDesc, Str& strAnnoData) {
    bool finished = false;
    std::int32_t inserted = -1; // the annotation's index once its rows are in the grid
    trap(label::annoAdd, [&] {
        commitPendingEdit();
        platform::Grid& g = grid();
        const std::int32_t pos = list_.insert(strAnnoTime, strAnnoDesc);
        inserted = pos / 2;
        // Journaled before the selection opens the editor on it, whose text refers to it.
        journalAdded(inserted, strAnnoTime, strAnnoDesc, Str());
        findInserted(inserted);

        // Scroll the new annotation to the top.
        std::int32_t top = pos;
        EnsureVisible(top);

        // Select it as a click on its data cell would.
        g.setRow(pos + 1);
        g.setCol(1);
        onGridClick();

        // The host's data text, into the data cell and the editor.
        if (!strAnnoData.empty()) {
            g.setText(strAnnoData);
            journalNotes(inserted, strAnnoData);
            findUpdated(inserted);
            notesEditor().setText(strAnnoData);
            // The clerk goes on typing after the host's text, as after any opening of the notes.
            notesEditor().setSelStart(static_cast<std::int32_t>(strAnnoData.size()));
        }
        finished = true;
    });
    PlaceEditor();
    if (!finished)
        list_.recountTimeOrder();
}

std::size_t DalmurePrivate::addAnnotations(const std::vector<NewAnnotation>& batch) {
    std::size_t added = 0;
    std::int32_t lastPos = -1;
    trap(label::annoAdd, [&] {
        commitPendingEdit();
        platform::Grid& g = grid();
        // The journal takes the batch in one transaction, once the list holds it (or as far
        // as the list took it).
        std::vector<journal::Journal::Added> journaled;
        struct Flush {
            DalmurePrivate& d;
            std::vector<journal::Journal::Added>& records;
            ~Flush() {
                if (d.journal_ && !records.empty()) {
                    d.journalCaseFields();
                    d.journal_->addedAll(records);
                }
            }
        } flush{*this, journaled};
        for (const NewAnnotation& a : batch) {
            const std::int32_t pos = list_.insert(a.time, a.description);
            const std::int32_t inserted = pos / 2;
            if (feed_)
                feed_->added(inserted, a.time, a.description);
            findInserted(inserted);
            if (!a.notes.empty()) {
                g.setRow(pos + 1);
                g.setCol(1);
                g.setText(a.notes);
                if (feed_)
                    feed_->notesCommitted(inserted, a.notes);
                findUpdated(inserted);
            }
            if (journal_)
                journaled.push_back({inserted, a.time, a.description, a.notes});
            lastPos = pos;
            ++added;
        }
    });
    if (added < batch.size())
        list_.recountTimeOrder();
    if (lastPos < 0) {
        PlaceEditor();
        return added;
    }
    // The last one added, scrolled to the top and selected as AnnoAdd leaves it.
    trap(label::annoAdd, [&] {
        platform::Grid& g = grid();
        std::int32_t top = lastPos;
        EnsureVisible(top);
        g.setRow(lastPos + 1);
        g.setCol(1);
        onGridClick();
        const Str& notes = batch[added - 1].notes;
        if (!notes.empty())
            notesEditor().setSelStart(static_cast<std::int32_t>(notes.size()));
    });
    PlaceEditor();
    return added;
}

// --- Reading -----------------------------------------------------------------------------

std::int16_t DalmurePrivate::AnnoCount() {
    std::int16_t result = 0;
    trap(label::annoCount, [&] {
        if (list_.showsPlaceholder())
            return;
        result = toInteger(static_cast<double>(grid().rows()) / 2.0);
    });
    return result;
}

namespace {
enum class Part { Time, Desc, Data };

// The three readers share the host's index checks; only the text read differs.
void readAnnotation(AnnotationList& list, const platform::Grid& g, std::int32_t AnnoIndex,
                    Part part, Str& result) {
    const std::int16_t index = toInteger(static_cast<long long>(AnnoIndex));
    const std::int16_t mainRow = mulInteger(2, index); // evaluated whatever the sign
    if (index < 0 || mainRow > g.rows() - 2)
        return;
    switch (part) {
    case Part::Time:
        result = list.time(index);
        break;
    case Part::Desc:
        result = list.description(index);
        break;
    case Part::Data:
        result = list.notes(index);
        break;
    }
}
} // namespace

Str DalmurePrivate::AnnoTime(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoTime, [&] { readAnnotation(list_, grid(), AnnoIndex, Part::Time, result); });
    return result;
}

Str DalmurePrivate::AnnoDesc(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoDesc, [&] { readAnnotation(list_, grid(), AnnoIndex, Part::Desc, result); });
    return result;
}

Str DalmurePrivate::AnnoData(std::int32_t AnnoIndex) {
    Str result;
    trap(label::annoData, [&] { readAnnotation(list_, grid(), AnnoIndex, Part::Data, result); });
    return result;
}

// --- Removing ----------------------------------------------------------------------------

void DalmurePrivate::AnnoDelete(std::int32_t& AnnoIndex) {
    bool finished = false;
    bool started = false;
    trap(label::annoDelete, [&] {
        const std::int16_t index = toInteger(static_cast<long long>(AnnoIndex));
        if (index == -1) {
            finished = true;
            return;
        }
        platform::Grid& g = grid();
        // A selection whose main row a 16-bit index cannot hold (the host may store any index
        // into it) overflows here, before the notes, the list or the editor are touched.
        const std::int16_t mainRow = g.rows() == 2 ? 0 : mulInteger(2, iSelected);
        started = true;
        commitPendingEdit();
        if (g.rows() == 2) {
            list_.clear();
            editorState_.closedByList();
            notesEditor().setText(Str());
            notesEditor().setVisible(false);
            finished = true;
            journalCleared();
            findCleared();
            return;
        }
        AnnoIndex = mainRow;
        ClearCellBackColor();
        const std::int32_t k = iSelected;
        list_.remove(k);
        journalDeleted(k);
        findRemoved(k);
        finished = true;
        if (findActive())
            findSkipHidden();
        onGridClick();
    });
    if (started)
        PlaceEditor();
    if (!finished)
        list_.recountTimeOrder();
}

void DalmurePrivate::ClearAll() {
    bool finished = false;
    trap(label::clearAll, [&] {
        commitPendingEdit();
        list_.clear();
        journalCleared();
        findCleared();
        editorState_.closedByList();
        closeEditor();
        finished = true;
    });
    if (!finished)
        list_.recountTimeOrder();
}

// --- Helpers -----------------------------------------------------------------------------

bool DalmurePrivate::blValideGrid() {
    platform::Grid& g = grid();
    if (g.rows() < 2 || iSelected == -1)
        return false;
    if (g.rows() == 2) {
        g.setRow(0);
        if (g.text().empty())
            return false;
    }
    return true;
}

} // namespace dalmure
