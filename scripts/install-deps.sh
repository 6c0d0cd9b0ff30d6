#!/bin/sh
# Installs every Debian package the project needs. Idempotent and quiet:
# apt-get runs only when something is missing.
set -e
PKGS="build-essential cmake pkg-config qt6-base-dev qt6-tools-dev qt6-tools-dev-tools
libfreeimage-dev libfreeimage3 libjpeg62-turbo-dev libturbojpeg0-dev zlib1g-dev
libsane-dev libsane1 sane-utils libchm-dev fp-utils libgtest-dev libgmock-dev libbenchmark-dev
qt6-qpa-plugins xvfb xdotool xauth x11-apps imagemagick fonts-dejavu-core hyperfine libvips-dev
clang libclang-rt-14-dev procps iproute2 util-linux qt6-translations-l10n appstream desktop-file-utils dpkg-dev libexiv2-dev libtiff-dev
libtesseract-dev tesseract-ocr-nld tesseract-ocr-eng tesseract-ocr-fra tesseract-ocr-deu fonts-dejavu-extra
gramps fonts-urw-base35 libimage-exiftool-perl libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev"

missing=""
for p in $PKGS; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# With recommended packages, as on the machines the project is tested on
# (Qt's X11 platform plugin, for one, is only recommended).
# shellcheck disable=SC2086
$SUDO apt-get install -y -q $missing
