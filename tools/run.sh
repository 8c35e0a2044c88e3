#!/usr/bin/env bash
# Builds what is missing and starts the Configurator on the device simulator.
# Extra arguments go to the program (for example: log, --simulate=legacy).
# Without a display the window is drawn offscreen into a screenshot instead.
# QT=6 runs the Qt 6 build (build-qt6).
set -euo pipefail
cd "$(dirname "$0")/.."
QT=${QT:-5}
base=build
if [ "$QT" != 5 ]; then base=build-qt$QT; fi
BUILD_DIR=${BUILD_DIR:-$base}
export QT BUILD_DIR
bash tools/build.sh
app="$BUILD_DIR/app/veltra-configurator"
args=("$@")
has_simulate=false
for a in "${args[@]}"; do
  case "$a" in --simulate*|--port) has_simulate=true ;; esac
done
$has_simulate || args=(--simulate "${args[@]}")

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "$(uname)" = Linux ]; then
  shot="$PWD/$BUILD_DIR/screenshot.png"
  echo "No display found: drawing the window offscreen into $shot"
  QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software "$app" "${args[@]}" --screenshot "$shot"
  exit $?
fi
exec "$app" "${args[@]}"
