#!/usr/bin/env python3
"""Checks a screenshot of the viewer's main window against the skin it was drawn with.

usage: check-screenshot.py SCREENSHOT.png SKIN_FOLDER

The caption band (logo, name, window buttons) must be the skin frame's own pixels, and the
control panel's channel and volume groups must be drawn from their skin pictures (each pixel
from the group's background or one of its control state copies): a window without its skin
shows neither. ffmpeg reads the PNG; the skin's pictures are 24-bit BMPs.
Prints what it found; exits 1 when the window lacks its caption or its control panel.
"""
import configparser
import struct
import subprocess
import sys

WIDTH, HEIGHT = 1030, 725
CAPTION = (15, 20, 220, 48)  # left, top, right, bottom: logo, "Vidora", "MR220 VIEWER"
BUTTONS = (955, 25, 1022, 45)  # minimise, maximise, close
PANEL_ORIGIN = (859, 49)  # the control panel: below the caption, left of the right border
STATE_KEYS = ("PANELOFFSET", "NORMALOFFSET", "HILIGHTOFFSET", "DOWNOFFSET", "DOWNHLOFFSET",
              "DISABLEOFFSSET")


def read_png_rgba(path):
    run = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"],
        capture_output=True)
    if run.returncode != 0:
        sys.exit(f"{path}: no picture ({run.stderr.decode(errors='replace').strip()})")
    raw = run.stdout
    if len(raw) != WIDTH * HEIGHT * 4:
        sys.exit(f"{path}: not a {WIDTH} x {HEIGHT} picture of the main window "
                 f"({len(raw)} bytes of pixels)")
    return raw


def read_bmp_rgb(path):
    """Rows of RGB bytes, top row first."""
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        sys.exit(f"{path}: not a 24-bit picture")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + (height - 1 - y if height > 0 else y) * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    return rows


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    skin = sys.argv[2].rstrip("/")
    shot = read_png_rgba(sys.argv[1])

    def shot_rgb(x, y):
        i = (y * WIDTH + x) * 4
        return shot[i:i + 3]

    frame = read_bmp_rgb(skin + "/frame.bmp")

    def share_like_frame(rect):
        left, top, right, bottom = rect
        same = sum(shot_rgb(x, y) == frame[y][x * 3:x * 3 + 3]
                   for y in range(top, bottom) for x in range(left, right))
        return same / ((right - left) * (bottom - top))

    ini = configparser.ConfigParser(strict=False)
    ini.optionxform = str
    ini.read(skin + "/ui.ini")

    def share_from_group(name):
        group = ini[name]
        picture = read_bmp_rgb(skin + "/" + group["PICTUREFILE"])
        left = PANEL_ORIGIN[0] + int(group["X"])
        top = PANEL_ORIGIN[1] + int(group["Y"])
        width, height = int(group["WIDTH"]), int(group["HEIGHT"])
        offsets = [int(group[k]) for k in STATE_KEYS if k in group]
        drawn = 0
        for y in range(height):
            for x in range(width):
                pixel = shot_rgb(left + x, top + y)
                drawn += any(picture[y][(o + x) * 3:(o + x) * 3 + 3] == pixel for o in offsets)
        return drawn / (width * height)

    caption, buttons = share_like_frame(CAPTION), share_like_frame(BUTTONS)
    channels, volume = share_from_group("ChannelGroup"), share_from_group("VolumeGroup")
    print(f"pixels as in the skin: caption {caption:.1%}, window buttons {buttons:.1%}, "
          f"channel group {channels:.1%}, volume group {volume:.1%}")
    faults = []
    if caption < 0.98 or buttons < 0.98:
        faults.append("the caption band is not the skin's")
    if channels < 0.95 or volume < 0.90:
        faults.append("the control panel is not drawn from the skin's groups")
    if faults:
        print("screenshot check failed: " + "; ".join(faults), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
