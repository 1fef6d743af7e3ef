#!/bin/bash
# run.sh: installs what is missing, builds Tombola in build/ and starts it.
set -eu
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tombola
exec ./build/app/tombola "$@"
