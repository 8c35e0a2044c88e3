#!/usr/bin/env bash
# Regenerates the scene's PNG icons and images. The PNGs are committed, so the
# build never runs this; run it after changing the list below or a drawing in
# qml/assets/src/.
#
# Needs: rsvg-convert (Debian librsvg2-bin), npm (to fetch the icon set), and
# fontconfig for the texts in our own drawings.
#
# Icons come from Tabler Icons (MIT licence, kept beside them as
# qml/assets/icons/LICENSE-tabler.txt), outline style. The tint is baked into
# each PNG: the software renderer draws no colour effects, so an icon must
# already have its colour to show on the dark scene.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ICONS="$ROOT/qml/assets/icons"
IMAGES="$ROOT/qml/assets/images"
SRC="$ROOT/qml/assets/src"
TABLER_VERSION="3.54.0"

WHITE="#FAFAFA"
YELLOW="#FEC10E"
RED="#E74C3C"

# resource name             Tabler icon      colour    px   stroke
# Icon buttons and status lines are 48 px; the pictures of the connect modal
# and the first wizard pages 96 px; the "@2x" wizard pictures 192 px, which Qt
# shows at 96 logical pixels.
ICON_TABLE="
monolith.png                router           $YELLOW   48   2
firmware.png                cpu              $YELLOW   48   2
help.png                    help-circle      $YELLOW   48   2
wireless.png                wifi             $YELLOW   48   2
settings.png                settings         $YELLOW   48   2
dongle.png                  usb              $WHITE    48   2
home.png                    home             $WHITE    48   2
back-arrow.png              arrow-left       $WHITE    48   2
close.png                   x                $WHITE    48   2
power.png                   power            $YELLOW   96   1.5
device-connection.png       plug-connected   $YELLOW   96   1.5
firmware@2x.png             cpu              $YELLOW   192  1.5
monolith@2x.png             router           $YELLOW   192  1.5
update-complete@2x.png      circle-check     $YELLOW   192  1.5
update-fail@2x.png          circle-x         $RED      192  1.5
"

# our drawing               resource name                 width
IMAGE_TABLE="
Configurator.svg            images/Configurator.png       600
Full-Logo.svg               images/Full-Logo.png          520
"

for tool in rsvg-convert npm tar sed; do
  command -v "$tool" >/dev/null || { echo "make-assets: $tool is missing" >&2; exit 1; }
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "Fetching @tabler/icons $TABLER_VERSION"
(cd "$WORK" && npm pack --silent "@tabler/icons@$TABLER_VERSION" >/dev/null)
tar -xzf "$WORK"/tabler-icons-*.tgz -C "$WORK"
TABLER="$WORK/package/icons/outline"
mkdir -p "$ICONS" "$IMAGES"
cp "$WORK/package/LICENSE" "$ICONS/LICENSE-tabler.txt"

while read -r name icon colour size stroke; do
  [ -n "${name:-}" ] || continue
  svg="$TABLER/$icon.svg"
  [ -f "$svg" ] || { echo "make-assets: no icon '$icon' in the set" >&2; exit 1; }
  sed -e "s/currentColor/$colour/g" \
      -e "s/stroke-width=\"2\"/stroke-width=\"$stroke\"/" \
      "$svg" > "$WORK/$name.svg"
  rsvg-convert -w "$size" -h "$size" "$WORK/$name.svg" -o "$ICONS/$name"
  echo "  icons/$name  <- $icon ($colour, $size px)"
done <<< "$ICON_TABLE"

# Our drawings set their texts in Montserrat, which the repository carries;
# fontconfig is pointed at it for this run only.
cat > "$WORK/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <dir>$ROOT/qml/assets/fonts/Montserrat</dir>
  <cachedir>$WORK/fontcache</cachedir>
</fontconfig>
EOF

while read -r drawing resource width; do
  [ -n "${drawing:-}" ] || continue
  FONTCONFIG_FILE="$WORK/fonts.conf" rsvg-convert -w "$width" "$SRC/$drawing" -o "$ROOT/qml/assets/$resource"
  echo "  $resource  <- src/$drawing ($width px wide)"
done <<< "$IMAGE_TABLE"

# The window icon (icons/icon.ico) is made from src/icon.svg and kept as it is.

# The desktop menu's icon set for the Linux package, from the same drawing.
# Committed like the rest, so that packaging needs no SVG renderer.
APP_ICONS="$ROOT/packaging/linux/icons"
mkdir -p "$APP_ICONS"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$SRC/icon.svg" -o "$APP_ICONS/icon-$size.png"
  echo "  packaging/linux/icons/icon-$size.png  <- src/icon.svg ($size px)"
done
echo "Done."
