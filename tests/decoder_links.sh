#!/bin/sh
# The decoder carries the decoding alone: fails listing every library of the
# savers it needs and every encoder, TIFF or exiv2 symbol it defines or calls.
# usage: decoder_links.sh <kvnscan-decode>
set -u
decoder=$1
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT

readelf -d "$decoder" >"$tmp/dynamic" || exit 2
nm -C "$decoder" >"$tmp/symbols" || exit 2
grep -q 'DecodePictureFile' "$tmp/symbols" || { echo "no symbols read from $decoder"; exit 2; }

status=0
if grep -E 'NEEDED.*(libtiff|libexiv2|libtesseract|libopencv)' "$tmp/dynamic"; then
    status=1
fi
if grep -E 'WriteTiff|WriteJpeg|WriteDirect|SavePictureFile|AddTiffCaption|PictureCaption|Exiv2::|TIFF[A-Z]|jpeg_start_compress|jpeg_write_' "$tmp/symbols"; then
    status=1
fi
exit $status
