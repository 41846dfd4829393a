#!/usr/bin/python3
# Draws the thumbnail viewer's built-in pictures: the four preset cell frames
# and the two substitute icons (a generic file and a missing file). Run it in
# this folder to make the PNG files again; the library embeds them as made.
from PIL import Image, ImageDraw


def frame_rgba():
    # A rounded wooden frame with a shadow; the image area is transparent.
    w, h, r = 162, 159, (18, 29, 140, 119)
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((4, 6, w - 1, h - 1), 14, fill=(0, 0, 0, 90))
    d.rounded_rectangle((0, 0, w - 5, h - 7), 14, fill=(150, 100, 60, 255), outline=(90, 55, 30, 255), width=3)
    for i in range(6):
        d.rounded_rectangle((8 + i, 12 + i, w - 13 - i, h - 15 - i), 10, outline=(170 + 8 * i, 120 + 6 * i, 70 + 4 * i, 255))
    d.rectangle((r[0] - 2, r[1] - 2, r[2] + 1, r[3] + 1), fill=(60, 40, 20, 255))
    d.rectangle((r[0], r[1], r[2] - 1, r[3] - 1), fill=(0, 0, 0, 0))
    im.save("frame0.png", optimize=True)


def frame_rgb():
    # A plain photo mount: grey edge, white image area.
    w, h, r = 112, 100, (13, 1, 95, 98)
    im = Image.new("RGB", (w, h), (200, 200, 200))
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, w - 1, h - 1), outline=(120, 120, 120))
    for i in range(1, 12):
        c = 200 + 4 * i
        d.line((i, 1, i, h - 2), fill=(c, c, c))
        d.line((w - 1 - i, 1, w - 1 - i, h - 2), fill=(c, c, c))
    d.rectangle((r[0], r[1], r[2] - 1, r[3] - 1), fill=(255, 255, 255))
    im.save("frame1.png", optimize=True)


def frame_palette(name, w, h, r, outer, inner, accent):
    im = Image.new("RGB", (w, h), outer)
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, w - 1, h - 1), outline=accent, width=2)
    for x in range(6, w - 6, 12):
        d.ellipse((x, 3, x + 5, 8), fill=accent)
        d.ellipse((x, h - 9, x + 5, h - 4), fill=accent)
    d.rectangle((r[0] - 3, r[1] - 3, r[2] + 2, r[3] + 2), outline=accent, width=2)
    d.rectangle((r[0], r[1], r[2] - 1, r[3] - 1), fill=inner)
    im.convert("P", palette=Image.ADAPTIVE, colors=16).save(name, optimize=True)


def icon(name, missing):
    # A sheet of paper with a folded corner; the missing file is crossed out.
    im = Image.new("RGBA", (180, 240), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.polygon([(22, 14), (122, 14), (162, 54), (162, 228), (22, 228)], fill=(0, 0, 0, 60))
    d.polygon([(16, 8), (116, 8), (156, 48), (156, 222), (16, 222)], fill=(250, 250, 250, 255), outline=(110, 110, 110, 255))
    d.polygon([(116, 8), (116, 48), (156, 48)], fill=(210, 210, 210, 255), outline=(110, 110, 110, 255))
    for y in range(80, 200, 18):
        d.line((36, y, 136, y), fill=(170, 180, 200, 255), width=4)
    if missing:
        d.line((30, 60, 150, 200), fill=(210, 30, 30, 255), width=12)
        d.line((150, 60, 30, 200), fill=(210, 30, 30, 255), width=12)
    im.save(name, optimize=True)


frame_rgba()
frame_rgb()
frame_palette("frame2.png", 163, 108, (30, 14, 147, 92), (40, 70, 120), (255, 255, 255), (220, 190, 60))
frame_palette("frame3.png", 150, 150, (17, 17, 131, 131), (235, 225, 200), (250, 250, 250), (120, 60, 60))
icon("file.png", False)
icon("missing.png", True)
