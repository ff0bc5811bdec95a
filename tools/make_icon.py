#!/usr/bin/python3
"""Draws the program icon: a small bull's-eye of the 17-segment model in the
"Hot Iron" palette of data/PALETS (palette 2), on a black disc like the
program's views, with the rings and the sector spokes in dark lines.

Usage: /usr/bin/python3 tools/make_icon.py [SOURCE_DIR]
Writes SOURCE_DIR/data/icons/vesmora.svg and vesmora-48.png, vesmora-64.png,
vesmora-256.png from the same geometry (the PNGs are drawn here, 4 x 4
samples per pixel, so no SVG renderer is needed). Run it again only to change
the icon, and look at the pictures before committing them.
"""
import math
import os
import struct
import sys
import zlib

import numpy as np

SIZE = 256.0                      # design canvas; centre at (128, 128)
C = 128.0
DISC = 124.0                      # black background disc
RINGS = [0.0, 26.0, 54.0, 84.0, 114.0]  # apex, apical, mid, basal outer radii
# Uptake per sector (0..100), sectors as the program numbers them: basal 1..6 and
# mid 7..12 counter-clockwise from the top (anterior), apical 13..16 from the top.
# A defect in the inferior wall (sectors 4, 10, 15) makes it read as an analysis.
BASAL = [72, 68, 64, 44, 66, 70]
MID = [82, 78, 74, 50, 76, 80]
APICAL = [88, 86, 62, 87]
APEX = 94
LINE = (24, 24, 24)


def hot_iron(source_dir):
    d = open(os.path.join(source_dir, "data", "PALETS"), "rb").read()
    return [tuple(d[2 * 303 + v * 3: 2 * 303 + v * 3 + 3]) for v in range(101)]


def sector_layout():
    """(r_in, r_out, first angle in degrees, count, values): angles counter-clockwise
    from the right, y up; sector 1 of each ring is centred on the top."""
    return [
        (RINGS[3], RINGS[4], 60.0, 6, BASAL),
        (RINGS[2], RINGS[3], 60.0, 6, MID),
        (RINGS[1], RINGS[2], 45.0, 4, APICAL),
    ]


def line_width(pixels):
    # about 1.3 output pixels, never thinner than 3 design units
    return max(3.0, 1.3 * SIZE / pixels)


def colour_at(x, y, pal, lw):
    """x, y: arrays of design coordinates (y down). Returns an (n, 4) array RGBA."""
    dx, dy = x - C, C - y
    r = np.hypot(dx, dy)
    a = np.degrees(np.arctan2(dy, dx)) % 360.0
    out = np.zeros(x.shape + (4,))
    inside = r <= DISC
    out[inside] = (0, 0, 0, 255)
    # the apex disc
    v = np.full(x.shape, -1, dtype=int)
    v[r < RINGS[1]] = APEX
    for r_in, r_out, first, count, values in sector_layout():
        span = 360.0 / count
        ring = (r >= r_in) & (r < r_out)
        idx = (((a - first) % 360.0) // span).astype(int) % count
        for n in range(count):
            v[ring & (idx == n)] = values[n]
    for val in set(v[v >= 0].tolist()):
        out[v == val] = pal[val] + (255,)
    # rings and spokes
    on_line = np.zeros(x.shape, dtype=bool)
    for rr in RINGS[1:]:
        on_line |= np.abs(r - rr) <= lw / 2
    for r_in, r_out, first, count, _ in sector_layout():
        for n in range(count):
            t = math.radians(first + n * 360.0 / count)
            ux, uy = math.cos(t), math.sin(t)
            along = dx * ux + dy * uy
            across = np.abs(-dx * uy + dy * ux)
            on_line |= (across <= lw / 2) & (along >= r_in) & (along <= r_out)
    out[on_line & inside] = LINE + (255,)
    return out


def render_png(path, pixels, pal):
    s = 4  # samples per pixel along each axis
    step = SIZE / pixels
    coords = (np.arange(pixels * s) + 0.5) * step / s
    x, y = np.meshgrid(coords, coords)
    rgba = colour_at(x, y, pal, line_width(pixels))
    rgba = rgba.reshape(pixels, s, pixels, s, 4)
    alpha = rgba[..., 3:4] / 255.0
    cov = alpha.mean(axis=(1, 3))
    colour = (rgba[..., :3] * alpha).sum(axis=(1, 3)) / np.maximum(alpha.sum(axis=(1, 3)), 1e-9)
    img = np.concatenate([colour, cov * 255.0], axis=-1)
    img = np.clip(np.floor(img + 0.5), 0, 255).astype(np.uint8)
    raw = b"".join(b"\x00" + img[row].tobytes() for row in range(pixels))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", pixels, pixels, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def point(r, deg):
    t = math.radians(deg)
    return C + r * math.cos(t), C - r * math.sin(t)


def render_svg(path, pal):
    def hexc(rgb):
        return "#%02x%02x%02x" % rgb

    lw = line_width(SIZE)
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        "<title>Vesmora</title>",
        '<circle cx="%g" cy="%g" r="%g" fill="#000000"/>' % (C, C, DISC),
    ]
    for r_in, r_out, first, count, values in sector_layout():
        span = 360.0 / count
        for n in range(count):
            a0, a1 = first + n * span, first + (n + 1) * span
            x0, y0 = point(r_out, a0)
            x1, y1 = point(r_out, a1)
            x2, y2 = point(r_in, a1)
            x3, y3 = point(r_in, a0)
            parts.append(
                '<path fill="%s" d="M%.3f %.3fA%g %g 0 0 0 %.3f %.3fL%.3f %.3fA%g %g 0 0 1 %.3f %.3fZ"/>'
                % (hexc(pal[values[n]]), x0, y0, r_out, r_out, x1, y1, x2, y2, r_in, r_in, x3, y3))
    parts.append('<circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (C, C, RINGS[1], hexc(pal[APEX])))
    stroke = 'stroke="%s" stroke-width="%g"' % (hexc(LINE), lw)
    for rr in RINGS[1:]:
        parts.append('<circle cx="%g" cy="%g" r="%g" fill="none" %s/>' % (C, C, rr, stroke))
    for r_in, r_out, first, count, _ in sector_layout():
        for n in range(count):
            x0, y0 = point(r_in, first + n * 360.0 / count)
            x1, y1 = point(r_out, first + n * 360.0 / count)
            parts.append('<line x1="%.3f" y1="%.3f" x2="%.3f" y2="%.3f" %s/>' % (x0, y0, x1, y1, stroke))
    parts.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(parts) + "\n")


def main():
    source_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    out = os.path.join(source_dir, "data", "icons")
    os.makedirs(out, exist_ok=True)
    pal = hot_iron(source_dir)
    render_svg(os.path.join(out, "vesmora.svg"), pal)
    for px in (48, 64, 256):
        render_png(os.path.join(out, "vesmora-%d.png" % px), px, pal)


if __name__ == "__main__":
    main()
