// The client INI reader on arbitrary files: any bytes, any section and key.
#include "fuzz_support.h"
#include "support/ini_reader.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace dalmure;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Str section = fromCp1252(in.ConsumeRandomLengthString(40));
    const Str key = fromCp1252(in.ConsumeRandomLengthString(40));
    const std::string file = fuzz::scratchFolder() + "/ORClient.ini";
    fuzz::writeFile(file, in.ConsumeRemainingBytesAsString());
    const Str path = fromUtf8(file);

    const Str def = u"<default>";
    const Str value = ReadIni(section, key, def, path);
    // The reader cuts values at 2047 characters; a default is returned whole.
    if (value != def && value.size() > 2047)
        std::abort();
    // Well-known keys of the control, and the file name matched without regard to case.
    (void)ReadIni(u"PV", u"PADX", u"10", path);
    (void)ReadIni(u"Langue", u"Langue", def, fromUtf8(fuzz::scratchFolder() + "/orclient.INI"));
    return 0;
}
