#!/bin/sh
# Usage: layering_check.sh SRC
# Fails when an include runs against the source tree's layers: support/ takes nothing from the
# other folders of SRC, platform/ nothing from control/ but the Qt widget that hosts it, and only
# the platform implementations (and the Designer plugin) see Qt, libmdb or GIO.
set -eu
cd "$1"
status=0
report() {
    [ -z "$2" ] && return 0
    printf '%s\n%s\n' "$1" "$2"
    status=1
}
report "support/ includes a header of another folder:" \
    "$(grep -rn '#include "' support | grep -v '#include "support/' || true)"
report "platform/ includes a header of the control:" \
    "$(grep -rn '#include "control/' platform | grep -v '^platform/qt/dalmure_widget' || true)"
report "Qt, libmdb or GIO outside the platform implementations:" \
    "$(grep -rnE '#include <(Q[A-Za-z]|mdb|gio/|glib)' . |
        grep -vE '^\./(platform/(qt|mdb|desktop)|designer)/' || true)"
exit $status
