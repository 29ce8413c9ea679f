// The shell of a real Linux desktop: the program associated with a file's type comes from the
// desktop's own association (GIO, which follows the XDG mimeapps rules), and programs are started
// detached, as their own session, with nothing left for the caller to wait for.
#pragma once

#include "platform/shell.h"
#include "support/text.h"

#include <optional>
#include <string>
#include <vector>

namespace dalmure::platform {

class DesktopShell : public Shell {
  public:
    // Results, numbered as the Windows shell numbers them.
    static constexpr int kOk = 42;
    static constexpr int kFileNotFound = 2;
    static constexpr int kNoAssociation = 31;

    // htmlProgram replaces the desktop's association for every lookup: nullopt asks the desktop,
    // an empty text means that no program is associated, any other text is the program's path.
    explicit DesktopShell(std::optional<Str> htmlProgram = std::nullopt);

    // 42 and the program's full path when a program is associated with the file's type; 31 when
    // none is; 2 when the file does not exist. A relative file is taken in directory.
    int findExecutable(const Str& file, const Str& directory, Str& programBuffer) override;

    // Starts program (a path, or a name looked up in PATH) with the arguments, each passed in
    // its own argv entry exactly as given (no shell, no splitting), in directory when one is
    // given. The program runs on its own: standard input and output go to /dev/null, standard
    // error is shared. 42 when it started, 2 when it could not be found or started. operation
    // and showMode are accepted and not used.
    int shellExecute(const Str& operation, const Str& program, const std::vector<Str>& arguments,
                     const Str& directory, int showMode) override;

  private:
    std::optional<Str> htmlProgram_;
};

} // namespace dalmure::platform
