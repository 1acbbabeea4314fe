#!/usr/bin/env python3
"""Checks the 32-bit product file itself, byte by byte, as the host editor sees it.

Usage: check_product.py PATH/tavelin.dll

- a 32-bit (i386) PE DLL;
- exactly one export, GetFilterTable, by name, ordinal 1, in a directory named
  tavelin.dll;
- imports from Windows system DLLs only (the C++ runtime, libgcc and the thread
  library must be linked in, or the host cannot load the plug-in);
- the 140-byte record that GetFilterTable returns, found by decoding the
  export's code: its stored numbers, its two strings, its hook pointing into
  code, zeros everywhere else, in writable initialised data (the host writes
  into it), with base relocations exactly on its three pointers.

Prints every check; exits 1 if any fails.
"""

import os
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

# Windows' own DLLs that a plug-in may import from (lower case).
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "winmm.dll", "msvcrt.dll", "advapi32.dll", "shell32.dll",
    "comctl32.dll", "comdlg32.dll", "ole32.dll", "oleaut32.dll", "version.dll", "shlwapi.dll", "msimg32.dll",
    "ntdll.dll", "ws2_32.dll", "imm32.dll",
}
# Named in the failure message: the usual way a MinGW build goes wrong.
MINGW_RUNTIME_PREFIXES = ("libstdc++", "libgcc_s", "libwinpthread")

RECORD_SIZE = 140
FLAGS = 0x0004E004
WIDTH, HEIGHT = 320, 240
NAME_OFFSET, HOOK_OFFSET, INFORMATION_OFFSET = 12, 64, 84
NAME = b"Tavelin"
INFORMATION = b"Tavelin version 0.03 by Orvend"
STORED_OFFSETS = {0, 4, 8, NAME_OFFSET, HOOK_OFFSET, INFORMATION_OFFSET}


class Report:
    def __init__(self):
        self.checks = 0
        self.failures = 0

    def check(self, ok, what, detail=""):
        self.checks += 1
        if not ok:
            self.failures += 1
        print("%s %s%s" % ("ok  " if ok else "FAIL", what, (": " + detail) if detail else ""))
        return ok


def decode_get_filter_table(image, rva):
    """Finds the record's VA in the export's code.

    Accepts what a compiler emits for `return &record;`: mov eax, imm32 (B8) or
    lea eax, [disp32] (8D 05), then ret, optionally inside a frame-pointer
    prologue/epilogue, and follows plain jumps to it. Returns (VA, RVA of the
    imm32) or raises pe.PeError describing the bytes found.
    """
    for _ in range(4):
        code = image.read(rva, 16)
        if code[0] == 0xE9:  # jmp rel32
            rva = rva + 5 + struct.unpack_from("<i", code, 1)[0]
            continue
        if code[0] == 0xEB:  # jmp rel8
            rva = rva + 2 + struct.unpack_from("<b", code, 1)[0]
            continue
        at = 0
        framed = False
        if code[:3] in (b"\x55\x89\xe5", b"\x55\x8b\xec"):  # push ebp; mov ebp, esp
            at, framed = 3, True
        if code[at] == 0xB8:
            imm_at, after = at + 1, at + 5
        elif code[at:at + 2] == b"\x8d\x05":
            imm_at, after = at + 2, at + 6
        else:
            break
        if framed:
            if code[after] not in (0x5D, 0xC9):  # pop ebp / leave
                break
            after += 1
        if code[after] == 0xC3 or code[after:after + 3] == b"\xc2\x00\x00":
            return struct.unpack_from("<I", code, imm_at)[0], rva + imm_at
        break
    raise pe.PeError("GetFilterTable's code is not `return &record;`: %s" % image.read(rva, 16).hex(" "))


def check_headers(image, report):
    report.check(image.machine == pe.IMAGE_FILE_MACHINE_I386, "machine is i386 (0x14c)", "0x%x" % image.machine)
    report.check(not image.is_pe32_plus, "PE32 optional header (32-bit)", "magic 0x%x" % image.magic)
    report.check(bool(image.characteristics & pe.IMAGE_FILE_DLL), "the file is a DLL")


def check_exports(image, report):
    """Returns the RVA of GetFilterTable, or None."""
    directory = image.export_directory()
    if not report.check(directory is not None, "has an export table"):
        return None
    name, _, exports = directory
    report.check(name == "tavelin.dll", "export directory names the library tavelin.dll", repr(name))
    listing = ", ".join("%s@%d" % (e.name or "(no name)", e.ordinal) for e in exports)
    report.check(len(exports) == 1, "exactly one export", listing)
    entry = next((e for e in exports if e.name == "GetFilterTable"), None)
    if not report.check(entry is not None, "GetFilterTable exported by name (undecorated)", listing):
        return None
    report.check(entry.ordinal == 1, "GetFilterTable has ordinal 1", str(entry.ordinal))
    report.check(entry.forwarder is None, "GetFilterTable is not forwarded", entry.forwarder or "")
    section = image.section_of(entry.rva)
    report.check(section is not None and section.executable, "GetFilterTable is in code",
                 "RVA 0x%x in %r" % (entry.rva, section))
    return entry.rva


def check_imports(image, report):
    dlls = image.imported_dlls()
    delayed = image.delay_imported_dlls()
    report.check(bool(dlls), "imports found", ", ".join(dlls))
    for dll in dlls + delayed:
        lower = dll.lower()
        runtime = any(lower.startswith(prefix) for prefix in MINGW_RUNTIME_PREFIXES)
        detail = "a MinGW runtime DLL: link it statically" if runtime else ""
        report.check(lower in SYSTEM_DLLS and not runtime, "imports only from a system DLL: %s" % dll, detail)


def check_string(image, report, what, va, expected):
    rva = image.va_to_rva(va)
    section = image.section_of(rva)
    if not report.check(section is not None, "%s pointer lands in the image" % what, "VA 0x%x" % va):
        return
    text = image.cstring(rva)
    report.check(text == expected, "%s is %r" % (what, expected.decode()), repr(text))
    report.check(not section.writable, "%s is in read-only data" % what, repr(section))


def check_record(image, report, export_rva):
    try:
        record_va, imm_rva = decode_get_filter_table(image, export_rva)
    except pe.PeError as error:
        report.check(False, "GetFilterTable returns a constant address", str(error))
        return
    report.check(True, "GetFilterTable returns the constant address 0x%x" % record_va)
    relocations = image.relocations()
    report.check(imm_rva in relocations, "that address is relocated when the DLL is rebased",
                 "imm32 at RVA 0x%x" % imm_rva)

    rva = image.va_to_rva(record_va)
    section = image.section_of(rva, RECORD_SIZE)
    if not report.check(section is not None, "the record's 140 bytes lie in one section", "RVA 0x%x" % rva):
        return
    report.check(section.writable and bool(section.characteristics & pe.IMAGE_SCN_CNT_INITIALIZED_DATA)
                 and image.file_offset(rva + RECORD_SIZE - 1) is not None,
                 "the record is in writable initialised data (the host writes into it)", repr(section))
    record = image.read(rva, RECORD_SIZE)
    words = struct.unpack("<35I", record)
    field = dict((4 * i, w) for i, w in enumerate(words))

    report.check(field[0] == FLAGS, "flag word at 0 is 0x%08X" % FLAGS, "0x%08X" % field[0])
    report.check(struct.unpack_from("<i", record, 4)[0] == WIDTH, "width at 4 is %d" % WIDTH, str(field[4]))
    report.check(struct.unpack_from("<i", record, 8)[0] == HEIGHT, "height at 8 is %d" % HEIGHT, str(field[8]))
    check_string(image, report, "the display name (offset 12)", field[NAME_OFFSET], NAME)
    check_string(image, report, "the information string (offset 84)", field[INFORMATION_OFFSET], INFORMATION)
    hook_section = image.section_of(image.va_to_rva(field[HOOK_OFFSET]))
    report.check(hook_section is not None and hook_section.executable, "the hook (offset 64) points into code",
                 "VA 0x%x in %r" % (field[HOOK_OFFSET], hook_section))

    nonzero = ["%d: 0x%x" % (offset, value) for offset, value in sorted(field.items())
               if offset not in STORED_OFFSETS and value != 0]
    report.check(not nonzero, "every other field is 0 (offsets 96, 100, 104 included)", ", ".join(nonzero))
    relocated = sorted(r - rva for r in relocations if rva <= r < rva + RECORD_SIZE)
    report.check(relocated == sorted([NAME_OFFSET, HOOK_OFFSET, INFORMATION_OFFSET]),
                 "relocations in the record exactly at its pointers 12, 64, 84", str(relocated))


def main(argv):
    if len(argv) != 2:
        print("usage: check_product.py PATH/tavelin.dll")
        return 2
    path = argv[1]
    print("checking %s" % path)
    report = Report()
    try:
        image = pe.PeFile.load(path)
        check_headers(image, report)
        export_rva = check_exports(image, report)
        check_imports(image, report)
        if export_rva is not None:
            check_record(image, report, export_rva)
    except OSError as error:
        report.check(False, "the file can be read", str(error))
    except pe.PeError as error:
        report.check(False, "the file is a well-formed PE image", str(error))
    print("check_product: %d checks, %d failed" % (report.checks, report.failures))
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
