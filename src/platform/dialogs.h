// Modal input prompt and information message box.
#pragma once

#include "support/text.h"

namespace dalmure::platform {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Returns the text entered, "" when the user cancels.
    virtual Str inputBox(const Str& message, const Str& title, const Str& defaultText) = 0;
    // Information icon, one OK button.
    virtual void messageBox(const Str& message, const Str& title) = 0;
};

} // namespace dalmure::platform
