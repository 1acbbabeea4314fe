#!/usr/bin/env python3
"""Checks the resources of the 32-bit product file, as the plug-in loads them.

Usage: check_resources.py PATH/tavelin.dll

- menu 50: every caption, id, separator and popup, in order, nothing marked;
- dialog 10: an extended template with its caption, size, font and four controls;
- string 20000, exactly;
- the icon groups ICON_PLAY, ICON_STOP and ICON_READ: one 24 x 24 one-bit image
  each, black where resources/icons.txt draws the figure, transparent elsewhere;
- the version block: FileVersion 0.03, ProductName Tavelin, OriginalFilename
  tavelin.dll, a FileDescription.
All in Japanese (language 1041). Prints every check; exits 1 if any fails.
"""

import os
import struct
import sys

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "..", "resources")
sys.path.insert(0, HERE)
import pe  # noqa: E402
sys.path.insert(0, RESOURCES)
from make_icons import read_pictures  # noqa: E402  (the parser the build uses)
from check_product import Report  # noqa: E402

JAPANESE = 1041
ICON_TEXT = os.path.join(RESOURCES, "icons.txt")

SEPARATOR = ("-",)
MENU = [
    ("再生", [
        (103, "読み込み"), (100, "再生"), (102, "停止"), SEPARATOR,
        (110, "選択開始位置から再生"), (111, "繰り返し"), SEPARATOR,
        ("再生項目", [(120, "映像+音声"), (121, "映像のみ"), (122, "音声のみ")]),
        ("画質", [(130, "1/1"), (131, "1/2"), (132, "1/4")]),
        SEPARATOR,
        (180, "メモリの解放"), (190, "環境設定"), (199, "情報"),
    ]),
    ("表示", [
        ("再生サイズ", [(200, "25%"), (201, "50%"), (202, "100%"), (203, "200%"),
                       (204, "640x480"), (205, "320x240"), (206, "160x120"), (207, "WindowSize")]),
    ]),
]
MF_CHECKED, MF_POPUP, MF_END = 0x8, 0x10, 0x80

WS_CHILD, WS_VISIBLE, WS_TABSTOP, WS_GROUP, WS_BORDER = 0x40000000, 0x10000000, 0x10000, 0x20000, 0x800000
DIALOG_STYLE = 0x80000000 | 0x00C00000 | 0x00080000 | 0x80  # pop-up, caption, system menu, modal frame
CONTROLS = [  # id, class atom, text, rectangle, style bits that must be set
    (1, 0x80, "OK", (41, 238, 44, 14), WS_CHILD | WS_VISIBLE | WS_TABSTOP | 0x1),  # default push button
    (2, 0x80, "キャンセル", (91, 238, 44, 14), WS_CHILD | WS_VISIBLE | WS_TABSTOP),
    (1001, 0x82, "映像メモリ(MB)", (7, 7, 64, 8), WS_CHILD | WS_VISIBLE | WS_GROUP),
    (1000, 0x81, "", (128, 7, 40, 12), WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | 0x2000 | 0x80),
]
INFORMATION = "映像メモリ\t%.2f MB\n音声メモリ\t%.2f MB\nプレビュー\t%d フレーム"


def utf16z(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def sz_or_ord(data, at):
    """A resource template's name field: 0, an ordinal after 0xFFFF, or a string."""
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0:
        return 0, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return utf16z(data, at)


def parse_menu(data, at, checked):
    items = []
    while True:
        (flags,) = struct.unpack_from("<H", data, at)
        at += 2
        if flags & MF_CHECKED:
            checked.append(flags)
        if flags & MF_POPUP:
            text, at = utf16z(data, at)
            sub, at = parse_menu(data, at, checked)
            items.append((text, sub))
        else:
            (item_id,) = struct.unpack_from("<H", data, at)
            text, at = utf16z(data, at + 2)
            items.append(SEPARATOR if item_id == 0 and text == "" else (item_id, text))
        if flags & MF_END:
            return items, at


def check_menu(report, data):
    version, header = struct.unpack_from("<HH", data, 0)
    report.check(version == 0 and header == 0, "menu 50 is a plain menu template")
    checked = []
    menu, _ = parse_menu(data, 4 + header, checked)
    report.check(menu == MENU, "menu 50 has every caption, id, separator and popup in order",
                 "" if menu == MENU else repr(menu))
    report.check(not checked, "menu 50 marks no item itself")


def check_dialog(report, data):
    version, signature, _help, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    report.check((version, signature) == (1, 0xFFFF), "dialog 10 is an extended template")
    report.check(style & DIALOG_STYLE == DIALOG_STYLE and style & 0x40 == 0x40,
                 "dialog 10: pop-up, caption, system menu, modal frame, font", hex(style))
    report.check((cx, cy) == (176, 260), "dialog 10 is 176 x 260 units", "%d x %d" % (cx, cy))
    at = 26
    menu, at = sz_or_ord(data, at)
    klass, at = sz_or_ord(data, at)
    title, at = utf16z(data, at)
    report.check(menu == 0 and klass == 0, "dialog 10 has no menu and the standard class")
    report.check(title == "環境設定", "dialog 10's caption", title)
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, at = utf16z(data, at + 6)
    report.check((point, weight, italic, charset, face) == (9, 400, 0, 1, "MS UI Gothic"),
                 "dialog 10's font", repr((point, weight, italic, charset, face)))
    report.check(count == len(CONTROLS), "dialog 10 has four controls", str(count))
    for expected in CONTROLS[:count]:
        at = (at + 3) & ~3
        _help, _ex, cstyle, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIIhhhhI", data, at)
        klass, at = sz_or_ord(data, at + 24)
        text, at = sz_or_ord(data, at)
        (extra,) = struct.unpack_from("<H", data, at)
        at += 2 + extra
        eid, eclass, etext, erect, estyle = expected
        report.check(cid == eid and klass == eclass and (text or "") == etext and (cx_, cy_, cw, ch) == erect
                     and cstyle & estyle == estyle,
                     "dialog 10 control %d" % eid, repr((cid, klass, text, (cx_, cy_, cw, ch), hex(cstyle))))


def check_string(report, data):
    strings, at = [], 0
    for _ in range(16):
        (length,) = struct.unpack_from("<H", data, at)
        strings.append(data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    report.check(strings[20000 % 16] == INFORMATION, "string 20000", repr(strings[20000 % 16]))


def bounding_box(rows):
    cells = [(x, y) for y, row in enumerate(rows) for x, ch in enumerate(row) if ch == "#"]
    xs, ys = [c[0] for c in cells], [c[1] for c in cells]
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def right_triangle(rows, left, top, width, height):
    """Rows of one run each from the left edge, growing to full width at the middle and back."""
    runs = []
    for row in rows[top:top + height]:
        part = row[left:left + width]
        run = len(part) - len(part.lstrip("#"))
        if part[run:].strip("."):
            return False
        runs.append(run)
    half = height // 2
    return (runs[:half] == sorted(runs[:half]) and runs[half:] == sorted(runs[half:], reverse=True)
            and max(runs) == width and min(runs) >= 1)


def figure_as_described(name, rows):
    """The figures on the buttons: play a triangle 12 x 14, stop a square 12 x 12,
    read three lines 14 high with a gap between them, a gap, and a triangle 7 x 14; centred."""
    left, top, width, height = bounding_box(rows)
    centred = abs(2 * left + width - 24) <= 1 and abs(2 * top + height - 24) <= 1
    if name == "ICON_PLAY":
        return centred and (width, height) == (12, 14) and right_triangle(rows, left, top, 12, 14)
    if name == "ICON_STOP":
        return centred and (width, height) == (12, 12) and all(
            row[left:left + 12] == "#" * 12 for row in rows[top:top + 12])
    if name == "ICON_READ":
        columns = ["".join(row[x] for row in rows[top:top + 14]) for x in range(left, left + 6)]
        lines = columns == ["#" * 14, "." * 14] * 3
        return centred and (width, height) == (13, 14) and lines and right_triangle(rows, left + 6, top, 7, 14)
    return False


def check_icons(report, image, by_key):
    pictures = read_pictures(ICON_TEXT)
    for name in ("ICON_PLAY", "ICON_STOP", "ICON_READ"):
        group = by_key.get((pe.RT_GROUP_ICON, name))
        if not report.check(group is not None, "icon group %s" % name):
            continue
        data = image.resource_data(group)
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        report.check(kind == 1 and count == 1, "%s holds one icon" % name)
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
        report.check((width, height, bits) == (24, 24, 1), "%s is 24 x 24, one bit per pixel" % name,
                     repr((width, height, bits)))
        icon = by_key.get((pe.RT_ICON, icon_id))
        if not report.check(icon is not None, "%s's image %d" % (name, icon_id)):
            continue
        bitmap = image.resource_data(icon)
        header, w, h2, _, bpp = struct.unpack_from("<IiiHH", bitmap, 0)
        report.check((header, w, h2, bpp) == (40, 24, 48, 1), "%s's bitmap header" % name)
        palette = struct.unpack_from("<II", bitmap, 40)
        colour_bits = bitmap[48:48 + 96]
        mask_bits = bitmap[48 + 96:48 + 192]
        black = palette[0] & 0xFFFFFF == 0
        drawn = []
        for row in range(24):
            colour = int.from_bytes(colour_bits[4 * row:4 * row + 4], "big")
            mask = int.from_bytes(mask_bits[4 * row:4 * row + 4], "big")
            line = ""
            for x in range(24):
                transparent = mask >> (31 - x) & 1
                index = colour >> (31 - x) & 1
                line += "." if transparent else ("#" if (index == 0) == black else "?")
            drawn.insert(0, line)  # rows are stored bottom up
        report.check(figure_as_described(name, pictures.get(name, [])), "%s's picture is the figure of its button" % name)
        same = drawn == pictures.get(name)
        report.check(same, "%s shows its picture: black figure, transparent ground" % name,
                     "" if same else "\n" + "\n".join(drawn))


def version_strings(data):
    """Key/value pairs of a VS_VERSIONINFO block's string tables."""
    out = {}

    def walk(at, end):
        while at + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", data, at)
            if length == 0:
                return
            key, next_at = utf16z(data, at + 6)
            value_at = (next_at + 3) & ~3
            if kind == 1 and value_length:
                out[key] = data[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
                children = (value_at + 2 * value_length + 3) & ~3
            else:
                children = (value_at + value_length + 3) & ~3
            walk(children, at + length)
            at = (at + length + 3) & ~3

    walk(0, len(data))
    return out


def main():
    image = pe.PeFile.load(sys.argv[1])
    report = Report()
    resources = image.resources()
    by_key = {(r.type, r.name): r for r in resources}
    report.check(all(r.language == JAPANESE for r in resources), "every resource is Japanese (1041)",
                 repr(sorted({r.language for r in resources})))
    for (kind, name), what, check in (
            ((pe.RT_MENU, 50), "menu 50", check_menu),
            ((pe.RT_DIALOG, 10), "dialog 10", check_dialog),
            ((pe.RT_STRING, 20000 // 16 + 1), "the string table with 20000", check_string)):
        found = by_key.get((kind, name))
        if report.check(found is not None, what):
            check(report, image.resource_data(found))
    check_icons(report, image, by_key)
    version = by_key.get((pe.RT_VERSION, 1))
    if report.check(version is not None, "version block"):
        strings = version_strings(image.resource_data(version))
        for key, value in (("FileVersion", "0.03"), ("ProductName", "Tavelin"), ("OriginalFilename", "tavelin.dll")):
            report.check(strings.get(key) == value, "version %s" % key, repr(strings.get(key)))
        report.check(bool(strings.get("FileDescription")), "version FileDescription", repr(strings.get("FileDescription")))
    print("%d checks, %d failed" % (report.checks, report.failures))
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
