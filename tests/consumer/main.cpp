// A host of the control without a display: adds annotations, reads them back, and sees the
// error a let of an out-of-range colour raises.
#include <dalmure/dalmure.h>
#include <dalmure/error.h>

#include <cstdio>

int main() {
    // The installed data folder holds the catalogue and the templates: a ready application
    // folder (read-only, so the log lines of this run are dropped).
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
