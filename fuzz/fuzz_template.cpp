// The minutes template filling: any template bytes, any case-field values.
#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace dalmure;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Rig rig(fuzz::scratchFolder() + "/app");
    FuzzedDataProvider in(data, size);
    DalmurePrivate& c = *rig.control;
    c.NoDossier = fromCp1252(in.ConsumeRandomLengthString(30));
    c.DateCreated = fromCp1252(in.ConsumeRandomLengthString(30));
    c.UserName = fromCp1252(in.ConsumeRandomLengthString(30));
    const bool escape = in.ConsumeBool();
    const std::string templ = rig.folder + "/pvTemplateFRA.html";
    const std::string source = in.ConsumeRemainingBytesAsString();
    fuzz::writeFile(templ, source);
    const std::string out = DalmureTestAccess::SetDataVariables(c, fromUtf8(templ), escape);
    // Every line of the page ends with CR LF; an empty template gives an empty page.
    if (source.empty() != out.empty())
        std::abort();
    if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0))
        std::abort();
    return 0;
}
