// The desktop shell: which program opens a file, and starting a program without waiting.
#pragma once

#include "support/text.h"

namespace dalmure::platform {

class Shell {
public:
    virtual ~Shell() = default;
    // Looks up the program associated with file's type. Returns a number > 32 and writes the
    // program's path into programBuffer on success; 32 or less when none is found (or the file
    // does not exist), programBuffer then unchanged or empty.
    virtual int findExecutable(const Str& file, const Str& directory, Str& programBuffer) = 0;
    // Starts program with the parameters (one command-line text, quotes grouping words), detached.
    // Returns a number > 32 on success, 32 or less on failure.
    virtual int shellExecute(const Str& operation, const Str& program, const Str& parameters,
                             const Str& directory, int showMode) = 0;
};

} // namespace dalmure::platform
