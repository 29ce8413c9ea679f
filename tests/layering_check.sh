#!/bin/sh
# Usage: layering_check.sh SRC
# Fails when an include runs against the source tree's layers: support/ takes nothing from the
# other folders of SRC, platform/ nothing from control/ but the Qt widget that hosts it, and only the platform implementations (and the Designer plugin) see Qt,
# libmdb or GIO.
set -eu
cd "$1"
status=0
upward=$(grep -rn '#include "' support | grep -v '#include "support/' || true)
if [ -n "$upward" ]; then
    echo "support/ includes a header of another folder:"
    printf '%s\n' "$upward"
    status=1
fi
hosted=$(grep -rn '#include "control/' platform | grep -v '^platform/qt/dalmure_widget' || true)
if [ -n "$hosted" ]; then
    echo "platform/ includes a header of the control:"
    printf '%s\n' "$hosted"
    status=1
fi
toolkit=$(grep -rnE '#include <(Q[A-Za-z]|mdb|gio/|glib)' . |
    grep -vE '^\./(platform/(qt|mdb|desktop)|designer)/' || true)
if [ -n "$toolkit" ]; then
    echo "Qt, libmdb or GIO outside the platform implementations:"
    printf '%s\n' "$toolkit"
    status=1
fi
exit $status
