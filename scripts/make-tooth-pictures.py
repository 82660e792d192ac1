#!/usr/bin/env python3
"""Draws the tooth pictures assets/BMP/*.gif from assets/teeth/teeth.txt.

    scripts/make-tooth-pictures.py [--svg DIR] [--contact-sheet PNG]

Each picture is written as SVG, rasterised by rsvg-convert and turned into a palette GIF with a
transparent background by ImageMagick (/usr/bin/convert). The same input gives the same files.
--svg keeps the SVG files in DIR; --contact-sheet also lays all pictures out as the chart does.
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(ROOT, "assets", "teeth", "teeth.txt")
OUT_DIR = os.path.join(ROOT, "assets", "BMP")
CONVERT = "/usr/bin/convert"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

# Picture geometry (mm on the picture) and resolution; src/chart/ToothPictures.h has the same.
BOX_W, CROWN_BOX, ROOT_BOX = 10.0, 8.5, 12.5
SCALE = 0.75  # picture mm per natural mm
PX_PER_MM = 12
K = SCALE * PX_PER_MM  # pixels per natural mm
W_PX, CROWN_PX, ROOT_PX = round(BOX_W * PX_PER_MM), round(CROWN_BOX * PX_PER_MM), round(ROOT_BOX * PX_PER_MM)

INK = "#262626"
DETAIL = "#7a7a7a"
ENAMEL = "#ffffff"
ROOT_FILL = "#f7f2e8"
METAL = "#d9dde2"
OUTLINE_PX = 3.0
DETAIL_PX = 1.8


# ---------------------------------------------------------------- reading the description

def parse(path):
    teeth, shapes, implant = [], {}, None
    current = None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].rstrip()
            if not line.strip():
                continue
            words = line.split()
            if words[0] == "tooth":
                teeth.append({
                    "number": int(words[1]), "crown": float(words[2]), "root": float(words[3]),
                    "width": float(words[4]), "cervical": float(words[5]),
                    "buccal": words[6], "lingual": words[7], "roots": words[8]})
            elif words[0] == "implant":
                implant = {"length": float(words[1]), "diameter": float(words[2]), "pitch": float(words[3])}
            elif words[0] == "shape":
                current = {"outline": None, "lines": []}
                shapes[words[1]] = current
            elif words[0] == "line":
                current["lines"].append(points(line.split(None, 1)[1]))
            else:
                if current is None or current["outline"] is not None:
                    sys.exit("teeth.txt: outline outside a shape: " + line)
                current["outline"] = points(line)
    return teeth, shapes, implant


def points(text):
    pts = []
    for item in text.split("|"):
        item = item.strip()
        corner = item.endswith("*")
        x, y = item.rstrip("*").split()
        pts.append((x, float(y), corner))
    return pts


# ---------------------------------------------------------------- smooth outlines

def hermite_path(pts, tangents=None, closed=False):
    """SVG path through pts (x, y, corner) as cubic segments (Catmull-Rom, sharp at corners)."""
    n = len(pts)
    tin, tout = [], []
    for i, (x, y, corner) in enumerate(pts):
        prev = pts[i - 1] if (i > 0 or closed) else None
        nxt = pts[(i + 1) % n] if (i < n - 1 or closed) else None
        if tangents and i in tangents:
            t = tangents[i]
            tin.append(t)
            tout.append(t)
        elif corner or prev is None or nxt is None:
            a = ((x - prev[0]) * 0.35, (y - prev[1]) * 0.35) if prev else None
            b = ((nxt[0] - x) * 0.35, (nxt[1] - y) * 0.35) if nxt else None
            tin.append(a or b)
            tout.append(b or a)
        else:
            t = ((nxt[0] - prev[0]) * 0.5, (nxt[1] - prev[1]) * 0.5)
            tin.append(t)
            tout.append(t)
    d = "M %.2f %.2f" % (pts[0][0], pts[0][1])
    last = n if closed else n - 1
    for i in range(last):
        j = (i + 1) % n
        p, q = pts[i], pts[j]
        c1 = (p[0] + tout[i][0] / 3, p[1] + tout[i][1] / 3)
        c2 = (q[0] - tin[j][0] / 3, q[1] - tin[j][1] / 3)
        d += " C %.2f %.2f %.2f %.2f %.2f %.2f" % (c1 + c2 + (q[0], q[1]))
    return d + (" Z" if closed else "")


# ---------------------------------------------------------------- the parts of a tooth
# Natural mm, x toward mesial, y (crown) toward the occlusal side or d (root) toward the apex,
# both measured from the CEJ; placed into the picture by the transforms below.

def crown_points(tooth, shape_pts):
    half = tooth["width"] / 2
    c = tooth["cervical"] / tooth["width"]
    out = []
    for i, (x, y, corner) in enumerate(shape_pts):
        fx = (-c if i == 0 else c) if x == "cej" else float(x)
        out.append((fx * half, y * tooth["crown"], corner))
    return out


def single_root(hw, length, off):
    side = [(0.0, 0.0), (0.06, 0.25), (0.20, 0.55), (0.50, 0.84), (0.80, 0.97)]
    pts = [(-hw * (1 - s) + off * t ** 1.6, t * length, False) for s, t in side]
    pts.append((off, length, False))
    pts += [(hw * (1 - s) + off * t ** 1.6, t * length, False) for s, t in reversed(side)]
    return pts


def split_root(hw, length, trunk, spread):
    r = hw * 0.42
    a1, a2 = (-spread, length), (spread * 0.85, length * 0.93)
    return [
        (-hw, 0, False), (-hw * 0.95, trunk * 0.5, False), (-hw * 0.82, trunk, False),
        (a1[0] - r * 0.75, a1[1] - r * 1.4, False), a1 + (False,), (a1[0] + r * 0.8, a1[1] - r * 1.6, False),
        (0.0, trunk + 0.6, False),
        (a2[0] - r * 0.8, a2[1] - r * 1.6, False), a2 + (False,), (a2[0] + r * 0.75, a2[1] - r * 1.4, False),
        (hw * 0.82, trunk, False), (hw * 0.95, trunk * 0.5, False), (hw, 0, False)]


def two_roots(hw, trunk, lm, ld, xm, xd):
    rt = hw * 0.40  # half width of each root where it leaves the trunk

    def root(sign, apex_x, length, bow):
        # one root from the furcation level to its apex: (outer side, apex, inner side)
        x0 = sign * (hw - rt)

        def at(t, side):
            x = x0 + (apex_x - x0) * t + bow * math.sin(math.pi * t)
            w = rt * (1 - 0.72 * t ** 1.3)
            return (x + side * w, trunk + (length - trunk) * t)
        outer = [at(t, sign) for t in (0.0, 0.45, 0.8, 0.95)]
        outer[0] = (outer[0][0] - sign * 0.05 * hw, outer[0][1])
        inner = [at(t, -sign) for t in (0.95, 0.8, 0.45, 0.12)]
        return outer, (apex_x, length), inner

    d_out, d_apex, d_in = root(-1, xd, ld, -0.2)
    m_out, m_apex, m_in = root(1, xm, lm, 0.2)
    pts = [(-hw, 0.0), (-hw * 0.98, trunk * 0.5)] + d_out[1:] + [d_apex] + d_in
    pts += [((xm + xd) / 4, trunk - 0.1)]  # roof of the furcation
    pts += list(reversed(m_in)) + [m_apex] + list(reversed(m_out[1:])) + [(hw * 0.98, trunk * 0.5), (hw, 0.0)]
    return [(x, y, False) for x, y in pts]


def root_points(tooth):
    kind, *args = tooth["roots"].split(":")
    hw, length = tooth["cervical"] / 2, tooth["root"]
    a = [float(v) for v in args]
    if kind == "single":
        return single_root(hw, length, a[0])
    if kind == "split":
        return split_root(hw, length, a[0], a[1])
    if kind == "two":
        return two_roots(hw, a[0], a[1], a[2], a[3], a[4])
    sys.exit("teeth.txt: unknown roots " + tooth["roots"])


# ---------------------------------------------------------------- SVG pictures

def svg(width, height, body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n%s</svg>\n'
            % (width, height, width, height, body))


def place(pts, upper, box_h, part):
    """Natural mm -> picture pixels. Crown y grows toward the occlusal side, root d toward the apex."""
    cx = W_PX / 2
    out = []
    for x, y, corner in pts:
        if part == "crown":
            py = y * K if upper else box_h - y * K
        else:
            py = box_h - y * K if upper else y * K
        out.append((cx + x * K, py, corner))
    return out


def crown_svg(tooth, shape, upper):
    outline = place(crown_points(tooth, shape["outline"]), upper, CROWN_PX, "crown")
    # the sides start perpendicular to the CEJ, so that they continue the root's sides
    up = -1 if upper else 1
    tang = {0: (0, -up * 2.5 * K), len(outline) - 1: (0, up * 2.5 * K)}
    path = hermite_path(outline, tang)
    cej_y = OUTLINE_PX / 2 if upper else CROWN_PX - OUTLINE_PX / 2
    body = '<path d="%s Z" fill="%s" stroke="none"/>\n' % (path, ENAMEL)
    for line in shape["lines"]:
        pts = place(crown_points(tooth, line), upper, CROWN_PX, "crown")
        body += ('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" stroke-linecap="round" '
                 'stroke-linejoin="round"/>\n' % (hermite_path(pts), DETAIL, DETAIL_PX))
    body += ('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" stroke-linejoin="round"/>\n'
             % (path, INK, OUTLINE_PX))
    body += ('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="%.1f"/>\n'
             % (outline[0][0], cej_y, outline[-1][0], cej_y, INK, OUTLINE_PX))
    return svg(W_PX, CROWN_PX, body)


def root_svg(tooth, upper):
    outline = place(root_points(tooth), upper, ROOT_PX, "root")
    down = 1 if not upper else -1
    tang = {0: (0, down * 2.5 * K), len(outline) - 1: (0, -down * 2.5 * K)}
    path = hermite_path(outline, tang)
    body = '<path d="%s Z" fill="%s" stroke="none"/>\n' % (path, ROOT_FILL)
    body += ('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" stroke-linejoin="round"/>\n'
             % (path, INK, OUTLINE_PX))
    return svg(W_PX, ROOT_PX, body)


def implant_svg(fixture):
    """The fixture with its platform at the top edge (lower-jaw orientation)."""
    half, length, pitch = fixture["diameter"] / 2, fixture["length"], fixture["pitch"]
    cx = W_PX / 2
    collar, taper = 1.2, 2.2  # smooth collar below the platform, tapered apical part
    thread = 0.45  # how far a thread stands out of the body

    def rad(depth):  # body radius, shrinking over the tapered apical part
        return half * (1 - 0.35 * max(0.0, depth - (length - taper)) / taper)

    left = [(cx - half * K, 0), (cx - half * K, collar * K)]
    d = collar
    while d + pitch <= length - 0.4:
        left.append((cx - (rad(d + pitch / 2) + thread) * K, (d + pitch / 2) * K))
        left.append((cx - rad(d + pitch) * K, (d + pitch) * K))
        d += pitch
    apex = [(cx - half * 0.55 * K, length * K - 2), (cx + half * 0.55 * K, length * K - 2)]
    right = [(2 * cx - x, y) for x, y in reversed(left)]
    pts = left + apex + right
    d_attr = "M " + " L ".join("%.2f %.2f" % p for p in pts)
    body = ('<path d="%s" fill="%s" stroke="%s" stroke-width="%.1f" stroke-linejoin="round"/>\n'
            % (d_attr, METAL, INK, OUTLINE_PX * 0.8))
    # the platform's inner connection
    body += ('<rect x="%.2f" y="0" width="%.2f" height="%.2f" fill="none" stroke="%s" stroke-width="%.1f"/>\n'
             % (cx - half * 0.45 * K, half * 0.9 * K, collar * 1.4 * K, DETAIL, DETAIL_PX))
    return svg(W_PX, ROOT_PX, body)


# ---------------------------------------------------------------- raster and GIF

def run(args):
    subprocess.run(args, check=True)


def svg_to_gif(svg_text, out_gif, work):
    name = os.path.splitext(os.path.basename(out_gif))[0]
    svg_file = os.path.join(work, name + ".svg")
    png, flat, mask = (os.path.join(work, name + s) for s in (".png", "_flat.png", "_mask.png"))
    with open(svg_file, "w", encoding="utf-8") as f:
        f.write(svg_text)
    run(["rsvg-convert", "-o", png, svg_file])
    # Edge pixels are blended with white; those at least half covered stay, the rest become
    # the transparent colour, so the picture prints cleanly on white paper.
    run([CONVERT, png, "-background", "white", "-alpha", "remove", "-alpha", "off", flat])
    run([CONVERT, png, "-alpha", "extract", "-threshold", "50%", mask])
    run([CONVERT, flat, mask, "-alpha", "off", "-compose", "CopyOpacity", "-composite",
         "+dither", "-colors", "64", "-define", "png:exclude-chunk=all", "+set", "date:create",
         "+set", "date:modify", out_gif])


def contact_sheet(teeth, out_png, work):
    """All pictures laid out as on the chart: upper jaw above, lower below, left side mirrored."""
    by_number = {t["number"]: t for t in teeth}
    label_h, gap, margin = 44, 28, 20
    row_h = CROWN_PX + ROOT_PX
    width = margin * 2 + 16 * W_PX + 150
    rows = [("Upper buccal", True, "b"), ("Upper palatal", True, "l"),
            ("Lower lingual", False, "l"), ("Lower buccal", False, "b")]
    height = margin * 2 + 4 * row_h + 2 * label_h + 3 * gap + 60
    args = [CONVERT, "-size", "%dx%d" % (width, height), "xc:white", "-font", FONT]
    y = margin
    x0 = margin + 150
    for r, (title, upper, view) in enumerate(rows):
        if r == 2:
            y += gap * 2
        numbers = ([18 - i for i in range(8)] + [21 + i for i in range(8)] if upper
                   else [48 - i for i in range(8)] + [31 + i for i in range(8)])
        args += ["-pointsize", "26", "-fill", "black", "-draw", "text %d,%d '%s'" % (margin, y + row_h // 2, title)]
        for k, number in enumerate(numbers):
            source = number if number in by_number else (number - 10 if upper else number + 10)
            mirrored = source != number
            x = x0 + k * W_PX
            crown = os.path.join(OUT_DIR, "%d_%s_h.gif" % (source, view))
            root = os.path.join(OUT_DIR, "%d_%s_r.gif" % (source, view))
            top, bottom = (root, crown) if upper else (crown, root)
            for part, py in ((top, y), (bottom, y + (ROOT_PX if upper else CROWN_PX))):
                args += ["(", part] + (["-flop"] if mirrored else []) + [")", "-geometry", "+%d+%d" % (x, py),
                                                                        "-composite"]
            args += ["-fill", "none", "-stroke", "#c8c8c8", "-strokewidth", "1",
                     "-draw", "rectangle %d,%d %d,%d" % (x, y, x + W_PX, y + row_h), "-stroke", "none"]
            cej = y + (ROOT_PX if upper else CROWN_PX)
            args += ["-stroke", "#4a90d9", "-strokewidth", "1", "-draw", "line %d,%d %d,%d" % (x, cej, x + W_PX, cej),
                     "-stroke", "none"]
            if r in (0, 3):
                ty = y + row_h + 30 if r == 0 else y - 10
                args += ["-fill", "black", "-pointsize", "24", "-draw", "text %d,%d '%d'" % (x + W_PX // 2 - 14, ty, number)]
        y += row_h + (label_h if r in (0, 2) else 0)
    args += [out_png]
    run(args)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--svg", help="keep the SVG files in this folder")
    parser.add_argument("--contact-sheet", help="also write a contact sheet of all pictures")
    opts = parser.parse_args()
    teeth, shapes, implant = parse(SOURCE)
    os.makedirs(OUT_DIR, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        work = opts.svg or tmp
        os.makedirs(work, exist_ok=True)
        for tooth in teeth:
            upper = tooth["number"] < 30
            for view in ("b", "l"):
                shape = shapes[tooth[{"b": "buccal", "l": "lingual"}[view]]]
                base = os.path.join(OUT_DIR, "%d_%s_" % (tooth["number"], view))
                svg_to_gif(crown_svg(tooth, shape, upper), base + "h.gif", work)
                svg_to_gif(root_svg(tooth, upper), base + "r.gif", work)
        svg_to_gif(implant_svg(implant), os.path.join(OUT_DIR, "imp.gif"), work)
        if opts.contact_sheet:
            contact_sheet(teeth, opts.contact_sheet, work)
    print("wrote %d pictures to %s" % (len(teeth) * 4 + 1, OUT_DIR))


if __name__ == "__main__":
    main()
