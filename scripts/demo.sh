#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the demo recording screen.
# Until the recording screen lands, runs dalmure-host on the sample session in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
exec scripts/run-example.sh
