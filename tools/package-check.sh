#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user's machine takes it:
# lintian, the desktop entry, the metainfo and the udev rule as packaged, then
# a real install with apt-get, the installed programs run from outside the
# tree, and a purge that must leave none of the package's files behind.
# Installs and removes the package on this machine: run it as root or with
# sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
start=$SECONDS

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

bash tools/deps.sh lintian desktop-file-utils appstream udev man-db dpkg-dev file python3-minimal

step() { printf '\n== %s\n' "$*"; }
fail() { echo "package-check: $*" >&2; exit 1; }

WORK=$(mktemp -d)
installed=false
cleanup() {
  if $installed; then
    $SUDO apt-get remove --purge -y -qq veltra-configurator >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

step "Building the package"
bash tools/package.sh > "$WORK/package.txt" 2>&1 \
  || { cat "$WORK/package.txt"; fail "the package was not made"; }
deb=$(readlink -f "$(tail -n 1 "$WORK/package.txt")")
echo "$deb"

step "lintian"
# Errors fail the check; warnings and notes are shown and allowed.
if ! lintian --fail-on error --display-info "$deb" > "$WORK/lintian.txt" 2>&1; then
  cat "$WORK/lintian.txt"
  fail "lintian reports errors"
fi
grep -v 'running with root privileges' "$WORK/lintian.txt" || echo "(no tags)"

dpkg-deb -x "$deb" "$WORK/tree"
desktop=$(find "$WORK/tree/usr/share/applications" -name '*.desktop')
metainfo=$(find "$WORK/tree/usr/share/metainfo" -name '*.metainfo.xml')
rules=$(find "$WORK/tree/usr/lib/udev/rules.d" -name '*.rules')
[ -n "$desktop" ] && [ -n "$metainfo" ] && [ -n "$rules" ] \
  || fail "the package lacks its desktop entry, metainfo or udev rule"

step "desktop-file-validate $(basename "$desktop")"
desktop-file-validate "$desktop"
echo "valid"

step "appstreamcli validate --no-net $(basename "$metainfo")"
appstreamcli validate --no-net "$metainfo"

step "udev rule $(basename "$rules")"
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules"
else
  echo "(udevadm $(udevadm --version) has no verify: keys and matching checked below)"
fi
/usr/bin/python3 tools/check-udev-rule.py "$rules" "$ROOT" "$metainfo"

step "apt-get install $deb"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" > "$WORK/install.txt" 2>&1 \
  || { cat "$WORK/install.txt"; fail "the package does not install"; }
installed=true
dpkg -L veltra-configurator | sort > "$WORK/files.txt"
echo "$(wc -l < "$WORK/files.txt") paths installed"

step "The installed programs, from outside the tree"
# A bare environment and a home of its own: nothing of the build on any path,
# and the log folder the programs create stays in the scratch folder.
mkdir -p "$WORK/home" "$WORK/run" "$WORK/xdg"
chmod 700 "$WORK/xdg"
run() {
  (cd "$WORK/run" && env -i HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/xdg" \
     PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@")
}
for program in veltra-configurator veltra-cli veltra-sim-pty veltra-make-vfp; do
  where=$(run sh -c "command -v $program") || fail "$program is not on the PATH"
  [ "$where" = "/usr/bin/$program" ] || fail "$program found at $where"
done

run timeout 60 veltra-cli --simulate info > "$WORK/info.txt" \
  || { cat "$WORK/info.txt"; fail "veltra-cli --simulate info failed"; }
grep -E '^(Configurator|TRX Model|TRX Serial|TRX FW):' "$WORK/info.txt"
for field in 'TRX Model: .' 'TRX Serial: [0-9a-f]{10}$'; do
  grep -Eq "^$field" "$WORK/info.txt" || fail "veltra-cli info does not show the radio's identity ($field)"
done

shot="$WORK/run/screenshot.png"
run QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
  timeout 120 veltra-configurator --simulate --screenshot "$shot" > "$WORK/window.txt" 2>&1 \
  || { cat "$WORK/window.txt"; fail "veltra-configurator --simulate --screenshot failed"; }
[ -s "$shot" ] || fail "no screenshot written"
file "$shot" | grep -q 'PNG image data' || fail "the screenshot is not a PNG: $(file "$shot")"
echo "screenshot: $(file -b "$shot"), $(stat -c %s "$shot") bytes"

page=$(run man -w veltra-cli) || fail "man -w veltra-cli finds no page"
echo "man -w veltra-cli: $page"

step "apt-get remove --purge veltra-configurator"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq veltra-configurator \
  > "$WORK/remove.txt" 2>&1 || { cat "$WORK/remove.txt"; fail "the package does not remove"; }
installed=false
status=$(dpkg-query -W -f='${db:Status-Status}' veltra-configurator 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "veltra-configurator is still $status"
left=0
while read -r path; do
  [ "$path" = "/." ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay only while something else keeps it.
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      echo "left behind: empty folder $path"; left=$((left + 1))
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path"; left=$((left + 1))
  fi
done < "$WORK/files.txt"
[ "$left" -eq 0 ] || fail "$left paths of the package are left after the purge"
echo "nothing left behind"

step "Package checked in $((SECONDS - start)) s"
