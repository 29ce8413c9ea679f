// The scratch application folder of every kind of test, with the shipped files and the log.
#pragma once

#include "support/text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace dalmure {
namespace test {

namespace fs = std::filesystem;

inline Str u(std::string_view utf8) {
    return fromUtf8(utf8);
}
inline std::string s(StrView text) {
    return toUtf8(text);
}

// "" when the file cannot be read.
inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// "<date> <time>.<hh> : <number> : <description> : <label>", without quotes and CR LF.
struct LogEntry {
    std::string raw;
    std::string number;      // "" for 0
    std::string description; // may itself hold " : "
    std::string label;
};

class TempAppFolder {
  public:
    TempAppFolder() {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-test-XXXXXX";
        if (!::mkdtemp(path_.data()))
            throw std::runtime_error("mkdtemp failed");
    }
    ~TempAppFolder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempAppFolder(const TempAppFolder&) = delete;
    TempAppFolder& operator=(const TempAppFolder&) = delete;

    const std::string& native() const { return path_; }
    Str path() const { return fromUtf8(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void writeBytes(const std::string& name, const std::string& bytes) const {
        writeFile(file(name), bytes);
    }
    // In Windows-1252, each "\n" becoming CR LF.
    void writeText(const std::string& name, const std::string& utf8) const {
        std::string withCrLf;
        for (char ch : utf8)
            withCrLf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        writeBytes(name, toCp1252(fromUtf8(withCrLf)));
    }
    void writeIni(const std::string& utf8, const std::string& name = "ORClient.ini") const {
        writeText(name, utf8);
    }
    std::string readBytes(const std::string& name) const { return readFile(file(name)); }

    void copyCatalogue(const std::string& fixture = "ORLngClient.MDB") const {
        fs::copy_file(fs::path(DALMURE_TEST_FIXTURES) / fixture, file("ORLngClient.MDB"),
                      fs::copy_options::overwrite_existing);
    }
    // Returns how many were copied.
    int copyTemplates() const {
        int copied = 0;
        for (const char* name : {"pvTemplateFRA.html", "pvTemplateENG.html"})
            copied += fs::copy_file(fs::path(DALMURE_SOURCE_DIR) / "share/templates" / name,
                                    file(name), fs::copy_options::overwrite_existing);
        return copied;
    }

    // Every line of every Dalmure.Log under Log/, month folders in name order.
    std::vector<LogEntry> logEntries() const {
        std::vector<fs::path> months;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(path_) / "Log", ec))
            months.push_back(e.path() / "Dalmure.Log");
        std::sort(months.begin(), months.end());
        std::vector<LogEntry> out;
        for (const auto& m : months) {
            const std::string text = toUtf8(fromCp1252(readFile(m)));
            for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
                end = std::min(text.find("\r\n", start), text.size());
                std::string line = text.substr(start, end - start);
                if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
                    line = line.substr(1, line.size() - 2);
                out.push_back(parse(line));
            }
        }
        return out;
    }
    std::vector<LogEntry> logEntries(const std::string& label) const {
        std::vector<LogEntry> out = logEntries();
        std::erase_if(out, [&](const LogEntry& e) { return e.label != label; });
        return out;
    }
    std::size_t logCount() const { return logEntries().size(); }
    std::string firstLogLine() const {
        const std::vector<LogEntry> all = logEntries();
        return all.empty() ? std::string() : all.front().raw;
    }

  private:
    static LogEntry parse(const std::string& line) {
        LogEntry e;
        e.raw = line;
        const std::string sep = " : ";
        const std::size_t first = line.find(sep);
        const std::size_t last = line.rfind(sep);
        if (first == std::string::npos || last == first)
            return e;
        const std::size_t second = line.find(sep, first + sep.size());
        e.number = line.substr(first + sep.size(), second - first - sep.size());
        e.label = line.substr(last + sep.size());
        if (second != std::string::npos && second < last)
            e.description = line.substr(second + sep.size(), last - second - sep.size());
        return e;
    }

    std::string path_;
};

} // namespace test
} // namespace dalmure
