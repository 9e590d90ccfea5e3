#!/usr/bin/env bash
# Installs the Debian package into a fresh minimal Debian bookworm root and runs the installed
# program there: bash tools/package-check.sh [PACKAGE.deb]
# Without an argument the package is built first (build/, then cpack -G DEB). Run by hand, as root
# (debootstrap, chroot); not part of `bash setup.sh test`. The pristine root is made once with
# debootstrap and cached in /tmp/fresh/root (GS_FRESH_ROOT), as tools of the project's checks do;
# every run works on a copy of it.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for p in debootstrap dpkg-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

deb=${1:-}
if [[ -z $deb ]]; then
  echo "== building the package"
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --parallel
  rm -f build/glowsmith_*.deb
  (cd build && cpack -G DEB >/dev/null)
  deb=$(ls build/glowsmith_*.deb)
fi
deb=$(realpath "$deb")
echo "== package $deb"
dpkg-deb -f "$deb" Package Version Depends

pristine=${GS_FRESH_ROOT:-/tmp/fresh/root}
if [[ ! -x $pristine/bin/bash ]]; then
  echo "== making a fresh Debian bookworm root (once)"
  mkdir -p "$(dirname "$pristine")"
  mirror=$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  debootstrap --variant=minbase bookworm "$pristine" "${mirror:-http://deb.debian.org/debian}" \
    >"$(dirname "$pristine")/debootstrap.log" 2>&1 || { echo "debootstrap failed"; exit 1; }
fi
run=$(mktemp -d "$(dirname "$pristine")/package-check.XXXXXX")
cleanup() {
  umount -R "$run/dev" "$run/proc" "$run/sys" 2>/dev/null || true
  rm -rf "$run"
}
trap cleanup EXIT
cp -a "$pristine/." "$run/"
cp /etc/resolv.conf "$run/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$run/tmp/glowsmith.deb"
cp samples/funlight.pat "$run/tmp/funlight.pat"
mount -t proc proc "$run/proc"
mount --rbind /dev "$run/dev"
mount -t sysfs sys "$run/sys"

# Inside: apt resolves the package's dependencies from the archive, then the installed program
# runs as a user would start it, from the PATH, finding its data in /usr/share/glowsmith.
chroot "$run" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb \
  bash -euo pipefail -c '
  echo "== apt-get install ./glowsmith.deb"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    /tmp/glowsmith.deb >/tmp/apt.log 2>&1 || { tail -20 /tmp/apt.log; exit 1; }
  grep -c "^Setting up" /tmp/apt.log | sed "s/$/ packages set up/"
  echo "== installed files"
  dpkg -L glowsmith | grep -v "^/usr/share/glowsmith/." | grep -E "\.[a-z]+$|/bin/"
  echo "$(dpkg -L glowsmith | grep -c "^/usr/share/glowsmith/.*\.") data files in /usr/share/glowsmith"
  ls /usr/share/qt6/translations/qtbase_ru.qm
  echo "== glowsmith --version"
  glowsmith --version
  echo "== glowsmith --screenshot (offscreen, with the sample file)"
  glowsmith --screenshot /tmp/shot.png /tmp/funlight.pat
  echo "picture of $(stat -c %s /tmp/shot.png) bytes, no message"
  if glowsmith --help | grep -q -- --export-gif; then
    echo "== glowsmith --export-gif"
    glowsmith --export-gif /tmp/incoming.gif --funlight 01 /tmp/funlight.pat
    head -c 6 /tmp/incoming.gif; echo " $(stat -c %s /tmp/incoming.gif) bytes"
  else
    echo "== glowsmith --help lists no --export-gif: not tried"
  fi
'
echo "package check passed"
