#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the Windows program files' and the installer's icon while building, from one picture.

    make-program-icon.py <output.ico> <picture.png> <window icon.ico>

The picture (256 x 256, 8-bit RGBA, as make-resources.sh draws the icon theme's largest size)
becomes the 256-pixel image as it is, stored as PNG inside the icon file as Windows Vista and
later read it, and is reduced by exact area averaging, with its alpha, to 16, 20, 24, 32, 40,
48 and 64 pixels, each a 32-bit image with its AND mask: the sizes Explorer, the taskbar, Alt+Tab
and the Start menu ask for at 100 to 400 per cent. The window icon's two 16-colour images (32 and
16 pixels) come first, unchanged, so the program file still holds the window's own pictures;
Windows picks the 32-bit image of a size where there is one. Standard library only; the output
depends on the two files' bytes alone.
"""
import importlib.util
import pathlib
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64)
SOURCE_SIZE = 256

_spec = importlib.util.spec_from_file_location(
    "embed_images", pathlib.Path(__file__).with_name("embed-images.py"))
embed_images = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(embed_images)


def overlaps(source, target):
    """For each target column, its source columns with their integer overlaps: in units of
    1/target of a source pixel, source pixel s spans [s * target, (s + 1) * target) and target
    pixel t spans [t * source, (t + 1) * source), so each target pixel's overlaps sum to
    `source`."""
    columns = []
    for t in range(target):
        start, end = t * source, (t + 1) * source
        columns.append([(s, min(end, (s + 1) * target) - max(start, s * target))
                        for s in range(start // target, (end + target - 1) // target)])
    return columns


def reduced(pixels, size):
    """Premultiplied 0xAARRGGBB pixels of the source reduced to size x size, as straight
    (B, G, R, A) bytes, rows top to bottom."""
    weights = overlaps(SOURCE_SIZE, size)
    out = bytearray()
    for row_weights in weights:
        for column_weights in weights:
            sums = [0, 0, 0, 0]  # alpha, red, green, blue, premultiplied
            for y, wy in row_weights:
                line = y * SOURCE_SIZE
                for x, wx in column_weights:
                    w, p = wy * wx, pixels[line + x]
                    sums[0] += w * (p >> 24)
                    sums[1] += w * (p >> 16 & 0xFF)
                    sums[2] += w * (p >> 8 & 0xFF)
                    sums[3] += w * (p & 0xFF)
            total = SOURCE_SIZE * SOURCE_SIZE
            alpha = (sums[0] + total // 2) // total
            straight = [min(255, (c * 255 + sums[0] // 2) // sums[0]) if sums[0] else 0
                        for c in sums[1:]]
            out += bytes((straight[2], straight[1], straight[0], alpha))
    return out


def bitmap_entry(size, bgra):
    """A 32-bit icon image: its header (double height: colour rows, then the AND mask), the
    colour rows bottom to top, and the mask, set where a pixel is fully transparent."""
    colour, mask = bytearray(), bytearray()
    stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        colour += bgra[4 * size * y:4 * size * (y + 1)]
        bits = bytearray(stride)
        for x in range(size):
            if bgra[4 * (size * y + x) + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + colour + mask


def window_icon_entries(data):
    """(directory entry without its offset, image bytes) for each image of an icon file."""
    _, kind, count = struct.unpack_from("<HHH", data)
    if kind != 1:
        sys.exit("make-program-icon.py: the window icon is no icon file")
    entries = []
    for i in range(count):
        head = data[6 + 16 * i:6 + 16 * i + 12]
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        entries.append((head[:8], data[offset:offset + size]))
    return entries


def main(arguments):
    if len(arguments) != 3:
        sys.exit(__doc__)
    output, picture_path, window_icon_path = arguments
    picture = pathlib.Path(picture_path).read_bytes()
    width, height, pixels, _ = embed_images.read_png(picture)
    if (width, height) != (SOURCE_SIZE, SOURCE_SIZE):
        sys.exit(f"make-program-icon.py: {picture_path} is {width} x {height}, not 256 x 256")
    entries = window_icon_entries(pathlib.Path(window_icon_path).read_bytes())
    for size in SIZES:
        entries.append((struct.pack("<BBBBHH", size, size, 0, 0, 1, 32),
                        bitmap_entry(size, reduced(pixels, size))))
    entries.append((struct.pack("<BBBBHH", 0, 0, 0, 0, 1, 32), picture))  # 0 stands for 256
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for head, image in entries:
        out += head + struct.pack("<II", len(image), offset)
        offset += len(image)
    for _, image in entries:
        out += image
    pathlib.Path(output).write_bytes(out)


if __name__ == "__main__":
    main(sys.argv[1:])
