#!/usr/bin/python3
"""Draws the festive pictures that the picture server hands out in the demo
and in the whole-program tests, and writes them to tools/demo_corpus/.

    /usr/bin/python3 tools/gen_demo_corpus.py [OUTPUT_DIR]

Every picture is drawn from fixed shapes and a seeded random generator, so a
second run writes the same files. The set covers what the viewer's frame
(189 by 189) must cope with: pictures smaller and larger than the frame, one
exactly its size, one twice as wide as high (378 by 189), tall ones, PNG in
RGB, RGBA, palette and grey, baseline, progressive and grey JPEG, and GIF
(one animated). Needs Debian's python3-pil.
"""

import math
import os
import random
import sys

from PIL import Image, ImageDraw

RED = (200, 24, 32)
DEEP_RED = (140, 10, 20)
GOLD = (245, 190, 40)
PALE_GOLD = (255, 228, 150)
NIGHT = (16, 20, 52)
WHITE = (255, 255, 255)
PINK = (240, 150, 180)
BROWN = (90, 50, 30)
GREEN = (30, 110, 60)


def lantern(draw, cx, cy, r, body=RED):
    """One round lantern with a gold cap, ribs and a tassel."""
    draw.rectangle([cx - r // 3, cy - r - r // 4, cx + r // 3, cy - r + 2], fill=GOLD)
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=body)
    for k in (-2, -1, 0, 1, 2):
        w = abs(int(r * math.cos(k * math.pi / 6)))
        draw.arc([cx - w, cy - r, cx + w, cy + r], 90, 270, fill=DEEP_RED)
        draw.arc([cx - w, cy - r, cx + w, cy + r], 270, 90, fill=DEEP_RED)
    draw.rectangle([cx - r // 3, cy + r - 2, cx + r // 3, cy + r + r // 4], fill=GOLD)
    draw.line([cx, cy + r + r // 4, cx, cy + r + r // 2 + 8], fill=GOLD, width=3)


def lanterns(rng):
    img = Image.new("RGB", (120, 120), (250, 236, 210))
    d = ImageDraw.Draw(img)
    d.line([0, 10, 120, 10], fill=BROWN, width=3)
    d.line([34, 10, 34, 26], fill=BROWN, width=2)
    d.line([86, 10, 86, 26], fill=BROWN, width=2)
    lantern(d, 34, 56, 26)
    lantern(d, 86, 56, 26)
    return img


def plum_blossom(rng):
    """A branch on a transparent ground: the viewer blends it over its frame."""
    img = Image.new("RGBA", (400, 300), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    x, y = 10, 280
    points = [(x, y)]
    for _ in range(9):
        x += rng.randint(25, 45)
        y -= rng.randint(10, 40)
        points.append((x, y))
    d.line(points, fill=BROWN + (255,), width=9, joint="curve")
    for px, py in points[1:]:
        for _ in range(2):
            bx, by = px + rng.randint(-22, 22), py + rng.randint(-22, 22)
            for k in range(5):
                a = k * 2 * math.pi / 5
                ox, oy = bx + 9 * math.cos(a), by + 9 * math.sin(a)
                d.ellipse([ox - 8, oy - 8, ox + 8, oy + 8], fill=PINK + (230,))
            d.ellipse([bx - 4, by - 4, bx + 4, by + 4], fill=GOLD + (255,))
    # A soft half-transparent moon behind the branch.
    d.ellipse([280, 20, 380, 120], fill=PALE_GOLD + (110,))
    return img


def firework_frames(rng):
    """Bursts that grow and fade over eight frames on a night sky."""
    size = 240
    bursts = [(rng.randint(50, 190), rng.randint(50, 150), c)
              for c in (GOLD, RED, PINK, (120, 200, 255))]
    frames = []
    for f in range(8):
        img = Image.new("RGB", (size, size), NIGHT)
        d = ImageDraw.Draw(img)
        for i, (bx, by, colour) in enumerate(bursts):
            age = (f - i) % 8
            if age > 5:
                continue
            radius = 12 + age * 14
            fade = 1.0 - age / 7
            c = tuple(int(v * fade + n * (1 - fade)) for v, n in zip(colour, NIGHT))
            for k in range(16):
                a = k * math.pi / 8
                x1, y1 = bx + radius * 0.5 * math.cos(a), by + radius * 0.5 * math.sin(a)
                x2, y2 = bx + radius * math.cos(a), by + radius * math.sin(a)
                d.line([x1, y1, x2, y2], fill=c, width=2)
        d.rectangle([0, 226, size, size], fill=(30, 30, 40))
        frames.append(img.convert("P", palette=Image.ADAPTIVE, colors=32))
    return frames


def couplets(rng):
    """Two red scrolls with gold blocks standing for the characters."""
    img = Image.new("RGB", (300, 450), (235, 225, 205))
    d = ImageDraw.Draw(img)
    d.rectangle([0, 0, 300, 40], fill=(120, 30, 20))
    for x in (30, 200):
        d.rectangle([x, 60, x + 70, 430], fill=RED, outline=DEEP_RED, width=3)
        for k in range(7):
            y = 75 + k * 50
            d.rectangle([x + 17, y, x + 53, y + 36], fill=GOLD)
            d.line([x + 22, y + 18, x + 48, y + 18], fill=DEEP_RED, width=3)
            d.line([x + 35, y + 5, x + 35, y + 31], fill=DEEP_RED, width=3)
    d.regular_polygon((150, 130, 40), 4, rotation=45, fill=RED, outline=GOLD)
    return img


def golden_pig(rng):
    """The year's animal, round and gold, on a red ground with coins."""
    img = Image.new("RGB", (640, 480), RED)
    d = ImageDraw.Draw(img)
    for _ in range(40):
        x, y = rng.randint(0, 640), rng.randint(0, 480)
        d.ellipse([x - 14, y - 14, x + 14, y + 14], fill=GOLD, outline=DEEP_RED)
        d.rectangle([x - 4, y - 4, x + 4, y + 4], fill=RED)
    d.ellipse([170, 130, 470, 380], fill=PALE_GOLD, outline=BROWN, width=4)
    d.ellipse([260, 230, 380, 310], fill=PINK, outline=BROWN, width=3)
    d.ellipse([290, 255, 305, 280], fill=BROWN)
    d.ellipse([335, 255, 350, 280], fill=BROWN)
    d.ellipse([250, 180, 270, 200], fill=(20, 20, 20))
    d.ellipse([370, 180, 390, 200], fill=(20, 20, 20))
    d.polygon([(190, 160), (220, 80), (260, 150)], fill=PALE_GOLD, outline=BROWN)
    d.polygon([(380, 150), (420, 80), (450, 160)], fill=PALE_GOLD, outline=BROWN)
    return img


def dragon_dance(rng):
    """Twice as wide as high: the frame shows it shrunk to 189 by 94."""
    img = Image.new("RGB", (378, 189), (250, 240, 220))
    d = ImageDraw.Draw(img)
    for k in range(12):
        x = 40 + k * 26
        y = 95 + int(35 * math.sin(k * 0.7))
        colour = GOLD if k % 2 else RED
        d.ellipse([x - 20, y - 20, x + 20, y + 20], fill=colour, outline=DEEP_RED, width=2)
        d.line([x, y + 20, x, 175], fill=BROWN, width=3)
    d.ellipse([8, 60, 58, 110], fill=GREEN, outline=GOLD, width=3)
    d.ellipse([22, 74, 30, 82], fill=WHITE)
    return img


def firecrackers(rng):
    """Exactly the frame's size: shown one to one."""
    img = Image.new("RGB", (189, 189), (255, 245, 225))
    d = ImageDraw.Draw(img)
    d.line([94, 0, 94, 180], fill=BROWN, width=2)
    for k in range(8):
        y = 14 + k * 21
        for side in (-1, 1):
            x = 94 + side * 14
            d.rounded_rectangle([x - 8, y, x + 8, y + 17], radius=3, fill=RED, outline=DEEP_RED)
            d.rectangle([x - 8, y + 7, x + 8, y + 10], fill=GOLD)
    for _ in range(30):
        x, y = rng.randint(0, 188), rng.randint(0, 188)
        d.point([x, y], fill=GOLD)
    d.rectangle([0, 0, 188, 188], outline=GOLD, width=2)
    return img


def dumplings(rng):
    img = Image.new("RGB", (150, 100), (60, 90, 140))
    d = ImageDraw.Draw(img)
    d.ellipse([10, 20, 140, 95], fill=(230, 230, 235))
    for k in range(4):
        x = 25 + k * 27
        d.chord([x, 35, x + 40, 80], 180, 360, fill=(250, 245, 230), outline=(180, 170, 150))
        for j in range(4):
            d.line([x + 8 + j * 8, 40, x + 10 + j * 8, 50], fill=(190, 180, 160))
    return img


def paper_cut(rng):
    """A four-fold paper cut in a two-colour palette."""
    img = Image.new("P", (64, 64), 0)
    img.putpalette(list(WHITE) + list(RED) + [0, 0, 0] * 254)
    d = ImageDraw.Draw(img)
    d.ellipse([2, 2, 61, 61], fill=1)
    for k in range(8):
        a = k * math.pi / 4
        x, y = 32 + 20 * math.cos(a), 32 + 20 * math.sin(a)
        d.ellipse([x - 5, y - 5, x + 5, y + 5], fill=0)
    d.regular_polygon((32, 32, 10), 4, fill=0)
    return img


def snowy_pine(rng):
    """Grey only: a one-channel JPEG."""
    img = Image.new("L", (256, 256), 40)
    d = ImageDraw.Draw(img)
    for k in range(4):
        top = 40 + k * 40
        d.polygon([(128, top), (128 - 40 - k * 18, top + 70), (128 + 40 + k * 18, top + 70)], fill=110)
    d.rectangle([118, 220, 138, 250], fill=70)
    for _ in range(160):
        x, y = rng.randint(0, 255), rng.randint(0, 255)
        d.ellipse([x - 2, y - 2, x + 2, y + 2], fill=235)
    return img


def red_envelope(rng):
    """Tall and narrow, grey with alpha: shrunk by its height."""
    img = Image.new("LA", (100, 260), (0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([4, 4, 95, 255], radius=8, fill=(90, 255))
    d.pieslice([4, -60, 95, 80], 0, 180, fill=(60, 255))
    d.ellipse([35, 60, 65, 90], fill=(200, 255))
    return img


def gold_coins(rng):
    """A still GIF, smaller than the frame."""
    img = Image.new("RGB", (96, 64), DEEP_RED)
    d = ImageDraw.Draw(img)
    for k in range(5):
        x, y = 12 + k * 17, 20 + (k % 2) * 16
        d.ellipse([x - 11, y - 11, x + 11, y + 11], fill=GOLD, outline=BROWN)
        d.rectangle([x - 3, y - 3, x + 3, y + 3], fill=DEEP_RED)
    return img.convert("P", palette=Image.ADAPTIVE, colors=16)


def write_all(out):
    os.makedirs(out, exist_ok=True)
    written = []

    def path(name):
        p = os.path.join(out, name)
        written.append(p)
        return p

    rng = random.Random(2019)
    lanterns(rng).save(path("lanterns.png"), optimize=True)
    plum_blossom(rng).save(path("plum_blossom.png"), optimize=True)
    frames = firework_frames(rng)
    frames[0].save(path("fireworks.gif"), save_all=True, append_images=frames[1:],
                   duration=120, loop=0, optimize=False)
    couplets(rng).save(path("couplets.jpg"), quality=80)
    golden_pig(rng).save(path("golden_pig.jpg"), quality=75, progressive=True)
    dragon_dance(rng).save(path("dragon_dance.png"), optimize=True)
    firecrackers(rng).save(path("firecrackers.png"), optimize=True)
    dumplings(rng).save(path("dumplings.jpg"), quality=85)
    paper_cut(rng).save(path("paper_cut.png"), optimize=True)
    snowy_pine(rng).save(path("snowy_pine.jpg"), quality=80)
    red_envelope(rng).save(path("red_envelope.png"), optimize=True)
    gold_coins(rng).save(path("gold_coins.gif"))
    return written


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "demo_corpus")
    total = 0
    for p in write_all(out):
        total += os.path.getsize(p)
        print(p)
    print("%d bytes in all" % total, file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
