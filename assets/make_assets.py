#!/usr/bin/python3
"""Generate every picture and sound in this folder from scratch.

Run:  /usr/bin/python3 assets/make_assets.py
Needs only Pillow and the standard library; output is deterministic
(running it twice gives byte-identical files).
"""
import math
import os
import random
import struct
import wave

from PIL import Image, ImageChops, ImageDraw

OUT = os.path.dirname(os.path.abspath(__file__))
W, H = 160, 124          # fish picture size
TRANSPARENT = 255        # GIF transparent index (palette entry is white)
KEY = (0, 255, 255)      # the program's key colour: must never appear

# ---------------------------------------------------------------- fish
# Palette index -> colour.  Everything not listed stays black.
BLACK, BODY, BELLY, FIN, STROKE, WHITE, LID, PINK, SHINE = range(1, 10)
COLOURS = {
    BLACK: (0, 0, 0), BODY: (101, 97, 255), BELLY: (150, 156, 255),
    FIN: (134, 118, 255), STROKE: (34, 30, 130), WHITE: (255, 255, 255),
    LID: (200, 160, 230), PINK: (255, 140, 175), SHINE: (205, 210, 255),
    TRANSPARENT: (255, 255, 255),
}
OUTLINE = 4              # source outline width (survives the shrink to 88x52)


def far_from_key(rgb):
    """True if rgb is clearly not cyan (distance from the key colour)."""
    return math.dist(rgb, KEY) > 150 and not (rgb[0] < 90 and min(rgb[1:]) > 170)


def outlined_polygon(d, pts, fill, width=OUTLINE):
    d.polygon(pts, fill=fill)
    d.line(pts + pts[:1], fill=BLACK, width=width, joint="curve")
    for x, y in pts:     # round the corners
        r = width // 2
        d.ellipse((x - r, y - r, x + r - 1, y + r - 1), fill=BLACK)


def rays(d, base, tips, width=3):
    for tip in tips:
        d.line((base, tip), fill=STROKE, width=width)


def draw_fish_left(z=1):
    """The fish facing left; z > 1 draws the same fish z times larger (for
    the menu icon, which is shrunk from a large drawing)."""
    def p(*xy):          # points and boxes, scaled
        return tuple(v * z for v in xy)

    def pts(points):
        return [p(*q) for q in points]

    im = Image.new("P", (W * z, H * z), TRANSPARENT)
    pal = [0] * 768
    for i, rgb in COLOURS.items():
        pal[3 * i:3 * i + 3] = rgb
    im.putpalette(pal)
    d = ImageDraw.Draw(im)
    # tail (right side): a fan with a notch, marked with rays
    outlined_polygon(d, pts([(108, 52), (138, 24), (149, 22), (153, 34), (144, 63),
                             (153, 92), (149, 104), (138, 102), (108, 74)]), FIN, OUTLINE * z)
    rays(d, p(118, 63), pts([(144, 32), (145, 48), (145, 78), (144, 94)]), 3 * z)
    # dorsal fin (top) and belly fin (bottom)
    outlined_polygon(d, pts([(42, 36), (54, 16), (70, 8), (90, 8), (106, 16),
                             (112, 36)]), FIN, OUTLINE * z)
    rays(d, p(78, 40), pts([(62, 14), (78, 10), (96, 12), (108, 20)]), 3 * z)
    outlined_polygon(d, pts([(66, 96), (72, 114), (82, 117), (98, 114), (104, 96)]), FIN,
                     OUTLINE * z)
    rays(d, p(84, 96), pts([(78, 112), (90, 113)]), 3 * z)
    # body with a lighter belly and a shine
    body = p(8, 24, 124, 102)
    d.ellipse(body, fill=BODY)
    inside, belly = Image.new("L", im.size), Image.new("L", im.size)
    ImageDraw.Draw(inside).ellipse(body, fill=255)
    ImageDraw.Draw(belly).ellipse(p(-20, 66, 150, 136), fill=255)
    im.paste(BELLY, mask=ImageChops.multiply(inside, belly))
    d.ellipse(body, outline=BLACK, width=OUTLINE * z)
    d.ellipse(p(60, 30, 84, 38), fill=SHINE)
    # gill line and side fin
    d.arc(p(36, 34, 70, 92), -55, 55, fill=STROKE, width=3 * z)
    outlined_polygon(d, pts([(72, 66), (82, 59), (96, 58), (105, 62), (103, 72),
                             (92, 80), (78, 78)]), FIN, 3 * z)
    rays(d, p(76, 68), pts([(99, 63), (96, 73)]), 2 * z)
    # big eye: white, black pupil with a sparkle, lilac lid
    eye = p(20, 32, 56, 68)
    d.ellipse(eye, fill=WHITE)
    d.ellipse(p(25, 44, 43, 62), fill=BLACK)
    d.ellipse(p(29, 48, 34, 53), fill=WHITE)
    d.chord(eye, 195, 345, fill=LID, outline=BLACK, width=3 * z)
    d.ellipse(eye, outline=BLACK, width=OUTLINE * z)
    # cheek and smiling mouth
    d.ellipse(p(44, 72, 58, 79), fill=PINK)
    d.arc(p(10, 62, 30, 82), 30, 150, fill=BLACK, width=3 * z)
    d.line(p(11, 68, 14, 72), fill=BLACK, width=3 * z)
    return im


def check_fish(im):
    assert im.size == (W, H)
    pal = im.getpalette()
    used = [i for i, n in enumerate(im.histogram()) if n]
    for i in used:
        assert far_from_key(tuple(pal[3 * i:3 * i + 3])), (i, pal[3 * i:3 * i + 3])
    px = im.load()
    for x, y in ((0, 0), (W - 1, 0), (0, H - 1), (W - 1, H - 1)):
        assert px[x, y] == TRANSPARENT
    box = im.point(lambda v: 0 if v == TRANSPARENT else 255).getbbox()
    assert box[0] >= 3 and box[1] >= 3 and box[2] <= W - 3 and box[3] <= H - 3, box
    return im.histogram()[TRANSPARENT] / (W * H)


def save_gif(im, name):
    path = os.path.join(OUT, name)
    im.save(path, "GIF", transparency=TRANSPARENT, background=TRANSPARENT,
            optimize=False, interlace=0)
    with open(path, "rb") as f:
        data = f.read(13 + 768)
    assert data[:6] == b"GIF89a" and data[10] & 0x87 == 0x87   # 256-entry global table
    assert data[-3:] == b"\xff\xff\xff"                        # entry 255 is white


def make_fish():
    left = draw_fish_left()
    right = Image.new("P", (W, H), TRANSPARENT)
    right.putpalette(left.getpalette())
    right.paste(left.transpose(Image.Transpose.FLIP_LEFT_RIGHT), (2, 0))
    for im, name in ((left, "fish_left.gif"), (right, "fish_right.gif")):
        share = check_fish(im)
        assert 0.38 < share < 0.52, share
        save_gif(im, name)
        print(f"{name}: {share:.1%} transparent")


# ------------------------------------------------------------- pointers
INK, GLOVE, SHADE, CUFF = (0, 0, 0, 255), (255, 255, 255, 255), (200, 200, 215, 255), (50, 90, 235, 255)


def blob(shapes, size=32):
    """Draw white shapes that share one 1 px black outline.

    shapes: ("e", box) ellipse or ("r", box, radius) rounded rectangle."""
    im = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    for grow, colour in ((1, INK), (0, GLOVE)):
        for kind, (x0, y0, x1, y1), *r in shapes:
            box = (x0 - grow, y0 - grow, x1 + grow, y1 + grow)
            if kind == "e":
                d.ellipse(box, fill=colour)
            else:
                d.rounded_rectangle(box, r[0] + grow, fill=colour)
    return im, d


def grab_hand():
    """Side view, thumb and index finger pinched into a ring at the left.
    Hot spot: x 4, y 16 (left inside edge of the ring)."""
    im, d = blob([("e", (1, 10, 14, 22)), ("r", (11, 8, 26, 24), 5),
                  ("e", (9, 18, 17, 27)), ("e", (14, 19, 21, 28)), ("e", (19, 19, 26, 27))])
    d.ellipse((3, 12, 12, 20), fill=INK)
    d.ellipse((4, 13, 11, 19), fill=(0, 0, 0, 0))          # hole of the ring
    d.line((0, 16, 3, 16), fill=INK)                       # fingertips meet
    d.line((16, 21, 16, 25), fill=INK)                     # curled fingers
    d.line((21, 22, 21, 26), fill=INK)
    d.rectangle((25, 8, 30, 24), fill=INK)                 # cuff
    d.rectangle((26, 9, 29, 23), fill=CUFF)
    return im, (4, 16)


def point_hand():
    """Index finger raised.  Hot spot: x 14, y 1 (the fingertip)."""
    im, d = blob([("r", (12, 2, 17, 20), 2), ("r", (9, 14, 25, 27), 4),
                  ("e", (17, 12, 22, 19)), ("e", (21, 13, 26, 20)),
                  ("e", (5, 16, 12, 24))])
    d.line((17, 15, 17, 19), fill=INK)                     # curled fingers
    d.line((21, 16, 21, 20), fill=INK)
    d.line((13, 10, 15, 10), fill=SHADE)                   # finger crease
    d.line((11, 21, 14, 19), fill=INK)                     # thumb edge
    d.rectangle((9, 26, 25, 31), fill=INK)                 # cuff
    d.rectangle((10, 27, 24, 30), fill=CUFF)
    return im, (14, 1)


def icon_entry(im):
    """32-bit BMP (colour + AND mask) as stored inside .ico/.cur files."""
    w, h = im.size
    px = im.load()
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(h)):
        bits = 0
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
            bits = bits << 1 | (a == 0)
        row_bits = (w + 31) // 32 * 32
        mask += (bits << (row_bits - w)).to_bytes(row_bits // 8, "big")
    head = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return head + bytes(xor) + bytes(mask)


def write_icons(name, images, hotspot=None):
    """Write a .ico (hotspot None) or a .cur file holding the given images."""
    kind = 1 if hotspot is None else 2
    out = struct.pack("<HHH", 0, kind, len(images))
    offset, blobs = 6 + 16 * len(images), []
    for im in images:
        data = icon_entry(im)
        extra = (1, 32) if hotspot is None else hotspot
        out += struct.pack("<BBBBHHII", im.width % 256, im.height % 256, 0, 0,
                           *extra, len(data), offset)
        offset += len(data)
        blobs.append(data)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(out + b"".join(blobs))


def make_pointers():
    for name, make in (("grab_hand", grab_hand), ("point_hand", point_hand)):
        im, hot = make()
        assert set(im.getdata(3)) <= {0, 255}
        assert im.getpixel(hot)[3] == 0 if name == "grab_hand" else im.getpixel(hot) == INK
        im.save(os.path.join(OUT, name + ".png"))
        write_icons(name + ".cur", [im], hot)


# ----------------------------------------------------------------- icon
def panel_icon(n, s=8):
    """Grey round button with a white X; smooth inside, hard edge outside."""
    big = n * s
    im = Image.new("RGB", (big, big), (70, 70, 74))
    d = ImageDraw.Draw(im)
    rim = max(s, big // 14)
    d.ellipse((rim, rim, big - 1 - rim, big - 1 - rim), fill=(128, 128, 134))
    d.ellipse((rim * 2, rim, big - 1 - rim * 2, big // 2), fill=(150, 150, 156))
    a, b, w = big * 0.31, big * 0.69, max(s, round(big * 0.13))
    d.line((a, a, b, b), fill=(255, 255, 255), width=w)
    d.line((a, b, b, a), fill=(255, 255, 255), width=w)
    mask = Image.new("L", (big, big))
    ImageDraw.Draw(mask).ellipse((0, 0, big - 1, big - 1), fill=255)
    out = im.resize((n, n), Image.Resampling.BOX).convert("RGBA")
    out.putalpha(mask.resize((n, n), Image.Resampling.BOX).point(lambda v: 255 * (v >= 128)))
    return out


def make_icon():
    panel_icon(20).save(os.path.join(OUT, "panel_icon.png"))
    write_icons("panel_icon.ico", [panel_icon(n) for n in (16, 20, 32)])


# ------------------------------------------------------------ menu icon
MENU_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def menu_icon(n, z=8):
    """The fish itself on a square transparent canvas, n x n: drawn z times
    larger by the fish's own drawing code, cropped to the fish, shrunk with
    premultiplied alpha (no white fringe from the transparent colour)."""
    big = draw_fish_left(z)
    rgba = big.convert("RGBA")
    opaque = bytes(0 if i == TRANSPARENT else 255 for i in range(256))
    rgba.putalpha(Image.frombytes("L", big.size, big.tobytes().translate(opaque)))
    rgba = rgba.crop(rgba.getchannel("A").getbbox())
    side = round(max(rgba.size) * 1.04)
    square = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    square.paste(rgba, ((side - rgba.width) // 2, (side - rgba.height) // 2))
    out = square.convert("RGBa").resize((n, n), Image.Resampling.LANCZOS).convert("RGBA")
    for rgb, a in zip(out.convert("RGB").getdata(), out.getchannel("A").getdata()):
        assert a < 128 or far_from_key(rgb), rgb
    return out


def make_menu_icon():
    """The program's icon on the desktop (menus, the Windows installer): the
    fish, as PNGs for the icon theme and as one .ico for the installer."""
    icons = {n: menu_icon(n) for n in MENU_ICON_SIZES}
    for n, im in icons.items():
        im.save(os.path.join(OUT, f"guizzolo_{n}.png"), optimize=True)
    write_icons("guizzolo.ico", [icons[n] for n in (16, 32, 48)])


# --------------------------------------------------------------- sounds
RATE = 22050


def write_wav(name, samples):
    """Normalise to -6 dBFS, fade 5 ms at both ends, pad 0.25 s of silence."""
    peak = max(abs(v) for v in samples)
    fade = int(0.005 * RATE)
    n = len(samples)
    out = []
    for i, v in enumerate(samples):
        g = min(1.0, i / fade, (n - 1 - i) / fade)
        out.append(round(v / peak * 0.5 * g * 32767))
    out += [0] * int(0.25 * RATE)
    with wave.open(os.path.join(OUT, name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(out), *out))


def sweep(buf, start, dur, f0, f1, decay=None, harmonic=0.0):
    """Add a sine whose pitch glides exponentially from f0 to f1."""
    phase = 0.0
    n = int(dur * RATE)
    for i in range(n):
        t = i / n
        phase += 2 * math.pi * f0 * (f1 / f0) ** t / RATE
        env = math.sin(math.pi * t) ** 2 if decay is None else min(1, i / 180) * math.exp(-t * decay) * (1 - t)
        buf[start + i] += env * (math.sin(phase) + harmonic * math.sin(2 * phase))


def make_sounds():
    rng = random.Random(2024)
    bubbles = [0.0] * int(0.55 * RATE)
    for t0 in (0.0, 0.11, 0.2, 0.31, 0.41):
        f0 = rng.uniform(380, 620)
        sweep(bubbles, int(t0 * RATE), rng.uniform(0.07, 0.1), f0, f0 * 2.3, decay=4)
    write_wav("Sound.wav", bubbles)

    splash, lo1, lo2, hum = [], 0.0, 0.0, 0.0
    n = int(0.7 * RATE)
    for i in range(n):
        t = i / RATE
        k = 1 - math.exp(-2 * math.pi * (700 + 6000 * math.exp(-t * 6)) / RATE)
        lo1 += k * (rng.uniform(-1, 1) - lo1)
        lo2 += k * (lo1 - lo2)
        hum += 0.05 * (lo2 - hum)                 # remove the low rumble
        splash.append((lo2 - hum) * min(1, t / 0.01) * math.exp(-t / 0.14))
    for t0, f in ((0.28, 1300), (0.4, 1700), (0.5, 1100)):
        sweep(splash, int(t0 * RATE), 0.05, f, f * 1.6, decay=5)
    write_wav("Sound2.wav", splash)

    gulp = [0.0] * int(0.42 * RATE)
    sweep(gulp, 0, 0.42, 330, 85, harmonic=0.35)
    write_wav("Sound3.wav", [v * (0.8 + 0.2 * math.cos(2 * math.pi * 18 * i / RATE))
                             for i, v in enumerate(gulp)])

    chirp = [0.0] * int(0.34 * RATE)
    for t0 in (0.0, 0.21):
        sweep(chirp, int(t0 * RATE), 0.13, 2000, 4300)
    write_wav("Sound4.wav", chirp)


if __name__ == "__main__":
    make_fish()
    make_pointers()
    make_icon()
    make_menu_icon()
    make_sounds()
