#!/usr/bin/env python3
"""Draws Keywarden's icons and writes them as .ico files.

    make_icons.py OUTPUT_DIR

keywarden.ico  the program's icon: a shield with a key on it,
               32x32 at 256 colours and 16x16 at 16 colours
warning.ico    a yellow warning triangle with an exclamation mark,
               32x32 at 16 colours, transparent around the triangle
blank.ico      32x32, transparent everywhere

Shapes are drawn in a unit square, sampled 4x4 per pixel and reduced to a
palette with median cut, so the output depends on nothing but this file.
Transparency is the icon's 1-bit mask: a pixel is opaque when at least half of
it is covered.
"""

import math
import os
import struct
import sys

SAMPLES = 4

# --- shapes -----------------------------------------------------------------
# Each painter takes a point (x, y) in the unit square, y downwards, and
# returns an (r, g, b) colour, or None where it leaves the point empty.


def shield_half_width(y):
    """Half-width of the shield at height y, or None outside it."""
    top, waist, tip = 0.05, 0.52, 0.97
    if y < top or y > tip:
        return None
    if y <= waist:
        return 0.42
    t = (y - waist) / (tip - waist)
    return 0.42 * math.sqrt(max(0.0, 1.0 - t * t))


def in_key(x, y, scale):
    """The key: a ring at the top, a shaft and two teeth to the right."""
    cx, cy = 0.5, 0.32
    r = math.hypot(x - cx, y - cy)
    ring = 0.155 * scale if scale < 1 else 0.155
    hole = 0.065 if scale >= 1 else 0.05
    if hole <= r <= ring:
        return True
    shaft = 0.06 if scale >= 1 else 0.075
    if abs(x - cx) <= shaft and cy + ring * 0.8 <= y <= 0.84:
        return True
    if cx < x <= cx + 0.2 and (0.64 <= y <= 0.7 or 0.76 <= y <= 0.84):
        return True
    return False


def keywarden_painter(small):
    edge = 0.075 if small else 0.05
    scale = 0.9 if small else 1.0

    def paint(x, y):
        hw = shield_half_width(y)
        if hw is None or abs(x - 0.5) > hw:
            return None
        inner = shield_half_width(y + edge) if y + edge <= 0.97 else None
        is_edge = (y < 0.05 + edge or inner is None or
                   abs(x - 0.5) > min(hw, inner) - edge)
        if is_edge:
            return (16, 36, 84)
        if in_key(x, y, scale):
            # Keep a dark rim round the key so it reads on the blue.
            d = 0.035 if not small else 0.06
            rim = not all(in_key(x + dx, y + dy, scale)
                          for dx, dy in ((d, 0), (-d, 0), (0, d), (0, -d)))
            if rim:
                return (120, 78, 0)
            shade = 1.0 - 0.35 * y
            return (255, int(200 * shade + 30), int(40 * shade))
        # Two-tone field: lighter on the left, with a soft vertical gradient.
        light = 1.0 - 0.45 * y
        if x < 0.5:
            return (int(70 * light + 30), int(130 * light + 40), int(215 * light + 40))
        return (int(30 * light + 15), int(80 * light + 25), int(170 * light + 30))

    return paint


def warning_painter():
    top, bottom, left, right = 0.06, 0.92, 0.03, 0.97
    edge = 0.075

    def inside(x, y, inset):
        if y < top + inset * 2.0 or y > bottom - inset:
            return False
        # The two slanted sides meet at the apex (0.5, top).
        t = (y - top) / (bottom - top)
        half = 0.5 * (right - left) * t - inset * 1.1
        return abs(x - 0.5) <= half

    def paint(x, y):
        if not inside(x, y, 0.0):
            return None
        if not inside(x, y, edge):
            return (0, 0, 0)
        bar = abs(x - 0.5) <= 0.055 and 0.32 <= y <= 0.66
        dot = math.hypot(x - 0.5, y - 0.78) <= 0.065
        if bar or dot:
            return (0, 0, 0)
        return (255, 255, 0)

    return paint


def blank_painter():
    return lambda x, y: None


# --- raster -----------------------------------------------------------------

def render(paint, size):
    """Returns rows of pixels, each (r, g, b) or None for transparent."""
    rows = []
    n = SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            hits = []
            for sy in range(n):
                for sx in range(n):
                    c = paint((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < n * n:
                row.append(None)
            else:
                row.append(tuple(sum(c[i] for c in hits) // len(hits) for i in range(3)))
        rows.append(row)
    return rows


def median_cut(colours, count):
    """A palette of at most count colours for the given list of colours."""
    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        box = max(splittable, key=lambda b: max(max(c[i] for c in b) - min(c[i] for c in b)
                                                for i in range(3)))
        spans = [max(c[i] for c in box) - min(c[i] for c in box) for i in range(3)]
        axis = spans.index(max(spans))
        box.sort(key=lambda c: (c[axis], c))
        mid = len(box) // 2
        boxes.remove(box)
        boxes.extend([box[:mid], box[mid:]])
    palette = [tuple(sum(c[i] for c in b) // len(b) for i in range(3)) for b in boxes]
    return sorted(set(palette))


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def quantise(rows, bits):
    """Palette (index 0 black, for transparent pixels) and rows of indices."""
    entries = 1 << bits
    colours = [c for row in rows for c in row if c is not None]
    palette = [(0, 0, 0)]
    if colours:
        palette += [c for c in median_cut(colours, entries - 1) if c != (0, 0, 0)]
    palette = palette[:entries]
    cache = {}
    indices = []
    for row in rows:
        out = []
        for c in row:
            if c is None:
                out.append(0)
            else:
                if c not in cache:
                    cache[c] = nearest(palette, c)
                out.append(cache[c])
        indices.append(out)
    palette += [(0, 0, 0)] * (entries - len(palette))
    return palette, indices


# --- .ico -------------------------------------------------------------------

def pack_rows(rows, bits):
    """Bottom-up rows of bits-per-pixel values, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        acc, nbits, line = 0, 0, bytearray()
        for v in row:
            acc = (acc << bits) | v
            nbits += bits
            while nbits >= 8:
                nbits -= 8
                line.append((acc >> nbits) & 0xFF)
        if nbits:
            line.append((acc << (8 - nbits)) & 0xFF)
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def icon_image(rows, bits):
    size = len(rows)
    palette, indices = quantise(rows, bits)
    mask = [[1 if c is None else 0 for c in row] for row in rows]
    xor = pack_rows(indices, bits)
    andmask = pack_rows(mask, 1)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(andmask), 0, 0, 0, 0)
    colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + andmask


def write_ico(path, images):
    """images: list of (size, bits, data)."""
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colour_count = (1 << bits) if bits < 8 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colour_count, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    tmp = path + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(out)
    os.replace(tmp, path)


def build(size, bits, painter):
    return (size, bits, icon_image(render(painter, size), bits))


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: make_icons.py OUTPUT_DIR\n')
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'keywarden.ico'),
              [build(32, 8, keywarden_painter(False)), build(16, 4, keywarden_painter(True))])
    write_ico(os.path.join(out, 'warning.ico'), [build(32, 4, warning_painter())])
    write_ico(os.path.join(out, 'blank.ico'), [build(32, 4, blank_painter())])
    return 0


if __name__ == '__main__':
    sys.exit(main())
