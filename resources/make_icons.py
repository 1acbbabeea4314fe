#!/usr/bin/env python3
"""Turns the text pictures of resources/icons.txt into 24 x 24 one-bit icons.

Usage: make_icons.py icons.txt OUTDIR   (writes OUTDIR/ICON_NAME.ico for each)
Each icon has one image: a colour table of black and white, the colour bits
(all 0, black) and the mask (1 where the ground is transparent).
"""
import struct
import sys

SIZE = 24


def read_pictures(path):
    pictures, name, rows = {}, None, []
    for line in open(path, encoding="ascii"):
        line = line.rstrip("\n")
        if line.startswith("#") or not line.strip():
            continue
        if set(line) <= {".", "#"}:
            rows.append(line)
            if len(rows) == SIZE:
                pictures[name] = rows
                name, rows = None, []
        else:
            if name is not None or rows:
                sys.exit(f"{path}: picture {name} is not {SIZE} rows")
            name = line.strip()
    for name, rows in pictures.items():
        if any(len(r) != SIZE for r in rows):
            sys.exit(f"{path}: picture {name} is not {SIZE} columns wide")
    return pictures


def bit_rows(rows, on):
    """Bottom-up rows of 1-bit pixels, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        bits = 0
        for x, ch in enumerate(row):
            if ch == on:
                bits |= 1 << (31 - x)
        out += struct.pack(">I", bits)
    return out


def icon_file(rows):
    colour = bit_rows(rows, "never")   # every pixel takes colour 0, black
    mask = bit_rows(rows, ".")         # 1: transparent ground
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 1, 0, len(colour) + len(mask), 0, 0, 2, 0)
    palette = struct.pack("<II", 0x000000, 0xFFFFFF)
    image = header + palette + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, 1, 1, len(image), 6 + 16)
    return directory + entry + image


def main():
    source, outdir = sys.argv[1], sys.argv[2]
    for name, rows in read_pictures(source).items():
        with open(f"{outdir}/{name}.ico", "wb") as f:
            f.write(icon_file(rows))


if __name__ == "__main__":
    main()
