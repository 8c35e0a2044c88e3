#!/usr/bin/env bash
# Builds what is missing and starts the Configurator on the device simulator.
# Extra arguments go to the program (for example: log, --simulate=legacy).
# Without a display the window is drawn offscreen into a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
BUILD_DIR=${BUILD_DIR:-build}
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
