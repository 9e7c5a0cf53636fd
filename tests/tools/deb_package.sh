#!/usr/bin/env bash
# Builds the .deb from this build directory (cpack -G DEB) and inspects it: its files, its
# control fields with Depends from dpkg-shlibdeps, and the packaged velmora-tool run from a
# dpkg -x tree. Skipped (77) where dpkg-deb is missing. Usage: deb_package.sh BUILD_DIR
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || exit 77
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! eval "$1"; then echo "FAIL: $1"; fail=$((fail + 1)); fi; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/velmora_*.deb)
dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' >"$work/files"
for f in "./usr/bin/velmora -> ../lib/velmora/velmora" ./usr/bin/velmora-tool ./usr/lib/velmora/velmora \
         ./usr/lib/velmora/splash.bmp ./usr/lib/velmora/DICOM/CT_HEAD/CT001.dcm \
         ./usr/share/applications/velmora.desktop ./usr/share/icons/hicolor/256x256/apps/velmora.png \
         ./usr/share/thumbnailers/velmora.thumbnailer; do
  check "grep -qxF -- '$f' '$work/files'"
done
check "[ \"\$(dpkg-deb -f '$deb' Package)\" = velmora ]"
# The long description's lines, each as written (no list separators from CMake).
description=$(dpkg-deb -f "$deb" Description)
check "grep -q '^ every common transfer syntax' <<<'$description'"
check "! grep -q ';' <<<'$description'"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 libjpeg62-turbo libopenjp2-7; do
  check "grep -q '$lib' <<<'$depends'"
done
check "[ \"\$(dpkg-deb -f '$deb' Recommends)\" = 'shared-mime-info, fonts-noto-cjk' ]"

dpkg -x "$deb" "$work/root"
check "grep -qx 'Exec=velmora %F' '$work/root/usr/share/applications/velmora.desktop'"
check "grep -qx 'MimeType=application/dicom;' '$work/root/usr/share/applications/velmora.desktop'"
if command -v desktop-file-validate >/dev/null; then
  # Hints (more than one main category, as the entry means) are not errors.
  validation=$(desktop-file-validate "$work/root/usr/share/applications/velmora.desktop" 2>&1) || true
  check "[ -z \"\$(grep -v ': hint: ' <<<'$validation')\" ]"
fi
check "grep -qx 'Exec=velmora-tool thumbnail %i %o --size %s' '$work/root/usr/share/thumbnailers/velmora.thumbnailer'"
"$work/root/usr/bin/velmora-tool" thumbnail "$work/root/usr/lib/velmora/DICOM/CT_HEAD/CT001.dcm" "$work/t.png" --size 48
# PNG signature, then IHDR width and height (48 x 48 for a square slice).
check "[ \"\$(head -c 8 '$work/t.png' | od -An -tx1 | tr -d ' ')\" = 89504e470d0a1a0a ]"
check "[ \"\$(dd if='$work/t.png' bs=1 skip=16 count=8 2>/dev/null | od -An -tx1 | tr -d ' ')\" = 0000003000000030 ]"
echo "$fail failures"
[ "$fail" -eq 0 ]
