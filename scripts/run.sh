#!/usr/bin/env bash
# Sets up, builds and starts the desktop program. Arguments go to the program (e.g. --home DIR).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vellumark vellumark-cli
exec ./build/src/vellumark "$@"
