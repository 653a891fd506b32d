#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark and run.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libeigen3-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libepoxy-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  qt6-base-dev libqt6opengl6-dev
  xvfb xauth fonts-noto-cjk libpng-dev
  clang libclang-rt-14-dev
  python3-numpy
  zlib1g-dev libzstd-dev libwebp-dev
  libproj-dev proj-data
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libjpeg62-turbo-dev
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
