#!/usr/bin/env bash
# Runs the Insert-at dialog test under Wine:
#   run_dialog_test.sh DIALOG_TEST.exe BUILD_DIR
# in a Wine prefix and on an X display of its own (other Wine tests may run at
# the same time and stop their wineserver when they end), inside a Wine
# virtual desktop so Wine draws the window frames, captions included:
#   1. at 96 DPI, saving each language's dialog to BUILD_DIR/screenshots
#      (insert_at_100.png, _200, _300);
#   2. at 144 DPI, where twips no longer convert to whole pixels;
#   3. with no display at all, where no dialog can be shown.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${1:-}" = "--in-session" ]; then
    exe=$2 shots=$3
    wine() { "$root/scripts/wine.sh" "$@"; }
    regset() { wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null; }
    # Frames and captions drawn by Wine, as there is no window manager: the
    # test program alone gets a virtual desktop, whose explorer starts with
    # it (the session's default desktop is already up, without one).
    program=$(basename "$exe")
    regset "HKCU\\Software\\Wine\\AppDefaults\\$program\\Explorer" Desktop REG_SZ dialogtest
    regset 'HKCU\Software\Wine\Explorer\Desktops' dialogtest REG_SZ 1024x768
    # The dialog face, MS Shell Dlg, stands for Tahoma, which is not
    # installed: Wine draws DejaVu Sans, which has no CJK glyphs. Wine looks
    # links up under the substituted name, so Tahoma gets the CJK font that
    # fontconfig already knows (Debian's fonts-wqy-microhei).
    regset 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' Tahoma REG_MULTI_SZ \
        'wqy-microhei.ttc,WenQuanYi Micro Hei'
    status=0
    regset 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 96
    echo "== 96 DPI"
    wine "$exe" --expect-dpi 96 --screenshots "Z:${shots//\//\\}" || status=1
    # Read by each new process.
    regset 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 144
    echo "== 144 DPI"
    wine "$exe" --expect-dpi 144 || status=1
    regset 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 96
    exit $status
fi

exe=$(realpath "$1") build=$(realpath "$2")
work=$build/tests/win32_dialog
shots=$build/screenshots
mkdir -p "$work" "$shots"
rm -f "$shots"/insert_at_*.bmp "$shots"/insert_at_*.png
export VARNOKE_WINEPREFIX=$work/prefix

# wine-session.sh starts a display of its own on a free number.
status=0
"$root/scripts/wine-session.sh" "$0" --in-session "$exe" "$shots" || status=1

# A session of its own: one wineserver never mixes runs with and without a
# display.
echo "== no display"
(unset DISPLAY; "$root/scripts/wine.sh" "$exe" --headless) || status=1
WINEPREFIX=$VARNOKE_WINEPREFIX /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

# BMP (24-bit, bottom-up) to PNG, with the standard library only.
python3 - "$shots" <<'PYTHON' || status=1
import glob, os, struct, sys, zlib

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

names = sorted(glob.glob(os.path.join(sys.argv[1], "insert_at_*.bmp")))
for name in names:
    data = open(name, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, planes, bits = struct.unpack_from("<iiHH", data, 18)
    assert data[:2] == b"BM" and bits == 24 and height > 0, name
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(rgb))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    open(name[:-4] + ".png", "wb").write(png)
    os.remove(name)
    print("screenshot", name[:-4] + ".png", f"{width}x{height}")
if len(names) != 3:
    print(f"FAIL expected 3 screenshots, found {len(names)}")
    sys.exit(1)
PYTHON
exit $status
