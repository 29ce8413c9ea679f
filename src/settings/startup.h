// The control's start-up on its form.
#pragma once

#include "platform/platform.h"
#include "settings/settings.h"

#include <cstdint>

namespace dalmure {

// Applies the settings to the form: the entry-style button, the font size, the language, the
// grid's colours, alignment and column widths, the editor's width, the localised tooltips and
// menu captions. selection becomes -1 (nothing selected) once the form is laid out. An error
// stops the start-up where it is raised and is logged under the start-up's label; the form is
// then laid out again with the built-in language column and font size, so that the list and
// the notes editor work.
void startUp(platform::Platform& form, Settings& settings, Log& log, std::int16_t& selection);

} // namespace dalmure
