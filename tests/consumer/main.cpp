// A host without a display: annotations added and read back, and the error a bad colour raises.
#include <dalmure/dalmure.h>
#include <dalmure/error.h>

#include <cstdio>

int main() {
    // The installed data folder is a ready application folder (read-only: no log lines).
    dalmure::Dalmure control(dalmure::fromUtf8(DALMURE_DATA_DIR));
    control.AnnoAdd(u"10:20:00", u"Témoin");
    control.AnnoAdd(u"10:15:32", u"Ouverture de l'audience");
    control.NoDossier = u"500-01-001234-256";
    int raised = 0;
    try {
        control.LetBackColor(1e12);
    } catch (const dalmure::ControlError& e) {
        raised = e.number();
    }
    std::printf("AnnoCount=%d first=%s raised=%d\n", control.AnnoCount(),
                dalmure::toUtf8(control.AnnoTime(0)).c_str(), raised);
    return control.AnnoCount() == 2 && control.AnnoTime(0) == u"10:15:32" && raised == 6 ? 0 : 1;
}
