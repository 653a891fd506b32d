#!/usr/bin/env bash
# Builds the reference LASzip compressor for bench/convert_compare.py, outside the project:
#   bench/laszip-reference/build.sh LASZIP_SOURCE_DIR OUT_DIR
# LASZIP_SOURCE_DIR is a checkout of github.com/LASzip/LASzip (fetched by whoever runs the
# benchmark; never by the build). Prints the path to give as LASZIP_CONVERT.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$source_dir" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/install" >/dev/null
cmake --build "$out/build" -j"$(nproc)" >/dev/null
cmake --install "$out/build" >/dev/null
libdir=$(dirname "$(find "$out/install" -name 'liblaszip.so*' | head -1)")
g++ -O2 -std=c++17 -I"$out/install/include" "$here/laszip-convert.cpp" -L"$libdir" -llaszip -Wl,-rpath,"$libdir" \
  -o "$out/laszip-convert"
echo "$out/laszip-convert"
