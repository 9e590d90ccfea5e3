#!/usr/bin/env bash
# Glowsmith set-up: installs the Debian packages that are missing, builds, then starts the editor
# or runs every test.
#   bash setup.sh start [FILE.pat]   build and start the editor (optionally with a PAT file)
#   bash setup.sh test               build and run all tests (native, then the Windows parts under
#                                    Wine, and MinGW's syntax check of every product source)
#   bash setup.sh harden             the tests under ASan+UBSan and TSan, and each fuzz target for a minute
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-start}
shift || true

build_packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev libgtest-dev
  libgmock-dev fonts-dejavu-core libusb-1.0-0-dev pkg-config qt6-translations-l10n libgif-dev
  nlohmann-json3-dev)
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 python3)
hardening_packages=(clang libclang-rt-dev)

need_install() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build_native() {
  need_install "${build_packages[@]}"
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --parallel
}

case "$mode" in
  start)
    build_native
    # The program itself says so and stops when there is no display (unless --screenshot).
    exec build/glowsmith "$@"
    ;;
  test)
    build_native
    if [ "${GLOWSMITH_SKIP_WINDOWS:-0}" != "1" ]; then
      need_install "${windows_packages[@]}"
      bash tools/windows-check.sh
      python3 tools/mingw-syntax-check.py build
    fi
    ctest --test-dir build --output-on-failure
    ;;
  harden)
    need_install "${build_packages[@]}" "${hardening_packages[@]}"
    bash tools/hardening-check.sh
    ;;
  *)
    echo "usage: bash setup.sh start [FILE.pat] | bash setup.sh test | bash setup.sh harden" >&2
    exit 2
    ;;
esac
