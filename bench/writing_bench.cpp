// Benchmarks of the notes editor's writing tools on their own: expanding an abbreviation,
// checking a note's spelling again after one keystroke, one find keystroke and one add while a
// filter is on at 10,000 annotations. Absolute figures (microseconds per operation, manual
// time around the operation alone); the targets are 1 ms, 5 ms, 50 ms and 16 ms. The first two
// are also measured through the control, as the clerk's keystroke reaches them (BM_Control*).
#include "harness.h"
#include "support/text.h"
#include "writing/expansion.h"
#include "writing/find.h"
#include "writing/glossary.h"
#include "writing/spelling.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace dalmure;
using namespace dalmure::writing;

namespace {

using Clock = std::chrono::steady_clock;

template <class Fn> double seconds(Fn&& fn) {
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A note of about 500 characters, French, as a clerk writes them.
const Str kNote = fromUtf8(
    "Le t\xC3\xA9moin d\xC3\xA9"
    "clare avoir vu l'accus\xC3\xA9 quitter les lieux vers "
    "vingt-deux heures. Contre-interrogatoire par Me Tremblay : le t\xC3\xA9moin "
    "reconna\xC3\xAEt qu'il faisait nuit et que l'\xC3\xA9"
    "clairage de la rue \xC3\xA9tait "
    "faible. Objection de la d\xC3\xA9"
    "fense sur la pertinence de la question, objection "
    "rejet\xC3\xA9"
    "e. La pi\xC3\xA8"
    "ce P-5 est d\xC3\xA9pos\xC3\xA9"
    "e sous r\xC3\xA9serve. "
    "Le juge rappelle au t\xC3\xA9moin qu'il est toujours sous serment et suspend l'audience "
    "quinze minutes. \xC3\x80 la reprise, la poursuite annonce un dernier t\xC3\xA9moin pour "
    "demain matin ");

// The n-th of a stream of words never typed before (so never in the speller's memory).
Str freshWord(std::size_t n) {
    Str w = u"t\u00e9moign";
    do {
        w.push_back(static_cast<char16_t>(u'a' + n % 26));
        n /= 26;
    } while (n);
    return w;
}

// A glossary as an office's file grows it (2,000 entries) and the hearing's parties.
void fillGlossary(Glossary& g) {
    for (int i = 0; i < 2000; ++i)
        g.setHearingEntry(u"ab" + decimal(i), u"expression num\u00e9ro " + decimal(i));
    g.setHearingEntry(u"tem", u"t\u00e9moin");
    g.setHearingEntry(u"me", u"Me Tremblay, avocat de la d\u00e9fense");
}

void BM_ExpandAbbreviation(benchmark::State& state) {
    Glossary g;
    fillGlossary(g);
    const Str text = kNote + u"Tem ";
    for (auto _ : state) {
        state.SetIterationTime(seconds([&] {
            auto e = expandBeforeCaret(g, text, text.size());
            Str after = e->edit.applyTo(text);
            benchmark::DoNotOptimize(after);
        }));
    }
}
BENCHMARK(BM_ExpandAbbreviation)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A glossary file of a million entries, changed by one appended line (what "Add to glossary"
// does) while the clerk types. Background: the longest word end of a reload, from the one that
// sees the change to the one that swaps the new entries in (the read runs between them on a
// thread of its own; a word end comes every millisecond). InPlace: the same read made on the
// word end itself, what the typing would wait for.
std::string millionEntryGlossary() {
    std::string file;
    file.reserve(36u << 20);
    for (int i = 0; i < 1000000; ++i)
        file += "ab" + std::to_string(i) + "\texpression num\xC3\xA9ro " + std::to_string(i) + "\n";
    return file;
}

void reloadMillionEntryGlossary(benchmark::State& state, bool background) {
    test::TempAppFolder dir;
    dir.writeBytes("g.txt", millionEntryGlossary());
    Glossary g;
    g.setFile(dir.path() + u"/g.txt");
    int added = 0;
    for (auto _ : state) {
        std::ofstream(dir.file("g.txt"), std::ios::app | std::ios::binary)
            << "mot" << added++ << "\tmot\n";
        if (!background) {
            state.SetIterationTime(seconds([&] { g.refresh(); }));
            continue;
        }
        double longest = seconds([&] { g.refreshInBackground(); });
        for (bool swapped = false; !swapped;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            longest = std::max(longest, seconds([&] { swapped = g.refreshInBackground(); }));
        }
        state.SetIterationTime(longest);
    }
}
void BM_WordEndDuringGlossaryReload_1M_Background(benchmark::State& state) {
    reloadMillionEntryGlossary(state, true);
}
void BM_WordEndDuringGlossaryReload_1M_InPlace(benchmark::State& state) {
    reloadMillionEntryGlossary(state, false);
}
BENCHMARK(BM_WordEndDuringGlossaryReload_1M_Background)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WordEndDuringGlossaryReload_1M_InPlace)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The note is checked once; then each keystroke changes its last word into one never seen,
// and the whole note is checked again, as the editor does after each key.
void recheck(benchmark::State& state, const std::vector<std::string>& languages) {
    Speller sp;
    Glossary g;
    fillGlossary(g);
    sp.setGlossary(&g);
    if (!sp.checks(languages)) {
        state.SkipWithError("dictionaries not installed");
        return;
    }
    sp.misspelled(kNote, languages);
    std::size_t n = 0;
    for (auto _ : state) {
        const Str note = kNote + freshWord(n++);
        state.SetIterationTime(seconds([&] {
            auto spans = sp.misspelled(note, languages);
            benchmark::DoNotOptimize(spans);
        }));
    }
}
void BM_RecheckNoteAfterKeystroke_fr(benchmark::State& state) {
    recheck(state, {"fr"});
}
void BM_RecheckNoteAfterKeystroke_fr_en(benchmark::State& state) {
    recheck(state, {"fr", "en"});
}
BENCHMARK(BM_RecheckNoteAfterKeystroke_fr)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecheckNoteAfterKeystroke_fr_en)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The worst case behind it: a 500-character note of words the speller has never seen.
void BM_CheckUnseenNote_fr_en(benchmark::State& state) {
    Speller sp;
    const std::vector<std::string> languages{"fr", "en"};
    if (!sp.checks(languages)) {
        state.SkipWithError("dictionaries not installed");
        return;
    }
    std::size_t n = 0;
    for (auto _ : state) {
        Str note;
        while (note.size() < 500)
            note += freshWord(n++) + u" ";
        state.SetIterationTime(seconds([&] {
            auto spans = sp.misspelled(note, languages);
            benchmark::DoNotOptimize(spans);
        }));
    }
}
BENCHMARK(BM_CheckUnseenNote_fr_en)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Loading both dictionaries: once per control, on first use.
void BM_LoadDictionaries_fr_en(benchmark::State& state) {
    for (auto _ : state) {
        Speller sp;
        state.SetIterationTime(seconds([&] { benchmark::DoNotOptimize(sp.checks({"fr", "en"})); }));
    }
}
BENCHMARK(BM_LoadDictionaries_fr_en)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// 10,000 annotations of a long hearing: a time, a description and a note each.
struct Hearing {
    std::vector<Str> times, descriptions, notes;
    explicit Hearing(std::size_t n) {
        const char16_t* kinds[] = {u"T\u00e9moin",           u"Objection",
                                   u"Pi\u00e8ce P-",         u"Pause",
                                   u"Contre-interrogatoire", u"Plaidoirie de Me Gagnon"};
        std::mt19937 rng(7);
        for (std::size_t i = 0; i < n; ++i) {
            char16_t time[9];
            const std::size_t s = 9 * 3600 + i * 3;
            const unsigned parts[] = {unsigned(s / 3600), unsigned(s / 60 % 60), unsigned(s % 60)};
            for (int k = 0; k < 3; ++k) {
                time[k * 3] = static_cast<char16_t>(u'0' + parts[k] / 10 % 10);
                time[k * 3 + 1] = static_cast<char16_t>(u'0' + parts[k] % 10);
                if (k < 2)
                    time[k * 3 + 2] = u':';
            }
            times.emplace_back(time, 8);
            descriptions.push_back(Str(kinds[rng() % 6]) + decimal(static_cast<long long>(i)));
            notes.push_back(i % 3 ? kNote.substr(rng() % 300, 80 + rng() % 120) : Str());
        }
    }
    FindFields at(std::size_t i) const { return {times[i], descriptions[i], notes[i]}; }
};

FindIndex indexOf(const Hearing& h) {
    FindIndex index;
    for (std::size_t i = 0; i < h.times.size(); ++i)
        index.append(h.at(i));
    return index;
}

// Each key of "témoin gagnon" typed, then erased key by key: narrowing and widening keys.
void BM_FindKeystroke_10000(benchmark::State& state) {
    const Hearing h(10000);
    FindIndex index = indexOf(h);
    const Str query = u"t\u00e9moin gagnon";
    std::vector<Str> keys;
    for (std::size_t n = 1; n <= query.size(); ++n)
        keys.push_back(query.substr(0, n));
    for (std::size_t n = query.size() - 1; n >= 1; --n)
        keys.push_back(query.substr(0, n));
    std::size_t k = 0;
    for (auto _ : state) {
        const Str& q = keys[k++ % keys.size()];
        state.SetIterationTime(seconds([&] { index.setQuery(q); }));
    }
}
BENCHMARK(BM_FindKeystroke_10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The slowest kind of keystroke: every annotation looked at (a new first key, or one erased).
void BM_FindKeystrokeFullScan_10000(benchmark::State& state) {
    const Hearing h(10000);
    FindIndex index = indexOf(h);
    const Str queries[] = {u"temoin", u"pi\u00e8ce"};
    std::size_t k = 0;
    for (auto _ : state)
        state.SetIterationTime(seconds([&] { index.setQuery(queries[k++ % 2]); }));
}
BENCHMARK(BM_FindKeystrokeFullScan_10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// An annotation added in the middle while "témoin" filters 10,000 of them, with the "n of N"
// figure of the row after it; the row is taken out again outside the timing.
void BM_AddWhileFiltering_10000(benchmark::State& state) {
    const Hearing h(10000);
    FindIndex index = indexOf(h);
    index.setQuery(u"t\u00e9moin");
    const Str time = u"12:00:00", description = u"T\u00e9moin suivant", notes = kNote;
    std::mt19937 rng(3);
    for (auto _ : state) {
        const std::size_t at = rng() % index.size();
        state.SetIterationTime(seconds([&] {
            index.insert(at, {time, description, notes});
            benchmark::DoNotOptimize(index.rank(at));
        }));
        index.remove(at);
    }
}
BENCHMARK(BM_AddWhileFiltering_10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- Through the control ----------------------------------------------------------------------
// A headless control whose INI turns the writing tools on ([Notes], SpellCheck as given), with
// a glossary file of 2,000 entries, one annotation and its editor open on the note.
struct NotesRig {
    test::TempAppFolder folder;
    std::unique_ptr<test::Rig> rig;
    explicit NotesRig(int spellCheck) {
        std::string glossary = "tem\tt\xC3\xA9moin\n";
        for (int i = 0; i < 2000; ++i)
            glossary +=
                "ab" + std::to_string(i) + "\texpression num\xC3\xA9ro " + std::to_string(i) + "\n";
        folder.writeBytes("glossaire.txt", glossary);
        folder.writeIni(
            "[Notes]\nGlossary=glossaire.txt\nSpellCheck=" + std::to_string(spellCheck) + "\n");
        rig = std::make_unique<test::Rig>(folder);
        rig->control->AnnoAdd(u"10:00:00", u"Ouverture");
        rig->platform->userClick(1, 1);
    }
    // The editor's text set (untimed), the caret at its end.
    void note(const Str& text) {
        platform::TextBox& ed = rig->platform->editor();
        ed.setText(text);
        ed.setSelStart(static_cast<std::int32_t>(text.size()));
    }
};

// The space that ends "Tem" at the end of the 500-character note: the expansion, the change
// notification, the journal's live text and, with spelling on, the note checked again.
// Range 0: SpellCheck (0 off, 1 French, 2 French and English).
void BM_ControlExpandAbbreviation(benchmark::State& state) {
    NotesRig r(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        r.note(kNote + u"Tem");
        state.SetIterationTime(seconds([&] { r.rig->platform->userType(u" "); }));
    }
    if (r.rig->platform->editor().text() != kNote + u"T\u00e9moin ")
        state.SkipWithError("the abbreviation was not expanded");
}
BENCHMARK(BM_ControlExpandAbbreviation)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// One letter typed at the end of the 500-character note, its last word one never seen: the
// whole note checked again and its marks set. Range 0: SpellCheck, as above.
void BM_ControlRecheckAfterKeystroke(benchmark::State& state) {
    NotesRig r(static_cast<int>(state.range(0)));
    std::size_t n = 0;
    for (auto _ : state) {
        r.note(kNote + freshWord(n++) + u" la reprise demain matin");
        state.SetIterationTime(seconds([&] { r.rig->platform->userType(u"s"); }));
    }
    if (state.range(0) != 0 && r.rig->platform->editor().markedRanges().empty())
        state.SkipWithError("no word marked: spelling not checked");
}
BENCHMARK(BM_ControlRecheckAfterKeystroke)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
