#!/usr/bin/env python3
"""The product check must catch a broken product: each case below damages a
copy of the DLL the way a build can go wrong, and check_product.py must fail
on it, at the check that names the fault.

Usage: check_product_detects_faults.py PATH/tavelin.dll
"""

import contextlib
import io
import os
import struct
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_product  # noqa: E402
import pe  # noqa: E402


def run_check(data):
    """check_product on these bytes: (exit code, printed text)."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "tavelin.dll")
        with open(path, "wb") as f:
            f.write(data)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = check_product.main(["check_product.py", path])
    return code, out.getvalue()


def locate(image):
    """File offsets of the parts the cases damage."""
    export_rva, _ = image.directory(pe.DIR_EXPORT)
    name_rva = image.u32(export_rva + 12)  # the library's name
    names_rva = image.u32(export_rva + 32)  # the export name pointers
    code_rva = next(e.rva for e in image.export_directory()[2] if e.name == "GetFilterTable")
    record_va, imm_rva = check_product.decode_get_filter_table(image, code_rva)
    record_rva = image.va_to_rva(record_va)
    import_rva, _ = image.directory(pe.DIR_IMPORT)
    imports = []
    for i in range(len(image.imported_dlls())):
        imports.append(image.u32(import_rva + 20 * i + 12))
    off = image.file_offset
    return {
        "machine": struct.unpack_from("<I", image.data, 0x3C)[0] + 4,
        "library_name": off(name_rva),
        "export_name": off(image.u32(names_rva)),
        "imm32": off(imm_rva),
        "record": off(record_rva),
        "information": off(image.va_to_rva(image.u32(record_rva + check_product.INFORMATION_OFFSET))),
        "name_va": image.u32(record_rva + check_product.NAME_OFFSET),
        "imports": [(off(rva), image.cstring(rva)) for rva in imports],
    }


def patch(data, offset, new):
    out = bytearray(data)
    out[offset:offset + len(new)] = new
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        print("usage: check_product_detects_faults.py PATH/tavelin.dll")
        return 2
    with open(argv[1], "rb") as f:
        original = f.read()
    code, text = run_check(original)
    if code != 0:
        print(text)
        print("FAIL the product itself does not pass check_product.py; nothing to damage")
        return 1
    image = pe.PeFile(original)
    at = locate(image)
    u32 = lambda v: struct.pack("<I", v)  # noqa: E731
    first_import_offset, first_import = at["imports"][0]
    runtime = b"libstdc++-6.dll"[:len(first_import)].ljust(len(first_import), b"x")
    cases = [
        ("64-bit machine", patch(original, at["machine"], struct.pack("<H", 0x8664)), "machine is i386"),
        ("library renamed", patch(original, at["library_name"], b"tavelix.dll"), "names the library tavelin.dll"),
        ("export misspelt", patch(original, at["export_name"], b"GetFilterTablf"), "GetFilterTable exported"),
        ("imports a MinGW runtime DLL", patch(original, first_import_offset, runtime),
         "imports only from a system DLL"),
        ("wrong flag word", patch(original, at["record"], u32(0x0004E005)), "flag word at 0"),
        ("wrong height", patch(original, at["record"] + 8, u32(480)), "height at 8"),
        ("window field not zero", patch(original, at["record"] + 100, u32(1)), "every other field is 0"),
        ("hook points at data", patch(original, at["record"] + 64, u32(at["name_va"])), "points into code"),
        ("information string changed", patch(original, at["information"] + 27, b"x"), "the information string"),
        ("export returns another address", patch(original, at["imm32"], u32(image.image_base + 0x10)),
         "lie in one section"),
        ("not a PE file", patch(original, 0, b"ZM"), "well-formed PE image"),
        ("truncated file", original[:len(original) // 3], "FAIL"),  # wherever the reader runs out
    ]
    failures = 0
    for name, damaged, expected in cases:
        code, text = run_check(damaged)
        failed_lines = [line for line in text.splitlines() if line.startswith("FAIL")]
        caught = code != 0 and any(expected in line for line in failed_lines)
        print("%s %s%s" % ("ok  " if caught else "FAIL", "detects: " + name,
                           "" if caught else " (exit %d; failures: %s)" % (code, failed_lines or "none")))
        failures += not caught
    print("check_product_detects_faults: %d cases, %d not detected" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
