#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the app need, but only
# those that are missing, so a second run costs nothing and needs no network.
# QT=6 takes Qt 6's packages instead of Qt 5's. Given package names,
# installs those instead (the packaging scripts' tools).
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build ccache pkg-config
  qtbase5-dev qtbase5-dev-tools qtdeclarative5-dev qtquickcontrols2-5-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
  qml-module-qtquick-layouts qml-module-qtquick-dialogs qml-module-qtquick-controls
  qml-module-qtquick-privatewidgets qml-module-qtgraphicaleffects
  qml-module-qt-labs-settings qml-module-qt-labs-folderlistmodel
  qml-module-qtquick-localstorage qml-module-qttest
  fonts-wqy-microhei avrdude
  clang libfuzzer-14-dev
)
# QT=6: the same tools with Qt 6 and the QML modules the scene imports there
# (Qt 6's own file dialog is written in QML on Controls and the folder model).
if [ "${QT:-5}" = 6 ]; then
  PACKAGES=(
    g++ cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-declarative-dev
    qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-controls
    qml6-module-qtquick-templates qml6-module-qtquick-layouts qml6-module-qtquick-dialogs
    qml6-module-qt-labs-settings qml6-module-qt-labs-folderlistmodel
    qml6-module-qtqml-workerscript qml6-module-qttest
    fonts-wqy-microhei avrdude
  )
fi
if [ $# -gt 0 ]; then
  PACKAGES=("$@")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
