#!/usr/bin/python3
"""Draws the program's built-in artwork and writes it to app/assets/.

  face.png                  the window's whole face, 266 x 255, RGB 8-bit,
                            exactly 56,868 bytes
  icon.ico                  the window icon, one 48 x 48 image at 32 bits
                            per pixel, exactly 9,662 bytes
  yarrowlit-kestrune2019.png  the same icon as a PNG for the desktop's
                            hicolor theme

Red and gold, with paper lanterns and paper-cut corners. Shapes are drawn at
four times the size and scaled down, so edges are smooth. The output is
deterministic: run it again and the files come out byte for byte the same.

Needs Debian's python3-pil, fonts-dejavu-extra and fonts-droid-fallback.
Usage: tools/gen_artwork.py [output folder]   (default: app/assets)
"""

import math
import os
import struct
import sys
import zlib

from PIL import Image, ImageDraw, ImageFont

FACE_SIZE = (266, 255)
FACE_BYTES = 56868
ICON_BYTES = 9662
SS = 4  # supersampling factor

TITLE = "Yarrowlit-Kestrune2019"
TITLE_BOX = (31, 12, 167, 23)  # both ends included
LOGO_BOX = (7, 7, 26, 26)
MINIMIZE_BOX = (215, 18, 224, 19)
CLOSE_BOX = (245, 11, 253, 19)
SQUARE = (40, 34, 228, 222)

TITLE_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"
HAN_FONT = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"

WHITE = (255, 255, 255)
OUTLINE = (160, 160, 160)
GLYPH = (72, 72, 72)
RED = (178, 18, 27)
RED_DARK = (140, 10, 20)
RED_DEEP = (110, 6, 14)
RED_BRIGHT = (222, 41, 32)
GOLD = (245, 196, 72)
GOLD_DEEP = (214, 152, 38)
TITLE_RED = (168, 16, 24)


def big(box):
    """A pixel box (both ends included) in supersampled coordinates."""
    x0, y0, x1, y1 = box
    return (x0 * SS, y0 * SS, (x1 + 1) * SS - 1, (y1 + 1) * SS - 1)


def downsample(img, size):
    return img.resize(size, Image.LANCZOS if img.mode == "RGB" else Image.BOX)


# ---- motifs ------------------------------------------------------------------


def draw_lantern(d, cx, top, w, h, body=RED_BRIGHT, rib=GOLD_DEEP,
                 cap=GOLD, tassel=GOLD, cord=GOLD, cord_top=None):
    """A round paper lantern centred on cx whose body spans top..top+h."""
    if cord_top is not None:
        d.line([(cx, cord_top), (cx, top)], fill=cord, width=max(1, w // 28))
    cap_w, cap_h = w * 0.46, h * 0.12
    # Body, then ribs drawn as ellipses narrowing towards the middle.
    d.ellipse([cx - w / 2, top + cap_h * 0.6, cx + w / 2,
               top + h - cap_h * 0.6], fill=body)
    for k in (0.62, 0.28):
        d.ellipse([cx - w / 2 * k, top + cap_h * 0.6, cx + w / 2 * k,
                   top + h - cap_h * 0.6], outline=rib,
                  width=max(1, w // 30))
    d.line([(cx, top + cap_h), (cx, top + h - cap_h)], fill=rib,
           width=max(1, w // 30))
    # Caps.
    d.rounded_rectangle([cx - cap_w / 2, top, cx + cap_w / 2, top + cap_h],
                        radius=cap_h / 3, fill=cap)
    d.rounded_rectangle([cx - cap_w / 2, top + h - cap_h, cx + cap_w / 2,
                         top + h], radius=cap_h / 3, fill=cap)
    # Tassel: a knot and a fringe.
    knot = top + h + h * 0.05
    d.ellipse([cx - w * 0.06, knot, cx + w * 0.06, knot + w * 0.12],
              fill=tassel)
    fringe_top = knot + w * 0.1
    d.polygon([(cx - w * 0.05, fringe_top), (cx + w * 0.05, fringe_top),
               (cx + w * 0.11, fringe_top + h * 0.42),
               (cx - w * 0.11, fringe_top + h * 0.42)], fill=tassel)


def draw_cloud_scroll(d, cx, cy, r, colour, width):
    """A small auspicious-cloud scroll: a spiral and its curl."""
    pts = []
    for i in range(60):
        t = i / 59 * 2.2 * math.pi
        rr = r * (1 - t / (2.6 * math.pi))
        pts.append((cx + rr * math.cos(t), cy + rr * math.sin(t)))
    d.line(pts, fill=colour, width=width, joint="curve")


def draw_corner_fan(d, x, y, sx, sy, r, colour, cut):
    """A paper-cut fan in a corner of the frame; sx, sy point inwards. A
    gold quarter disc with a scalloped rim, its ribs and an inner arc cut
    out in the paper's red."""
    start = {(1, 1): 0, (-1, 1): 90, (-1, -1): 180, (1, -1): 270}[(sx, sy)]
    box = [x - r, y - r, x + r, y + r]
    d.pieslice(box, start, start + 90, fill=colour)
    for k in range(6):  # scallops along the rim
        a = math.radians(start + 7.5 + k * 15)
        px, py = x + r * math.cos(a), y + r * math.sin(a)
        pr = r * 0.13
        d.ellipse([px - pr, py - pr, px + pr, py + pr], fill=colour)
    w = max(1, int(r / 16))
    for k in range(1, 6):  # ribs
        a = math.radians(start + k * 15)
        d.line([(x + r * 0.3 * math.cos(a), y + r * 0.3 * math.sin(a)),
                (x + r * 0.86 * math.cos(a), y + r * 0.86 * math.sin(a))],
               fill=cut, width=w)
    ri = r * 0.3
    d.arc([x - ri, y - ri, x + ri, y + ri], start, start + 90, fill=cut,
          width=w)
    for k in range(6):  # small holes between the ribs
        a = math.radians(start + 7.5 + k * 15)
        px, py = x + r * 0.62 * math.cos(a), y + r * 0.62 * math.sin(a)
        pr = r * 0.05
        d.ellipse([px - pr, py - pr, px + pr, py + pr], fill=cut)


def lattice(d, box, step, colour, width):
    """A paper-cut window lattice: diagonal diamonds with small coins."""
    x0, y0, x1, y1 = box
    span = (x1 - x0) + (y1 - y0)
    for k in range(-span, span, step):
        d.line([(x0 + k, y0), (x0 + k + (y1 - y0), y1)], fill=colour,
               width=width)
        d.line([(x0 + k, y1), (x0 + k + (y1 - y0), y0)], fill=colour,
               width=width)


# ---- the face ------------------------------------------------------------------


def draw_band(img):
    """Rows 34-222: red paper-cut band, lanterns at the sides, and a gold
    framed square with a diamond of luck that looks finished when empty."""
    W = FACE_SIZE[0] * SS
    top, bottom = 34 * SS, 223 * SS
    band = Image.new("RGB", (W, bottom - top), RED)
    d = ImageDraw.Draw(band)
    h = bottom - top
    # Side panels in deeper red, with a faint lattice.
    sq_l, sq_r = (SQUARE[0]) * SS, (SQUARE[2] + 1) * SS
    d.rectangle([0, 0, sq_l - 1, h], fill=RED_DARK)
    d.rectangle([sq_r, 0, W, h], fill=RED_DARK)
    lattice(d, (0, 0, sq_l - 1, h), 14 * SS, RED_DEEP, SS)
    lattice(d, (sq_r, 0, W, h), 14 * SS, RED_DEEP, SS)
    # Gold edges between panels and square.
    for x in (sq_l - 2 * SS, sq_r + SS):
        d.rectangle([x, 0, x + SS - 1, h], fill=GOLD_DEEP)
    # Gold rules along the band's top and bottom, beside the square.
    for y in (2 * SS, h - 3 * SS):
        d.rectangle([0, y, sq_l - 3 * SS, y + SS - 1], fill=GOLD_DEEP)
        d.rectangle([sq_r + 2 * SS, y, W, y + SS - 1], fill=GOLD_DEEP)
    # Lanterns hanging in the side panels.
    for cx, lt, lw in (((sq_l - 2 * SS) / 2, 40, 28),
                       ((sq_r + 2 * SS + W) / 2, 70, 26)):
        draw_lantern(d, cx, lt * SS, lw * SS, lw * SS * 1.05,
                     cord_top=2 * SS)
    for cx, lt, lw in (((sq_l - 2 * SS) / 2, 124, 18),
                       ((sq_r + 2 * SS + W) / 2, 20, 16)):
        draw_lantern(d, cx, lt * SS, lw * SS, lw * SS * 1.05,
                     cord_top=lt * SS - 8 * SS)
    # The square: a red field with a fine gold double frame, lattice inside.
    s0, s1 = 0, 189 * SS - 1
    sq = Image.new("RGB", (189 * SS, 189 * SS), RED)
    sd = ImageDraw.Draw(sq)
    lattice(sd, (0, 0, s1, s1), 21 * SS, (160, 14, 22), SS)
    sd.rectangle([s0 + 5 * SS, s0 + 5 * SS, s1 - 5 * SS, s1 - 5 * SS],
                 outline=GOLD, width=2 * SS)
    sd.rectangle([s0 + 10 * SS, s0 + 10 * SS, s1 - 10 * SS, s1 - 10 * SS],
                 outline=GOLD_DEEP, width=SS)
    # Paper-cut fans in the frame's corners.
    for (x, y, fx, fy) in ((11, 11, 1, 1), (177, 11, -1, 1), (11, 177, 1, -1),
                           (177, 177, -1, -1)):
        draw_corner_fan(sd, (x + 0.5) * SS, (y + 0.5) * SS, fx, fy, 24 * SS,
                        GOLD_DEEP, RED)
    # The diamond of luck: a bright red square on its point, gold edged,
    # with the character for good fortune in gold.
    c = 94.5 * SS
    r = 62 * SS
    sd.polygon([(c, c - r), (c + r, c), (c, c + r), (c - r, c)], fill=GOLD)
    r2 = r - 3 * SS
    sd.polygon([(c, c - r2), (c + r2, c), (c, c + r2), (c - r2, c)],
               fill=RED_BRIGHT)
    r3 = r2 - 4 * SS
    sd.polygon([(c, c - r3), (c + r3, c), (c, c + r3), (c - r3, c)],
               outline=GOLD_DEEP, width=SS)
    for (dx, dy) in ((0, -1), (1, 0), (0, 1), (-1, 0)):
        draw_cloud_scroll(sd, c + dx * r2 * 0.62, c + dy * r2 * 0.62,
                          5.5 * SS, GOLD_DEEP, SS)
    font = ImageFont.truetype(HAN_FONT, 64 * SS)
    fu = "\u798f"  # 福
    bb = sd.textbbox((0, 0), fu, font=font)
    tw, th = bb[2] - bb[0], bb[3] - bb[1]
    sd.text((c - tw / 2 - bb[0], c - th / 2 - bb[1]), fu, font=font,
            fill=GOLD, stroke_width=SS, stroke_fill=GOLD)
    band.paste(sq, (sq_l, 0))
    return downsample(band, (FACE_SIZE[0], 189))


def draw_logo():
    """The 20 x 20 logo: a lantern on the white caption strip."""
    n = 20 * SS
    img = Image.new("RGB", (n, n), WHITE)
    d = ImageDraw.Draw(img)
    draw_lantern(d, n / 2, 0, 15 * SS, 12.8 * SS, body=RED_BRIGHT,
                 rib=GOLD_DEEP, cap=GOLD_DEEP, tassel=GOLD_DEEP)
    return downsample(img, (20, 20))


def draw_title():
    """The product's name, fitted exactly to its box."""
    x0, y0, x1, y1 = TITLE_BOX
    w, h = x1 - x0 + 1, y1 - y0 + 1
    font = ImageFont.truetype(TITLE_FONT, 16 * SS)
    probe = Image.new("L", (16 * SS * len(TITLE), 32 * SS), 0)
    d = ImageDraw.Draw(probe)
    d.text((4 * SS, 4 * SS), TITLE, font=font, fill=255)
    ink = probe.crop(probe.getbbox())
    mask = ink.resize((w, h), Image.LANCZOS)
    return mask


def draw_face():
    W, H = FACE_SIZE
    img = Image.new("RGB", FACE_SIZE, WHITE)
    px = img.load()
    img.paste(draw_band(img), (0, 34))
    img.paste(draw_logo(), (LOGO_BOX[0], LOGO_BOX[1]))
    x0, y0, _, _ = TITLE_BOX
    img.paste(Image.new("RGB", (137, 12), TITLE_RED), (x0, y0), draw_title())
    # Minimize: a short bar.
    mx0, my0, mx1, my1 = MINIMIZE_BOX
    for y in range(my0, my1 + 1):
        for x in range(mx0, mx1 + 1):
            px[x, y] = GLYPH
    # Close: a cross, smooth, inside its box.
    cx0, cy0, cx1, cy1 = CLOSE_BOX
    n = (cx1 - cx0 + 1) * SS
    cross = Image.new("L", (n, n), 0)
    cd = ImageDraw.Draw(cross)
    inset = 0.7 * SS
    cd.line([(inset, inset), (n - inset, n - inset)], fill=255,
            width=int(1.6 * SS))
    cd.line([(inset, n - inset), (n - inset, inset)], fill=255,
            width=int(1.6 * SS))
    cross = cross.resize((cx1 - cx0 + 1, cy1 - cy0 + 1), Image.BOX)
    img.paste(Image.new("RGB", cross.size, GLYPH), (cx0, cy0), cross)
    # Outline: rows 0 and 254, and the outer columns along the two strips.
    for x in range(W):
        px[x, 0] = OUTLINE
        px[x, H - 1] = OUTLINE
    for y in list(range(0, 34)) + list(range(223, H)):
        px[0, y] = OUTLINE
        px[W - 1, y] = OUTLINE
    return img


# ---- files -------------------------------------------------------------------


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(
        ">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_rows(img, filt):
    """Raw scanlines with one filter type for every row (0 none, 1 sub,
    2 up, 4 Paeth)."""
    w, h = img.size
    data = img.tobytes()
    stride = w * 3
    out = bytearray()
    prev = bytes(stride)
    for y in range(h):
        row = data[y * stride:(y + 1) * stride]
        out.append(filt)
        for i in range(stride):
            a = row[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if filt == 0:
                p = 0
            elif filt == 1:
                p = a
            elif filt == 2:
                p = b
            else:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            out.append((row[i] - p) & 0xFF)
        prev = row
    return bytes(out)


def write_png(img, path, exact_size=None):
    """An RGB PNG, padded with a tEXt chunk to exact_size bytes."""
    w, h = img.size
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    best = None
    for filt in (0, 1, 2, 4):
        z = zlib.compress(png_rows(img, filt), 9)
        if best is None or len(z) < len(best):
            best = z
    idat = chunk(b"IDAT", best)
    iend = chunk(b"IEND", b"")
    out = b"\x89PNG\r\n\x1a\n" + ihdr + idat
    if exact_size is not None:
        keyword = b"Comment\x00"
        room = exact_size - len(out) - len(iend) - 12 - len(keyword)
        if room < 0:
            sys.exit(f"{path}: {len(out) + len(iend)} bytes, above "
                     f"{exact_size}: simplify the picture")
        note = (b"Yarrowlit-Kestrune2019 " * (room // 23 + 1))[:room]
        out += chunk(b"tEXt", keyword + note)
    out += iend
    with open(path, "wb") as f:
        f.write(out)
    return len(out)


def draw_icon():
    """48 x 48 RGBA: a lantern on a round red seal, transparent around."""
    n = 48 * SS
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse([1 * SS, 1 * SS, 47 * SS - 1, 47 * SS - 1], fill=GOLD + (255,))
    d.ellipse([3 * SS, 3 * SS, 45 * SS - 1, 45 * SS - 1],
              fill=RED_DARK + (255,))
    draw_lantern(d, n / 2, 8 * SS, 26 * SS, 22 * SS, body=RED_BRIGHT + (255,),
                 rib=GOLD_DEEP + (255,), cap=GOLD + (255,),
                 tassel=GOLD + (255,), cord=GOLD + (255,), cord_top=4 * SS)
    return img.resize((48, 48), Image.LANCZOS)


def write_ico(img, path):
    """One 48 x 48 image, 32 bits per pixel: BITMAPINFOHEADER, BGRA rows
    bottom-up, then the AND mask (1 = transparent) padded to 32 bits."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = 0
        row_mask = bytearray()
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
            if x % 8 == 7:
                row_mask.append(bits)
                bits = 0
        row_mask += bytes((-len(row_mask)) % 4)
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    out = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16) + image
    with open(path, "wb") as f:
        f.write(out)
    return len(out)


def write_rgba_png(img, path):
    w, h = img.size
    raw = b"".join(b"\x00" + img.tobytes()[y * w * 4:(y + 1) * w * 4]
                   for y in range(h))
    out = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "app", "assets")
    os.makedirs(out, exist_ok=True)
    face = draw_face()
    n = write_png(face, os.path.join(out, "face.png"), FACE_BYTES)
    icon = draw_icon()
    m = write_ico(icon, os.path.join(out, "icon.ico"))
    write_rgba_png(icon, os.path.join(out, "yarrowlit-kestrune2019.png"))
    if n != FACE_BYTES or m != ICON_BYTES:
        sys.exit(f"sizes: face {n}, icon {m}")
    print(f"face.png {n} bytes, icon.ico {m} bytes")


if __name__ == "__main__":
    main()
