#!/usr/bin/env python3
"""Draws the launcher's two pictures and writes them as Windows image files.

res/bitmap171.bmp: 32 x 32, 8 bpp, 256-entry palette, BI_RGB; a monitor with a
    bright cyan burst over its lower right corner, on the dialog face colour.
res/icon162.ico:   one 32 x 32, 24 bpp image with its AND mask; a monitor with a
    cyan arrow curving upward in front of its lower right corner.

The output is a pure function of this script (no randomness, no timestamps), so
re-running it reproduces the committed files byte for byte. Run with --check to
compare instead of write (exit 1 on any difference or on a wrong layout).
"""

import math
import os
import struct
import sys

SIZE = 32

BACKGROUND = (236, 233, 216)  # the dialog face the bitmap sits on; drawn as is

# Colours of the drawing, by name; the bitmap palette lists them in this order.
COLOURS = {
    "bg": BACKGROUND,
    "outline": (64, 64, 64),
    "case": (200, 200, 196),
    "case_light": (240, 240, 236),
    "case_dark": (128, 128, 124),
    "screen": (0, 40, 140),
    "screen_light": (40, 96, 200),
    "cyan": (0, 255, 255),
    "cyan_light": (160, 255, 255),
    "cyan_dark": (0, 150, 190),
    "white": (255, 255, 255),
    "arrow_edge": (0, 80, 120),
}

BMP_FILE_HEADER = 14
INFO_HEADER = 40
BMP_RESOURCE_SIZE = INFO_HEADER + 256 * 4 + SIZE * SIZE  # 2088
ICON_IMAGE_SIZE = INFO_HEADER + SIZE * SIZE * 3 + SIZE * 4  # 3240


def blank():
    return [[None] * SIZE for _ in range(SIZE)]


def fill_rect(img, x0, y0, x1, y1, colour):
    """Fills the inclusive rectangle (x0, y0)-(x1, y1); y grows downward."""
    for y in range(max(0, y0), min(SIZE - 1, y1) + 1):
        for x in range(max(0, x0), min(SIZE - 1, x1) + 1):
            img[y][x] = colour


def frame_rect(img, x0, y0, x1, y1, colour):
    fill_rect(img, x0, y0, x1, y0, colour)
    fill_rect(img, x0, y1, x1, y1, colour)
    fill_rect(img, x0, y0, x0, y1, colour)
    fill_rect(img, x1, y0, x1, y1, colour)


def put(img, x, y, colour):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = colour


def draw_monitor(img):
    # Case with a light top-left and a dark bottom-right edge.
    fill_rect(img, 2, 2, 26, 21, "case")
    fill_rect(img, 3, 3, 25, 3, "case_light")
    fill_rect(img, 3, 3, 3, 20, "case_light")
    fill_rect(img, 4, 20, 25, 20, "case_dark")
    fill_rect(img, 25, 4, 25, 20, "case_dark")
    frame_rect(img, 2, 2, 26, 21, "outline")
    # Screen, with a diagonal glint.
    fill_rect(img, 5, 5, 23, 17, "screen")
    frame_rect(img, 5, 5, 23, 17, "outline")
    for i in range(5):
        put(img, 8 + i, 12 - i, "screen_light")
        put(img, 9 + i, 12 - i, "screen_light")
    # Neck and foot.
    fill_rect(img, 11, 22, 17, 24, "case_dark")
    fill_rect(img, 6, 25, 22, 28, "case")
    fill_rect(img, 7, 26, 21, 26, "case_light")
    frame_rect(img, 6, 25, 22, 28, "outline")
    fill_rect(img, 11, 22, 11, 24, "outline")
    fill_rect(img, 17, 22, 17, 24, "outline")


def draw_burst(img, cx, cy):
    """A star of rays around (cx, cy): long rays on the axes and diagonals."""
    for k in range(16):
        angle = k * math.pi / 8
        length = 8.5 if k % 2 == 0 else 5.5
        steps = int(length * 4)
        for s in range(steps + 1):
            r = length * s / steps
            x = int(round(cx + r * math.cos(angle)))
            y = int(round(cy + r * math.sin(angle)))
            put(img, x, y, "cyan" if r < length - 2 else "cyan_light")
    for y in range(cy - 3, cy + 4):
        for x in range(cx - 3, cx + 4):
            d = math.hypot(x - cx, y - cy)
            if d <= 1.5:
                put(img, x, y, "white")
            elif d <= 3.2:
                put(img, x, y, "cyan")


def draw_arrow(img):
    """A thick quarter arc from the bottom rising to the right, ending in an upward head."""
    cx, cy = 15.5, 14.5
    inner, outer = 9.5, 13.0
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - cx, y - cy
            if dx < 0 or dy < 0:
                continue
            d = math.hypot(dx, dy)
            if inner - 1 <= d <= outer + 1:
                img[y][x] = "arrow_edge"
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - cx, y - cy
            if dx < 0 or dy < 0.5:
                continue
            d = math.hypot(dx, dy)
            if inner <= d <= outer:
                img[y][x] = "cyan" if d < outer - 1 else "cyan_dark"
    # Head: a triangle pointing up above the arc's upper end (x 25..28).
    apex_y, base_y = 5, 14
    mid = 26.75
    for y in range(apex_y - 1, base_y + 2):
        half = (y - apex_y + 1) * 0.62
        for x in range(SIZE):
            if abs(x - mid) <= half + 1 and y <= base_y + 1:
                img[y][x] = "arrow_edge"
    for y in range(apex_y, base_y + 1):
        half = (y - apex_y) * 0.62
        for x in range(SIZE):
            if abs(x - mid) <= half:
                img[y][x] = "cyan_light" if x < mid else "cyan"


def make_bitmap():
    img = blank()
    fill_rect(img, 0, 0, SIZE - 1, SIZE - 1, "bg")
    draw_monitor(img)
    draw_burst(img, 23, 19)
    names = list(COLOURS)
    palette = [COLOURS[n] for n in names] + [(0, 0, 0)] * (256 - len(names))
    index = {n: i for i, n in enumerate(names)}
    header = struct.pack("<IiiHHIIiiII", INFO_HEADER, SIZE, SIZE, 1, 8, 0, SIZE * SIZE, 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    rows = b"".join(bytes(index[img[y][x]] for x in range(SIZE)) for y in reversed(range(SIZE)))
    dib = header + pal + rows
    file_header = struct.pack("<2sIHHI", b"BM", BMP_FILE_HEADER + len(dib), 0, 0, BMP_FILE_HEADER + INFO_HEADER + len(pal))
    return file_header + dib


def make_icon():
    img = blank()
    draw_monitor(img)
    draw_arrow(img)
    # Height counts the colour and the mask halves together, as icon images do.
    header = struct.pack("<IiiHHIIiiII", INFO_HEADER, SIZE, 2 * SIZE, 1, 24, 0, SIZE * SIZE * 3 + SIZE * 4, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            name = img[y][x]
            if name is None:
                colour += b"\0\0\0"
                bits |= 1 << (SIZE - 1 - x)
            else:
                r, g, b = COLOURS[name]
                colour += bytes((b, g, r))
        mask += struct.pack(">I", bits)
    image = header + bytes(colour) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return icondir + entry + image


def check_layout(bmp, ico):
    """The sizes the resource compiler will carry into the executable."""
    errors = []
    if len(bmp) - BMP_FILE_HEADER != BMP_RESOURCE_SIZE:
        errors.append("bitmap resource is %d bytes, want %d" % (len(bmp) - BMP_FILE_HEADER, BMP_RESOURCE_SIZE))
    w, h, planes, bpp, comp = struct.unpack_from("<iiHHI", bmp, BMP_FILE_HEADER + 4)
    if (w, h, planes, bpp, comp) != (SIZE, SIZE, 1, 8, 0):
        errors.append("bitmap header %r" % ((w, h, planes, bpp, comp),))
    pal_off = BMP_FILE_HEADER + INFO_HEADER
    corner = bmp[pal_off + 1024]  # bottom-left pixel's palette index
    b, g, r, _ = bmp[pal_off + 4 * corner:pal_off + 4 * corner + 4]
    if (r, g, b) != BACKGROUND:
        errors.append("bitmap corner pixel is %r" % ((r, g, b),))
    count = struct.unpack_from("<H", ico, 4)[0]
    size, offset = struct.unpack_from("<II", ico, 6 + 8)
    if count != 1 or size != ICON_IMAGE_SIZE or offset + size != len(ico):
        errors.append("icon has %d images, image %d bytes at %d of %d" % (count, size, offset, len(ico)))
    return errors


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outputs = {
        os.path.join(root, "res", "bitmap171.bmp"): make_bitmap(),
        os.path.join(root, "res", "icon162.ico"): make_icon(),
    }
    bmp, ico = outputs.values()
    errors = check_layout(bmp, ico)
    check_only = "--check" in argv[1:]
    for path, data in outputs.items():
        if check_only:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        errors.append("%s differs from the generator's output" % path)
            except OSError as e:
                errors.append("%s: %s" % (path, e))
        else:
            with open(path, "wb") as f:
                f.write(data)
    for e in errors:
        print("make_images: " + e, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
