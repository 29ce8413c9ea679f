#include "writing/spelling.h"

#include "support/files.h"
#include "writing/glossary.h"

#include <hunspell.hxx>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <unistd.h>
#include <unordered_map>

namespace dalmure::writing {
namespace {

namespace fs = std::filesystem;

// A one-way iconv conversion; converting fails (nothing) on a character the target cannot hold.
class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : cd_(::iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid())
            ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> operator()(std::string_view in) const {
        std::string out(in.size() * 4 + 8, '\0');
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - dstLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

// The name iconv knows for a dictionary's SET line.
std::string iconvName(std::string set) {
    if (set.starts_with("microsoft-"))
        set = set.substr(10);
    std::transform(set.begin(), set.end(), set.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return set;
}

bool readableFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), R_OK) == 0;
}

} // namespace

class Speller::Dictionary {
  public:
    Dictionary(const fs::path& aff, const fs::path& dic) : hunspell_(aff.c_str(), dic.c_str()) {
        const std::string set = iconvName(hunspell_.get_dict_encoding());
        utf8_ = set.empty() || set == "UTF-8" || set == "UTF8";
        if (!utf8_) {
            toDictionary_ = std::make_unique<Converter>(set, "UTF-8");
            fromDictionary_ = std::make_unique<Converter>("UTF-8", set);
            if (!toDictionary_->valid() || !fromDictionary_->valid())
                utf8_ = true; // an encoding iconv does not know: its words are taken as UTF-8
        }
    }

    bool spell(StrView word) {
        if (auto it = cache_.find(Str(word)); it != cache_.end())
            return it->second;
        const std::optional<std::string> encoded = encode(word);
        // A word the dictionary's encoding cannot hold is not one of its words.
        const bool ok = encoded && hunspell_.spell(*encoded);
        if (cache_.size() >= kCacheLimit)
            cache_.clear();
        cache_.emplace(word, ok);
        return ok;
    }

    std::vector<Str> suggest(StrView word) {
        std::vector<Str> out;
        const std::optional<std::string> encoded = encode(word);
        if (!encoded)
            return out;
        for (const std::string& s : hunspell_.suggest(*encoded)) {
            if (utf8_) {
                out.push_back(fromUtf8(s));
            } else if (auto back = (*fromDictionary_)(s)) {
                out.push_back(fromUtf8(*back));
            }
        }
        return out;
    }

  private:
    static constexpr std::size_t kCacheLimit = 50000;

    std::optional<std::string> encode(StrView word) const {
        // The key filter's grave accent and the typographic apostrophe are the dictionaries' '.
        Str plain(word);
        for (auto& c : plain)
            if (isApostrophe(c))
                c = u'\'';
        std::string utf8 = toUtf8(plain);
        if (utf8_)
            return utf8;
        return (*toDictionary_)(utf8);
    }

    Hunspell hunspell_;
    bool utf8_ = true;
    std::unique_ptr<Converter> toDictionary_, fromDictionary_;
    std::unordered_map<Str, bool> cache_;
};

Speller::Speller(Str folder, SpellingReport report)
    : folder_(std::move(folder)), report_(std::move(report)) {}

Speller::~Speller() = default;

Speller::Dictionary* Speller::dictionary(const std::string& language) {
    if (auto it = loaded_.find(language); it != loaded_.end())
        return it->second.get();

    const fs::path folder(files::toNative(folder_));
    std::vector<std::string> names{language};
    if (language.size() == 2) {
        std::string region = language;
        std::transform(region.begin(), region.end(), region.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        names = {language == "en" ? std::string("en_US") : language + "_" + region, language};
        std::error_code ec;
        std::vector<std::string> others;
        for (const auto& file : fs::directory_iterator(folder, ec)) {
            const std::string stem = file.path().stem().string();
            if (file.path().extension() == ".dic" && stem.starts_with(language + "_"))
                others.push_back(stem);
        }
        std::sort(others.begin(), others.end());
        names.insert(names.end(), others.begin(), others.end());
    }

    std::unique_ptr<Dictionary> found;
    for (const std::string& name : names) {
        const fs::path aff = folder / (name + ".aff"), dic = folder / (name + ".dic");
        if (readableFile(aff) && readableFile(dic)) {
            found = std::make_unique<Dictionary>(aff, dic);
            break;
        }
    }
    if (!found && report_)
        report_(SpellingProblem{SpellingProblem::Kind::MissingDictionary, language, folder_});
    return loaded_.emplace(language, std::move(found)).first->second.get();
}

std::vector<Speller::Dictionary*> Speller::dictionaries(const std::vector<std::string>& languages) {
    std::vector<Dictionary*> out;
    for (const std::string& language : languages)
        if (Dictionary* d = dictionary(language);
            d && std::find(out.begin(), out.end(), d) == out.end())
            out.push_back(d);
    return out;
}

bool Speller::available(const std::string& language) {
    return dictionary(language) != nullptr;
}

bool Speller::checks(const std::vector<std::string>& languages) {
    return !dictionaries(languages).empty();
}

bool Speller::checkWord(StrView word, const std::vector<Dictionary*>& dictionaries) {
    if (word.size() < 2 || std::any_of(word.begin(), word.end(), isDigit))
        return true;
    if (glossary_) {
        if (glossary_->knowsWord(word))
            return true;
        // A name from the glossary after an elided article: l'Orvane, d'Tremblay.
        const auto apostrophe = std::find_if(word.rbegin(), word.rend(), isApostrophe);
        if (apostrophe != word.rend() &&
            glossary_->knowsWord(word.substr(word.rend() - apostrophe)))
            return true;
    }
    for (Dictionary* d : dictionaries)
        if (d->spell(word))
            return true;
    return false;
}

std::vector<WordSpan> Speller::misspelled(StrView note, const std::vector<std::string>& languages) {
    std::vector<WordSpan> out;
    const std::vector<Dictionary*> active = dictionaries(languages);
    if (active.empty())
        return out;
    forEachWord(note, [&](WordSpan w) {
        if (!checkWord(note.substr(w.start, w.length), active))
            out.push_back(w);
    });
    return out;
}

bool Speller::correct(StrView word, const std::vector<std::string>& languages) {
    const std::vector<Dictionary*> active = dictionaries(languages);
    return active.empty() || checkWord(word, active);
}

std::vector<Str> Speller::suggest(StrView word, const std::vector<std::string>& languages,
                                  std::size_t max) {
    std::vector<Str> out;
    for (Dictionary* d : dictionaries(languages)) {
        for (Str& s : d->suggest(word)) {
            if (out.size() >= max)
                return out;
            if (std::find(out.begin(), out.end(), s) == out.end())
                out.push_back(std::move(s));
        }
    }
    return out;
}

} // namespace dalmure::writing
