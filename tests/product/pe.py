"""A small reader of PE files (Windows executables and DLLs), standard library only.

Reads what the product checks need: the headers, the sections, the export and
import tables, the base relocations and the resource tree. Addresses are RVAs
(relative to the image base) unless a name says VA. Malformed input raises
PeError with a message saying what is wrong; nothing is read outside the file.
"""

import struct

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_DLL = 0x2000

IMAGE_SCN_CNT_CODE = 0x00000020
IMAGE_SCN_CNT_INITIALIZED_DATA = 0x00000040
IMAGE_SCN_CNT_UNINITIALIZED_DATA = 0x00000080
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000

DIR_EXPORT = 0
DIR_IMPORT = 1
DIR_RESOURCE = 2
DIR_BASERELOC = 5
DIR_DELAY_IMPORT = 13

# Resource types by number.
RT_CURSOR, RT_BITMAP, RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 1, 2, 3, 4, 5, 6
RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION = 12, 14, 16


class PeError(Exception):
    pass


class Section:
    def __init__(self, name, virtual_address, virtual_size, raw_pointer, raw_size, characteristics):
        self.name = name
        self.virtual_address = virtual_address
        self.virtual_size = virtual_size
        self.raw_pointer = raw_pointer
        self.raw_size = raw_size
        self.characteristics = characteristics

    @property
    def size(self):
        """The section's extent in memory."""
        return self.virtual_size if self.virtual_size else self.raw_size

    def contains(self, rva, length=1):
        return self.virtual_address <= rva and rva + length <= self.virtual_address + self.size

    @property
    def executable(self):
        return bool(self.characteristics & (IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_CNT_CODE))

    @property
    def writable(self):
        return bool(self.characteristics & IMAGE_SCN_MEM_WRITE)

    def __repr__(self):
        return "%s(rva 0x%x, %d bytes, flags 0x%08x)" % (self.name, self.virtual_address, self.size,
                                                          self.characteristics)


class Export:
    def __init__(self, name, ordinal, rva, forwarder=None):
        self.name = name
        self.ordinal = ordinal
        self.rva = rva
        self.forwarder = forwarder


class Resource:
    """One leaf of the resource tree. type_ and name are ints (ids) or str (names)."""

    def __init__(self, type_, name, language, rva, size):
        self.type = type_
        self.name = name
        self.language = language
        self.rva = rva
        self.size = size

    def __repr__(self):
        return "Resource(type=%r, name=%r, lang=%d, %d bytes)" % (self.type, self.name, self.language, self.size)


class PeFile:
    def __init__(self, data):
        self.data = bytes(data)
        self._parse_headers()

    @classmethod
    def load(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    # --- raw access -------------------------------------------------------------

    def _unpack(self, fmt, offset):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PeError("read of %d bytes at file offset 0x%x is outside the file" % (size, offset))
        return struct.unpack_from(fmt, self.data, offset)

    def _parse_headers(self):
        if len(self.data) < 0x40 or self.data[:2] != b"MZ":
            raise PeError("no MZ header")
        (pe_offset,) = self._unpack("<I", 0x3C)
        if self._unpack("<4s", pe_offset)[0] != b"PE\0\0":
            raise PeError("no PE signature at 0x%x" % pe_offset)
        (self.machine, section_count, self.timestamp, _, _, optional_size,
         self.characteristics) = self._unpack("<HHIIIHH", pe_offset + 4)
        optional = pe_offset + 24
        (self.magic,) = self._unpack("<H", optional)
        if self.magic == 0x10B:
            self.is_pe32_plus = False
            (self.entry_point,) = self._unpack("<I", optional + 16)
            (self.image_base,) = self._unpack("<I", optional + 28)
            directory_count_offset = optional + 92
        elif self.magic == 0x20B:
            self.is_pe32_plus = True
            (self.entry_point,) = self._unpack("<I", optional + 16)
            (self.image_base,) = self._unpack("<Q", optional + 24)
            directory_count_offset = optional + 108
        else:
            raise PeError("unknown optional header magic 0x%x" % self.magic)
        (self.dll_characteristics,) = self._unpack("<H", optional + 70)
        (directory_count,) = self._unpack("<I", directory_count_offset)
        self.directories = []
        for i in range(min(directory_count, 16)):
            self.directories.append(self._unpack("<II", directory_count_offset + 4 + 8 * i))
        while len(self.directories) < 16:
            self.directories.append((0, 0))
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            name, vsize, va, raw_size, raw_pointer, _, _, _, _, flags = self._unpack("<8sIIIIIIHHI", table + 40 * i)
            self.sections.append(Section(name.rstrip(b"\0").decode("latin-1"), va, vsize, raw_pointer, raw_size,
                                         flags))

    @property
    def pointer_size(self):
        return 8 if self.is_pe32_plus else 4

    def section_of(self, rva, length=1):
        for s in self.sections:
            if s.contains(rva, length):
                return s
        return None

    def read(self, rva, length):
        """Bytes of the loaded image at rva; the part beyond a section's raw data reads as zeros."""
        section = self.section_of(rva, max(length, 1))
        if section is None:
            raise PeError("RVA 0x%x (+%d) is in no section" % (rva, length))
        start = rva - section.virtual_address
        out = bytearray(length)
        available = max(0, min(length, section.raw_size - start))
        if available:
            offset = section.raw_pointer + start
            if offset + available > len(self.data):
                raise PeError("section %s runs past the end of the file" % section.name)
            out[:available] = self.data[offset:offset + available]
        return bytes(out)

    def file_offset(self, rva):
        """The file offset that holds rva; None in a section's zero-filled tail."""
        section = self.section_of(rva)
        if section is None or rva - section.virtual_address >= section.raw_size:
            return None
        return section.raw_pointer + rva - section.virtual_address

    def u32(self, rva):
        return struct.unpack("<I", self.read(rva, 4))[0]

    def pointer(self, rva):
        return struct.unpack("<Q" if self.is_pe32_plus else "<I", self.read(rva, self.pointer_size))[0]

    def cstring(self, rva, limit=4096):
        """The NUL-terminated byte string at rva (without the NUL)."""
        section = self.section_of(rva)
        if section is None:
            raise PeError("string at RVA 0x%x is in no section" % rva)
        length = min(limit, section.virtual_address + section.size - rva)
        raw = self.read(rva, length)
        end = raw.find(b"\0")
        if end < 0:
            raise PeError("string at RVA 0x%x has no NUL within %d bytes" % (rva, length))
        return raw[:end]

    def va_to_rva(self, va):
        return va - self.image_base

    def directory(self, index):
        return self.directories[index]

    # --- tables ---------------------------------------------------------------------

    def export_directory(self):
        """(dll name, ordinal base, [Export]) or None when there is no export table."""
        rva, size = self.directory(DIR_EXPORT)
        if not rva:
            return None
        (_, _, _, _, name_rva, base, function_count, name_count, functions_rva, names_rva,
         ordinals_rva) = struct.unpack("<IIHHIIIIIII", self.read(rva, 40))
        if function_count > 65536 or name_count > function_count:
            raise PeError("implausible export counts %d/%d" % (function_count, name_count))
        names = {}
        for i in range(name_count):
            name = self.cstring(self.u32(names_rva + 4 * i)).decode("latin-1")
            index = struct.unpack("<H", self.read(ordinals_rva + 2 * i, 2))[0]
            names.setdefault(index, []).append(name)
        exports = []
        for index in range(function_count):
            target = self.u32(functions_rva + 4 * index)
            if not target:
                continue
            forwarder = None
            if rva <= target < rva + size:
                forwarder = self.cstring(target).decode("latin-1")
            for name in names.get(index, [None]):
                exports.append(Export(name, base + index, target, forwarder))
        return self.cstring(name_rva).decode("latin-1"), base, exports

    def imported_dlls(self):
        """Names of the DLLs in the import table, in order."""
        rva, _ = self.directory(DIR_IMPORT)
        names = []
        if rva:
            for i in range(4096):
                entry = struct.unpack("<IIIII", self.read(rva + 20 * i, 20))
                if entry == (0, 0, 0, 0, 0):
                    break
                names.append(self.cstring(entry[3]).decode("latin-1"))
            else:
                raise PeError("import table has no end")
        return names

    def delay_imported_dlls(self):
        rva, _ = self.directory(DIR_DELAY_IMPORT)
        names = []
        if rva:
            for i in range(4096):
                entry = struct.unpack("<8I", self.read(rva + 32 * i, 32))
                if not any(entry):
                    break
                attributes, name = entry[0], entry[1]
                # Old-style descriptors hold VAs instead of RVAs.
                names.append(self.cstring(name if attributes & 1 else self.va_to_rva(name)).decode("latin-1"))
            else:
                raise PeError("delay import table has no end")
        return names

    def relocations(self):
        """RVAs patched by the base relocations (HIGHLOW and DIR64 entries)."""
        rva, size = self.directory(DIR_BASERELOC)
        patched = set()
        at, end = rva, rva + size
        while rva and at + 8 <= end:
            page, block_size = struct.unpack("<II", self.read(at, 8))
            if block_size < 8:
                break
            entries = self.read(at + 8, block_size - 8)
            for i in range(0, len(entries) - 1, 2):
                (entry,) = struct.unpack_from("<H", entries, i)
                kind, offset = entry >> 12, entry & 0xFFF
                if kind in (3, 10):
                    patched.add(page + offset)
            at += block_size
        return patched

    def resources(self):
        """Every leaf of the resource tree: type, name, language, data RVA and size."""
        base, _ = self.directory(DIR_RESOURCE)
        if not base:
            return []
        out = []

        def entries(offset):
            _, _, _, _, named, ids = struct.unpack("<IIHHHH", self.read(base + offset, 16))
            for i in range(named + ids):
                key, target = struct.unpack("<II", self.read(base + offset + 16 + 8 * i, 8))
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    (length,) = struct.unpack("<H", self.read(at, 2))
                    key = self.read(at + 2, 2 * length).decode("utf-16-le")
                yield key, target

        def walk(offset, path, depth):
            if depth > 3:
                raise PeError("resource tree deeper than three levels")
            for key, target in entries(offset):
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + [key], depth + 1)
                else:
                    data_rva, size, _, _ = struct.unpack("<IIII", self.read(base + target, 16))
                    full = path + [key]
                    if len(full) != 3:
                        raise PeError("resource leaf at depth %d" % len(full))
                    out.append(Resource(full[0], full[1], full[2], data_rva, size))

        walk(0, [], 1)
        return out

    def resource_data(self, resource):
        return self.read(resource.rva, resource.size)
