#!/bin/sh
# Usage: exported_symbols.sh LIBRARY PATTERN
# Fails when LIBRARY defines a dynamic symbol of this project that PATTERN (an extended regular
# expression over demangled names) does not allow; prints the count of the project's symbols.
set -eu
lib=$1 allowed=$2
ours=$(nm -D --defined-only "$lib" | awk '{print $3}' | c++filt | grep -E '(^|[^A-Za-z_])dalmure::' || true)
count=$(printf '%s\n' "$ours" | grep -c . || true)
stray=$(printf '%s\n' "$ours" | grep -vE "$allowed" | grep . || true)
echo "$count exported symbols of dalmure in $(basename "$lib")"
if [ -n "$stray" ]; then
    echo "not part of the public API:"
    printf '%s\n' "$stray"
    exit 1
fi
