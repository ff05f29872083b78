#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates every image in this folder from geometry and one font; nothing is copied in.
# Needs ImageMagick 6 (convert), awk, python3 (standard library only: the 4-bit icon container
# and the final format checks) and fonts-liberation. Running it again gives byte-identical files.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"

export LC_ALL=C
# One thread keeps ImageMagick's quantiser and filters deterministic.
export MAGICK_THREAD_LIMIT=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

GOLD='rgb(239,203,74)'
LIGHT_GOLD='rgb(252,224,120)'
DEEP_GOLD='rgb(214,172,46)'
UNLIT='rgb(64,64,64)'

bold_font=$(fc-match -f '%{file}' 'Liberation Sans:style=Bold')
case "$bold_font" in
    *LiberationSans-Bold.ttf) ;;
    *) echo "Liberation Sans Bold not found (fc-match gave '$bold_font'); install fonts-liberation" >&2
       exit 1 ;;
esac

# Shapes are given in area coordinates (pixel x covers x..x+1); ImageMagick's -draw puts pixel
# centres on whole numbers, so every drawn point is moved by half a pixel. Without that a shape
# grows by one row and column of the 8x drawing and the reduced edges come out too bright.
to_draw=-0.5

# Corners of an upright regular five-pointed star: centre x, centre y, outer radius, and
# optionally the first and last corner (0 = top, clockwise, 10 = top again). Corners 5..10
# outline the left half.
star_points() {
    awk -v cx="$1" -v cy="$2" -v R="$3" -v from="${4:-0}" -v to="${5:-9}" -v d="$to_draw" 'BEGIN {
        pi = atan2(0, -1); r = R * 0.381966
        for (i = from; i <= to; i++) {
            a = -pi / 2 + i * pi / 5; rr = (i % 2 == 0) ? R : r
            printf "%.3f,%.3f ", cx + rr * cos(a) + d, cy + rr * sin(a) + d
        }
    }'
}

# The same star as ten facets for -draw: each arm split along its axis, one side lit, the other
# in shade.
star_facets() {
    awk -v cx="$1" -v cy="$2" -v R="$3" -v light="$LIGHT_GOLD" -v deep="$DEEP_GOLD" \
        -v d="$to_draw" 'BEGIN {
        pi = atan2(0, -1); r = R * 0.381966; cx += d; cy += d
        for (i = 0; i < 10; i++) {
            a = -pi / 2 + i * pi / 5; rr = (i % 2 == 0) ? R : r
            x[i] = cx + rr * cos(a); y[i] = cy + rr * sin(a)
        }
        for (i = 0; i < 10; i++) {
            j = (i + 1) % 10
            printf "fill %s polygon %.3f,%.3f %.3f,%.3f %.3f,%.3f ", (i % 2 == 0) ? light : deep,
                cx, cy, x[i], y[i], x[j], y[j]
        }
    }'
}

times() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a * b }'; }

# ---------------------------------------------------------------------------------------------
# Star templates: 43 x 41, 24-bit BI_RGB. Drawn 8x larger without antialiasing and reduced by
# area averaging, so every edge pixel carries its exact coverage. The star (height 1.809 R) is
# centred in the box; the half star is cut on the vertical through its top point, so column 21
# is half lit and columns 22..42 stay black.
ss=8
sw=$((43 * ss)); sh=$((41 * ss))
star_r=20
star_cx=21.5
star_cy=$(awk -v R="$star_r" 'BEGIN { printf "%.4f", (41 - R * 1.809017) / 2 + R }')
scx=$(times "$star_cx" "$ss"); scy=$(times "$star_cy" "$ss"); sr=$((star_r * ss))

to_bmp24() {
    convert "$1" -scale 43x41\! -alpha off -type TrueColor -strip "BMP3:$2"
}

convert -size ${sw}x${sh} xc:black +antialias -fill "$GOLD" \
    -draw "polygon $(star_points "$scx" "$scy" "$sr")" "$work/full.png"
convert -size ${sw}x${sh} xc:black +antialias -fill "$GOLD" \
    -draw "polygon $(star_points "$scx" "$scy" "$sr" 5 10)" "$work/half.png"
convert -size ${sw}x${sh} xc:black "$work/empty.png"
to_bmp24 "$work/full.png" imgstarv.bmp
to_bmp24 "$work/half.png" imgstarh.bmp
to_bmp24 "$work/empty.png" imgstarl.bmp

# ---------------------------------------------------------------------------------------------
# Icon: a faceted gold star on a dark rounded square with a lighter rim. Each size is drawn 8x
# larger and reduced by area averaging; the geometry is in fractions of the edge so every
# size shows the same motif.

# render_icon <edge in pixels> <square fill, an ImageMagick image source> <output RGBA png>
render_icon() {
    local size=$1 fill=$2 out=$3
    local big=$((size * ss))
    local m far rad cx cy R rim
    read -r m far rad cx cy R rim <<<"$(awk -v e="$big" -v d="$to_draw" 'BEGIN {
        m = e / 32; R = e * 0.40
        printf "%.3f %.3f %.3f %.3f %.3f %.3f %.3f",
            m + d, e - m + d, e * 0.19, e / 2, (e - R * 1.809017) / 2 + R, R, e / 32
    }')"
    convert -size ${big}x${big} "$fill" +antialias \
        \( -size ${big}x${big} xc:black -fill white \
           -draw "roundrectangle $m,$m $far,$far $rad,$rad" -alpha off \) \
        -compose CopyOpacity -composite -compose Over \
        -fill none -stroke 'rgb(96,100,116)' -strokewidth "$rim" \
        -draw "roundrectangle $m,$m $far,$far $rad,$rad" -stroke none \
        -draw "$(star_facets "$cx" "$cy" "$R")" \
        -scale "${size}x${size}!" "$out"
}

# Truecolour copies for the freedesktop icon theme.
for size in 16 32 48 64 128 256; do
    render_icon "$size" "gradient:rgb(70,74,88)-rgb(26,28,36)" "$work/icon-$size.png"
    dir=icons/hicolor/${size}x${size}/apps
    mkdir -p "$dir"
    convert "$work/icon-$size.png" -strip -define png:exclude-chunks=date,time \
        "PNG32:$dir/kelvora-staerkeneditor.png"
done

# icon.ico: 32 x 32 and 16 x 16 at 4 bits per pixel with an AND mask. Sixteen colours cannot
# carry the gradient without bands, so these get a flat square. Alpha is cut at one half; the
# quantiser picks fifteen colours and palette entry 0 is black, which is what a pixel hidden by
# the mask must hold. ImageMagick writes 4-bit entries only for opaque images, so the container
# is written below.
for size in 32 16; do
    render_icon "$size" "xc:rgb(44,47,58)" "$work/flat-$size.png"
    convert "$work/flat-$size.png" -channel A -threshold 50% +channel \
        -background 'rgb(96,100,116)' -alpha background "$work/cut-$size.png"
    convert "$work/cut-$size.png" -alpha off +dither -colors 15 -depth 8 "RGB:$work/ico-$size.rgb"
    convert "$work/cut-$size.png" -alpha extract -depth 8 "GRAY:$work/ico-$size.mask"
done

python3 - "$work" icon.ico <<'PY'
import pathlib
import struct
import sys

folder, target = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
BLACK = b"\0\0\0"


def padded(row):
    row = bytes(row)
    return row + bytes(-len(row) % 4)


def icon_entry(size):
    rgb = (folder / f"ico-{size}.rgb").read_bytes()
    mask = (folder / f"ico-{size}.mask").read_bytes()
    pixels = [rgb[3 * i:3 * i + 3] for i in range(size * size)]
    opaque = [mask[i] >= 128 for i in range(size * size)]
    colours = sorted({p for p, o in zip(pixels, opaque) if o} - {BLACK})
    if len(colours) > 15:
        sys.exit(f"{size}x{size}: {len(colours)} colours, only 15 fit beside black")
    palette = [BLACK] + colours + [BLACK] * (15 - len(colours))
    index = {c: i for i, c in enumerate([BLACK] + colours)}
    xor, and_mask = bytearray(), bytearray()
    for y in reversed(range(size)):  # bitmap rows run bottom to top
        row = [index[pixels[y * size + x]] if opaque[y * size + x] else 0 for x in range(size)]
        xor += padded((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        bits = bytearray(size // 8)
        for x in range(size):
            if not opaque[y * size + x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += padded(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(and_mask), 0, 0, 16, 0)
    quads = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header + quads + xor + and_mask


sizes = [32, 16]
entries = [icon_entry(s) for s in sizes]
out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
offset = 6 + 16 * len(entries)
for size, entry in zip(sizes, entries):
    out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(entry), offset)
    offset += len(entry)
for entry in entries:
    out += entry
target.write_bytes(out)
PY

# ---------------------------------------------------------------------------------------------
# banner.gif: 400 x 100, GIF89a, one frame, a 256-entry palette, no transparent colour. A large
# faceted star in a soft glow, the caption, a gold rule fading out and a row of six small stars
# reading 4.5, like the window's rating rows. Shapes are drawn 4x larger and reduced; the
# caption is set at final size so the font's hinting keeps it crisp.
bs=4
row_stars=""
for i in 0 1 2 3 4 5; do
    cx=$(( (114 + 20 * i) * bs )); cy=$((79 * bs)); r=$((8 * bs))
    case $i in
        4) row_stars+="fill $UNLIT polygon $(star_points "$cx" "$cy" "$r") "
           row_stars+="fill $GOLD polygon $(star_points "$cx" "$cy" "$r" 5 10) " ;;
        5) row_stars+="fill $UNLIT polygon $(star_points "$cx" "$cy" "$r") " ;;
        *) row_stars+="fill $GOLD polygon $(star_points "$cx" "$cy" "$r") " ;;
    esac
done
glow=60  # radius around the large star's centre (52, 54)

convert -size $((400 * bs))x$((100 * bs)) gradient:'rgb(40,40,46)-rgb(8,8,10)' \
    \( -size $((2 * glow * bs))x$((2 * glow * bs)) \
       radial-gradient:'rgba(239,203,74,0.30)-rgba(239,203,74,0)' \) \
    -geometry +$(((52 - glow) * bs))+$(((54 - glow) * bs)) -composite \
    +antialias -draw "$(star_facets $((52 * bs)) $((54 * bs)) $((38 * bs)))" -draw "$row_stars" \
    \( -size ${bs}x$((280 * bs)) gradient:'rgba(239,203,74,0.9)-rgba(239,203,74,0)' -rotate -90 \) \
    -geometry +$((104 * bs))+$((63 * bs)) -composite \
    -scale 400x100\! "$work/banner-shapes.png"

caption='Kelvora Stärkeneditor'
# Through PPM, which carries no gamma, so the GIF gets no ImageMagick application block. The
# picture holds thousands of colours, more than enough for the quantiser to need a 256-entry
# palette.
convert "$work/banner-shapes.png" -font "$bold_font" -density 72 -pointsize 26 \
    -fill black -annotate +106+54 "$caption" \
    -fill "$GOLD" -annotate +104+52 "$caption" \
    -alpha off "PPM:$work/banner.ppm"
convert "$work/banner.ppm" +dither -colors 256 -strip GIF:banner.gif

# ---------------------------------------------------------------------------------------------
# Folder icons for the folder list, open and closed, 16 x 16 and 32 x 32 with alpha: a blue
# folder with a tab, its front lit from below; the open one shows a sheet of paper above its
# lowered front. Drawn 8x larger and reduced by area averaging. Coordinates are in sixteenths
# of the edge; the outlines lie on pixel centres, so at 16 x 16 each is one crisp pixel wide.
FOLDER_RIM='rgb(22,86,178)'
FOLDER_BACK='rgb(70,132,214)'
FOLDER_FRONT_TOP='rgb(92,156,232)'
FOLDER_FRONT_BOTTOM='rgb(176,212,248)'
PAPER='rgb(252,252,250)'
PAPER_RIM='rgb(168,178,194)'

# folder_box <x0> <y0> <x1> <y1> <pixels per sixteenth>: two corners for -draw.
folder_box() {
    awk -v a="$1" -v b="$2" -v c="$3" -v e="$4" -v k="$5" -v d="$to_draw" 'BEGIN {
        printf "%.3f,%.3f %.3f,%.3f", a * k + d, b * k + d, c * k + d, e * k + d }'
}

# render_folder <edge in pixels> <open|closed> <output RGBA png>
render_folder() {
    local size=$1 kind=$2 out=$3
    local big=$((size * ss))
    local k r
    k=$(awk -v e="$big" 'BEGIN { printf "%.4f", e / 16 }')
    r=$(times "$k" 1.2)
    local front_top=5.5 paper=()
    if [[ $kind == open ]]; then
        front_top=8.5
        paper=(-fill "$PAPER" -stroke "$PAPER_RIM" -draw "rectangle $(folder_box 3.5 4.5 12.5 10.5 "$k")")
    fi
    local front="roundrectangle $(folder_box 1.5 "$front_top" 14.5 13.5 "$k") $r,$r"
    convert -size ${big}x${big} xc:none +antialias \
        -fill "$FOLDER_BACK" -stroke "$FOLDER_RIM" -strokewidth "$k" \
        -draw "roundrectangle $(folder_box 1.5 1.5 6.5 5.5 "$k") $r,$r" \
        -draw "roundrectangle $(folder_box 1.5 3.5 14.5 13.5 "$k") $r,$r" \
        "${paper[@]}" \
        \( -size ${big}x${big} "gradient:$FOLDER_FRONT_TOP-$FOLDER_FRONT_BOTTOM" \
           \( -size ${big}x${big} xc:black -fill white -stroke none -draw "$front" -alpha off \) \
           -compose CopyOpacity -composite \) -compose Over -composite \
        -fill none -stroke "$FOLDER_RIM" -strokewidth "$k" -draw "$front" \
        -scale "${size}x${size}!" -strip -define png:exclude-chunks=date,time "PNG32:$out"
}

for size in 16 32; do
    render_folder "$size" open "folder-open-$size.png"
    render_folder "$size" closed "folder-closed-$size.png"
done

# ---------------------------------------------------------------------------------------------
# The formats the program relies on, checked on the bytes written.
python3 - <<'PY'
import struct
import sys


def fail(message):
    sys.exit(f"make-resources: {message}")


for name in ("imgstarv.bmp", "imgstarh.bmp", "imgstarl.bmp"):
    data = open(name, "rb").read()
    width, height, planes, bpp, compression = struct.unpack("<iiHHI", data[18:34])
    if data[:2] != b"BM" or (width, height, bpp, compression) != (43, 41, 24, 0):
        fail(f"{name}: not a 43x41 24-bit BI_RGB bitmap")

gif = open("banner.gif", "rb").read()
width, height, packed = struct.unpack("<HHB", gif[6:11])
if gif[:6] != b"GIF89a" or (width, height) != (400, 100):
    fail("banner.gif: not a 400x100 GIF89a")
if not packed & 0x80 or 2 ** ((packed & 7) + 1) != 256:
    fail("banner.gif: global palette is not 256 entries")
pos, frames = 13 + 3 * 256, 0
while gif[pos] != 0x3B:
    if gif[pos] == 0x21:
        label, pos = gif[pos + 1], pos + 2
        if label == 0xF9 and gif[pos + 1] & 1:
            fail("banner.gif: has a transparent colour")
    else:
        frames += 1
        flags = gif[pos + 9]
        pos += 10 + (3 * 2 ** ((flags & 7) + 1) if flags & 0x80 else 0) + 1
    while gif[pos]:
        pos += gif[pos] + 1
    pos += 1
if frames != 1:
    fail(f"banner.gif: {frames} frames")

ico = open("icon.ico", "rb").read()
reserved, kind, count = struct.unpack("<HHH", ico[:6])
found = []
for i in range(count):
    w, h, colours, _, planes, bpp, _, offset = struct.unpack("<BBBBHHII", ico[6 + 16 * i:22 + 16 * i])
    found.append((w, h, colours, bpp, struct.unpack("<H", ico[offset + 14:offset + 16])[0]))
if (reserved, kind) != (0, 1) or sorted(found) != [(16, 16, 16, 4, 4), (32, 32, 16, 4, 4)]:
    fail(f"icon.ico: entries {found}, want 32x32 and 16x16 at 16 colours")

for kind in ("open", "closed"):
    for size in (16, 32):
        name = f"folder-{kind}-{size}.png"
        png = open(name, "rb").read()
        width, height, depth, colour_type, _, _, interlace = struct.unpack(">IIBBBBB", png[16:29])
        if png[:8] != b"\x89PNG\r\n\x1a\n" or (width, height, depth, colour_type, interlace) != (
                size, size, 8, 6, 0):
            fail(f"{name}: not a {size}x{size} 8-bit RGBA PNG without interlacing")
PY
echo "make-resources: all images written and checked"
