#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need.
# Quiet and quick when all of it is already there. Needs root on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev googletest  # googletest: the sources the cross builds compile
  libmpfr-dev libgmp-dev
  clang libclang-rt-14-dev libomp-dev llvm  # the fuzz preset: libFuzzer, clang's OpenMP, the symbolizer
  octave liboctave-dev
  gnuplot-nox fonts-freefont-otf  # the demo plots without a display; Octave draws text in FreeSans
  g++-mingw-w64-x86-64 g++-mingw-w64-i686
  wine wine64 wine32:i386
  g++-aarch64-linux-gnu libgomp1-arm64-cross qemu-user  # 64-bit ARM cross-build, tests under emulation
  binutils file
  zip  # the release archive
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
