#!/usr/bin/env bash
# Installs what is missing and builds one configuration: scripts/build.sh [release|asan] [cmake targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
config=${1:-release}; shift || true
case "$config" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    flags=(-DCMAKE_BUILD_TYPE=Debug -DHALLSHOW_SANITIZE=ON) ;;
  *) echo "build.sh: unknown configuration '$config' (release or asan)" >&2; exit 2 ;;
esac
cmake -S . -B "build/$config" "${flags[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "build/$config" -j"$(nproc)" "${targets[@]}"
