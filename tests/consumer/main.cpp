// A host of the control on the in-memory platform: adds annotations, reads them back.
#include "control/dalmure.h"
#include "platform/headless/headless_platform.h"

#include <cstdio>

int main() {
    // The installed data folder holds the catalogue and the templates: a ready application
    // folder (read-only, so the log lines of this run are dropped).
    dalmure::headless::HeadlessPlatform platform;
    dalmure::Dalmure control(platform, dalmure::fromUtf8(DALMURE_DATA_DIR));
    control.AnnoAdd(u"10:20:00", u"Témoin");
    control.AnnoAdd(u"10:15:32", u"Ouverture de l'audience");
    std::printf("AnnoCount=%d first=%s\n", control.AnnoCount(),
                dalmure::toUtf8(control.AnnoTime(0)).c_str());
    return control.AnnoCount() == 2 && control.AnnoTime(0) == u"10:15:32" ? 0 : 1;
}
