#!/usr/bin/env bash
# Installs what is missing, builds and runs the demo host. Extra arguments go to the demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$root/build/demo/quillborne_demo" "$@"
