#!/usr/bin/env bash
# scripts/build-deb.sh: installs what is missing, builds the program optimised
# (build/deb) and makes the Debian package build/deb/mabrel9-iv_<version>_amd64.deb.
# Install it with: sudo apt install ./build/deb/mabrel9-iv_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${CORE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DMABREL_TESTS=OFF -DMABREL_BENCH=OFF >/dev/null
cmake --build build/deb -j "$(nproc)"
(cd build/deb && cpack -G DEB)
ls build/deb/mabrel9-iv_*_amd64.deb
