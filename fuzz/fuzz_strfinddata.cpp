// strFindData: the n-th "|"-separated field of a text, walked in 16-bit Integers.
#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace dalmure;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Rig rig(fuzz::scratchFolder() + "/app");
    FuzzedDataProvider in(data, size);
    const auto index = in.ConsumeIntegral<std::int16_t>();
    // Mostly short texts, sometimes one past the 16-bit length (the Overflow path).
    std::string bytes = in.ConsumeRemainingBytesAsString();
    Str text = fromCp1252(bytes);
    if (!text.empty() && text[0] == u'~')
        text.resize(32768 + text.size() % 8, u'|');
    const Str field = DalmureTestAccess::strFindData(*rig.control, text, index);
    // A field never holds the separator and is never longer than the text.
    if (field.find(u'|') != Str::npos || field.size() > text.size())
        std::abort();
    return 0;
}
