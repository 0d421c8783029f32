#!/usr/bin/env bash
# The main job: runs the updater on the simulated PC with the built-in demo
# folder and prints what a user would see. Extra arguments go to norbix-sim
# (for example --lang ja, --os 98, --dump-state).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh host
cmake --preset host >/dev/null
cmake --build --preset host -j2 --target norbix-sim >/dev/null
exec build/host/tools/norbix-sim "$@"
