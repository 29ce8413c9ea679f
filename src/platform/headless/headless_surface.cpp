// The control's surface, its frames and the text metrics of the in-memory platform.
#include "platform/design.h"
#include "platform/headless/headless_components.h"
#include "support/errors.h"

#include <algorithm>

namespace dalmure::headless {

namespace {

// Lengths of the lines of a text; CR LF, CR and LF each end a line.
template <typename F> void forEachLine(StrView text, F f) {
    std::size_t len = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n') {
            f(len);
            len = 0;
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
        } else {
            ++len;
        }
    }
    f(len);
}

} // namespace

double measureWidth(StrView text, double points) {
    std::size_t longest = 0;
    forEachLine(text, [&](std::size_t len) { longest = std::max(longest, len); });
    return static_cast<double>(longest) * 10.0 * points;
}

double measureHeight(StrView text, double points) {
    std::size_t lines = 0;
    forEachLine(text, [&](std::size_t) { ++lines; });
    return static_cast<double>(lines) * 25.0 * points;
}

void invalidPropertyValue() {
    errors::invalidPropertyValue();
}

HeadlessSurface::HeadlessSurface(Context& ctx)
    : ctx_(ctx), width_(design::kControlWidth), height_(design::kControlHeight),
      backColor_(design::kSurfaceBackColor), fontSize_(design::kFontSize) {}

void HeadlessSurface::yieldToPendingEvents() {
    if (ctx_.pendingEvents) {
        // The hook may install another one while it runs.
        auto hook = ctx_.pendingEvents;
        hook();
    }
}

} // namespace dalmure::headless
