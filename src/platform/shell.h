// The desktop shell: which program opens a file, and starting a program without waiting.
#pragma once

#include "support/text.h"

#include <vector>

namespace dalmure::platform {

class Shell {
  public:
    virtual ~Shell() = default;
    // Looks up the program associated with file's type. Returns a number > 32 and writes the
    // program's path into programBuffer on success; 32 or less when none is found (or the file
    // does not exist), programBuffer then unchanged or empty.
    virtual int findExecutable(const Str& file, const Str& directory, Str& programBuffer) = 0;
    // Starts program, detached, with the arguments given: each reaches the program as one
    // argument, exactly as given, whatever it holds (no command line is built or split).
    // Returns a number > 32 on success, 32 or less on failure.
    virtual int shellExecute(const Str& operation, const Str& program,
                             const std::vector<Str>& arguments, const Str& directory,
                             int showMode) = 0;
};

// The arguments as a record shows them: each in quotation marks, separated by blanks.
inline Str quotedArguments(const std::vector<Str>& arguments) {
    Str text;
    for (const Str& a : arguments) {
        if (!text.empty())
            text += u' ';
        text += u'"';
        text += a;
        text += u'"';
    }
    return text;
}

} // namespace dalmure::platform
