#!/usr/bin/env bash
# Installs the Debian packages Pelmora needs.
#   install-deps.sh programs   what building and running the two programs needs (`make run`)
#   install-deps.sh            that and everything the tests, fuzzing and benchmarks need
# Idempotent: quiet and fast when everything is already there.
set -euo pipefail

# Building and running pelmora and pelmora-convert.
program_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libfreetype-dev libfontconfig-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  libpng-dev libtiff-dev zlib1g-dev nlohmann-json3-dev libharfbuzz-dev libdeflate-dev libzopfli-dev
  qt6-translations-l10n
)

# The tests, the fuzz targets, the benchmarks and the tools the tests check outputs with.
test_packages=(
  libcairo2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang
  xvfb xauth imagemagick python3 python3-pil
  poppler-utils libtiff-tools help2man appstream bash-completion
  librsvg2-bin qpdf python3-ezdxf librecad desktop-file-utils man-db
)

packages=("${program_packages[@]}")
if [[ ${1:-all} == programs ]]; then
  only_programs=1
else
  only_programs=0
  packages+=("${test_packages[@]}")
fi

# The sanitizer and libFuzzer runtimes ship per clang major version; take the one that
# matches the clang that is (or will be) installed, so this works beyond one Debian release.
clang_major() {
  local version
  version=$(clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
  if [[ -z $version ]]; then
    version=$(apt-cache depends clang 2>/dev/null | sed -n 's/.*Depends: clang-\([0-9]*\)$/\1/p' | head -n 1)
  fi
  echo "$version"
}

if ((!only_programs)); then
  major=$(clang_major)
  if [[ -z $major ]] && [[ $(id -u) -eq 0 ]]; then
    apt-get update -q >/dev/null 2>&1 || true
    major=$(clang_major)
  fi
  [[ -n $major ]] && packages+=("libclang-rt-$major-dev")
fi

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
((${#missing[@]})) || exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "install-deps: apt-get failed" >&2
  exit 1
fi
rm -f "$log"
