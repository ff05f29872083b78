#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the window's images into pixel arrays compiled into the program, so that start-up
decodes nothing: no GIF or ICO reader, no image plugin loaded.

    embed-images.py <output.cpp> <name>=<image file>...

Each name becomes an `ImagePixels` constant `<name>Pixels` (resources/imagepixels.h): rows top
to bottom, each pixel 0xAARRGGBB as QImage::Format_RGB32 (opaque images) or
Format_ARGB32_Premultiplied (images with a mask or alpha) hold it. An icon file gives one
constant per entry, named with its width (`icon32Pixels`). Reads uncompressed 24-bit BMP,
single-frame GIF without a transparent colour, ICO with 4- or 8-bit entries and their AND mask,
and 8-bit RGBA PNG without interlacing: the forms make-resources.sh draws. Anything else stops
the build with its reason. The output depends on the images' bytes alone.
"""
import struct
import sys
import zlib


class Refused(Exception):
    pass


def rgb(red, green, blue):
    return 0xFF000000 | red << 16 | green << 8 | blue


def read_bmp24(data):
    """An uncompressed 24-bit BMP: BGR rows bottom-up, each padded to four bytes."""
    if data[:2] != b"BM":
        raise Refused("not a BMP file")
    offset, header_size, width, height, _, bits, compression = struct.unpack_from(
        "<I I i i H H I", data, 10)
    if header_size < 40 or bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise Refused("not an uncompressed 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = []
    for row in range(abs(height)):
        start = offset + row * stride
        line = data[start:start + width * 3]
        if len(line) != width * 3:
            raise Refused("pixel rows cut short")
        rows.append([rgb(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 3)])
    if height > 0:
        rows.reverse()
    return width, abs(height), [p for row in rows for p in row], True


def gif_sub_blocks(data, pos):
    """The bytes of a run of GIF sub-blocks starting at pos, and the position after it."""
    out = bytearray()
    while True:
        if pos >= len(data):
            raise Refused("data blocks cut short")
        size = data[pos]
        pos += 1
        if size == 0:
            return bytes(out), pos
        out += data[pos:pos + size]
        pos += size


def lzw_decode(code_bytes, min_code_size, pixel_count):
    """GIF's variable-length LZW: codes packed least significant bit first."""
    clear = 1 << min_code_size
    end = clear + 1
    table = []
    code_size = 0
    out = bytearray()
    previous = None
    bit_buffer = 0
    bit_count = 0

    def reset():
        nonlocal table, code_size, previous
        table = [bytes([i]) for i in range(clear)] + [b"", b""]
        code_size = min_code_size + 1
        previous = None

    reset()
    for byte in code_bytes:
        bit_buffer |= byte << bit_count
        bit_count += 8
        while bit_count >= code_size:
            code = bit_buffer & ((1 << code_size) - 1)
            bit_buffer >>= code_size
            bit_count -= code_size
            if code == clear:
                reset()
                continue
            if code == end:
                return out[:pixel_count]
            if code < len(table):
                entry = table[code]
                if previous is not None:
                    table.append(previous + entry[:1])
            elif code == len(table) and previous is not None:
                entry = previous + previous[:1]
                table.append(entry)
            else:
                raise Refused("corrupt image data")
            out += entry
            previous = entry
            if len(table) == 1 << code_size and code_size < 12:
                code_size += 1
    return out[:pixel_count]


def read_gif(data):
    """A single-frame GIF covering its whole screen, without a transparent colour."""
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise Refused("not a GIF file")
    width, height, flags = struct.unpack_from("<H H B", data, 6)
    pos = 13
    palette = None
    if flags & 0x80:
        size = 2 << (flags & 7)
        palette = data[pos:pos + 3 * size]
        pos += 3 * size
    frame = None
    while pos < len(data) and data[pos] != 0x3B:
        introducer = data[pos]
        if introducer == 0x21:
            label = data[pos + 1]
            block, pos = gif_sub_blocks(data, pos + 2)
            if label == 0xF9 and block and block[0] & 1:
                raise Refused("a transparent colour is set")
        elif introducer == 0x2C:
            if frame is not None:
                raise Refused("more than one frame")
            left, top, frame_width, frame_height, image_flags = struct.unpack_from(
                "<H H H H B", data, pos + 1)
            pos += 10
            if (left, top, frame_width, frame_height) != (0, 0, width, height):
                raise Refused("the frame does not cover the image")
            if image_flags & 0x40:
                raise Refused("interlaced")
            if image_flags & 0x80:
                size = 2 << (image_flags & 7)
                palette = data[pos:pos + 3 * size]
                pos += 3 * size
            min_code_size = data[pos]
            code_bytes, pos = gif_sub_blocks(data, pos + 1)
            frame = lzw_decode(code_bytes, min_code_size, width * height)
        else:
            raise Refused(f"unknown block 0x{introducer:02x}")
    if frame is None or palette is None or len(frame) != width * height:
        raise Refused("no complete frame with a palette")
    colours = [rgb(*palette[i:i + 3]) for i in range(0, len(palette), 3)]
    if max(frame) >= len(colours):
        raise Refused("a pixel names a colour beyond the palette")
    return width, height, [colours[i] for i in frame], True


def read_ico_entry(data, offset, size):
    """One icon entry: a palette bitmap of double height, the colour rows and then the AND
    mask (1 = transparent), both bottom-up. Premultiplied, a transparent pixel is 0."""
    header_size, width, double_height, _, bits, compression = struct.unpack_from(
        "<I i i H H I", data, offset)
    height = double_height // 2
    if bits not in (4, 8) or compression != 0 or width <= 0 or height <= 0:
        raise Refused("an entry is not an uncompressed 4- or 8-bit bitmap")
    colour_count = struct.unpack_from("<I", data, offset + 32)[0] or 1 << bits
    palette_start = offset + header_size
    colours = []
    for i in range(colour_count):
        blue, green, red, _ = data[palette_start + 4 * i:palette_start + 4 * i + 4]
        colours.append(rgb(red, green, blue))
    pixels_start = palette_start + 4 * colour_count
    stride = ((width * bits + 31) // 32) * 4
    mask_start = pixels_start + stride * height
    mask_stride = ((width + 31) // 32) * 4
    if mask_start + mask_stride * height > offset + size:
        raise Refused("an entry is cut short")
    pixels = []
    for row in reversed(range(height)):
        line = data[pixels_start + row * stride:pixels_start + (row + 1) * stride]
        mask = data[mask_start + row * mask_stride:mask_start + (row + 1) * mask_stride]
        for x in range(width):
            if mask[x // 8] & (0x80 >> (x % 8)):
                pixels.append(0)
                continue
            if bits == 4:
                index = line[x // 2] >> 4 if x % 2 == 0 else line[x // 2] & 0x0F
            else:
                index = line[x]
            if index >= len(colours):
                raise Refused("a pixel names a colour beyond the palette")
            pixels.append(colours[index])
    return width, height, pixels, False


def read_ico(data):
    reserved, kind, count = struct.unpack_from("<H H H", data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise Refused("not an icon file")
    entries = []
    for i in range(count):
        _, _, _, _, _, _, size, offset = struct.unpack_from("<B B B B H H I I", data, 6 + 16 * i)
        entries.append(read_ico_entry(data, offset, size))
    return entries


def premultiplied(red, green, blue, alpha):
    """A pixel as Format_ARGB32_Premultiplied holds it, rounded as Qt's qPremultiply rounds."""
    def times_alpha(channel):
        product = channel * alpha
        return (product + (product >> 8) + 0x80) >> 8
    return alpha << 24 | times_alpha(red) << 16 | times_alpha(green) << 8 | times_alpha(blue)


def paeth(left, up, up_left):
    estimate = left + up - up_left
    distances = (abs(estimate - left), abs(estimate - up), abs(estimate - up_left))
    return (left, up, up_left)[distances.index(min(distances))]


def unfiltered_rows(data, height, stride, bytes_per_pixel):
    """PNG's scanlines without their filters: each row starts with its filter type."""
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        if pos + 1 + stride > len(data):
            raise Refused("pixel rows cut short")
        kind, row = data[pos], bytearray(data[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = row[i - bytes_per_pixel] if i >= bytes_per_pixel else 0
            up_left = previous[i - bytes_per_pixel] if i >= bytes_per_pixel else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + previous[i]) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + previous[i]) // 2) & 0xFF
            elif kind == 4:
                row[i] = (row[i] + paeth(left, previous[i], up_left)) & 0xFF
            elif kind != 0:
                raise Refused(f"unknown row filter {kind}")
        rows.append(row)
        previous = row
    return rows


def read_png(data):
    """An 8-bit RGBA PNG without interlacing; premultiplied, as the other images with alpha."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Refused("not a PNG file")
    pos, header, compressed = 8, None, bytearray()
    while pos + 8 <= len(data):
        length, kind = struct.unpack_from(">I 4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">I I B B B B B", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    if header is None:
        raise Refused("no image header")
    width, height, depth, colour_type, _, _, interlace = header
    if (depth, colour_type, interlace) != (8, 6, 0):
        raise Refused("not 8-bit RGBA without interlacing")
    try:
        raw = zlib.decompress(bytes(compressed))
    except zlib.error as reason:
        raise Refused(f"corrupt image data ({reason})")
    pixels = []
    for row in unfiltered_rows(raw, height, width * 4, 4):
        pixels += [premultiplied(*row[i:i + 4]) for i in range(0, len(row), 4)]
    return width, height, pixels, False


def images_of(name, path):
    """(constant name, width, height, pixels, opaque) for every image the file holds."""
    with open(path, "rb") as file:
        data = file.read()
    if path.endswith(".ico"):
        return [(f"{name}{entry[0]}", *entry) for entry in read_ico(data)]
    readers = {".gif": read_gif, ".png": read_png}
    reader = readers.get(path[path.rfind("."):], read_bmp24)
    return [(name, *reader(data))]


def cpp_source(images):
    lines = ["// Made by resources/embed-images.py from the images in resources/ while building;",
             "// not edited by hand.",
             '#include "resources/imagepixels.h"',
             "",
             "namespace {",
             ""]
    for name, width, height, pixels, _ in images:
        lines.append(f"alignas(16) constexpr quint32 {name}Data[{width} * {height}] = {{")
        for start in range(0, len(pixels), 8):
            lines.append("    " + ", ".join(f"0x{p:08x}u" for p in pixels[start:start + 8]) + ",")
        lines += ["};", ""]
    lines += ["} // namespace", ""]
    for name, width, height, _, opaque in images:
        flag = "true" if opaque else "false"
        lines.append(f"const ImagePixels {name}Pixels{{{name}Data, {width}, {height}, {flag}}};")
    return "\n".join(lines) + "\n"


def main(arguments):
    if len(arguments) < 2 or any("=" not in a for a in arguments[1:]):
        sys.exit(__doc__)
    images = []
    for argument in arguments[1:]:
        name, path = argument.split("=", 1)
        try:
            images += images_of(name, path)
        except (Refused, struct.error, IndexError) as reason:
            sys.exit(f"embed-images.py: {path}: {reason}")
    with open(arguments[0], "w", encoding="ascii", newline="\n") as file:
        file.write(cpp_source(images))


if __name__ == "__main__":
    main(sys.argv[1:])
