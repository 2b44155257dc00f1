#!/usr/bin/python3
"""What a Windows tree's product promises without running it, so every host checks it, whether or not it
can run the tree's flavour: the loading program imports kernel32 alone (anything else would be looked for
in the downloads folder it starts from) and nothing late; it stays small; it and the installation program,
packed as the build packs it, fit on one floppy; the 32-bit dictionary's self-extracting setup.exe stays
within its size; both carry their manifests.

Usage: check-image.py LOADER INSTALLER
"""
import struct
import sys
import zlib

FLOPPY = 1457664
RECORD = 56  # the extraction record a self-extractor ends with
# The 32-bit product's setup.exe with the dictionary in it: at most 1.5 times a peer's smallest build of
# the same file. What users gain must fit inside it.
SETUP_LIMIT = 535000
DICTIONARY = "/usr/share/dict/american-english"  # Debian's wamerican, what the product ships


def packed(data):
    """The size of an archive of one entry as "dictsetup -b" writes setup.1 and files.1: the 5-byte
    prefix, the 172-byte header and the zlib stream at the best compression."""
    return 5 + 172 + len(zlib.compress(data, 9))


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.path = path
        nt = self.u32(0x3C)
        if self.data[nt:nt + 4] != b"PE\0\0":
            raise ValueError(f"{path}: not a PE image")
        sections, optional_size = self.u16(nt + 6), self.u16(nt + 20)
        optional = nt + 24
        self.magic = self.u16(optional)
        # The data directories follow the optional header's fixed part, longer in a 64-bit image.
        self.directories = optional + {0x10B: 96, 0x20B: 112}[self.magic]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, table + 40 * i + 8) for i in range(sections)]

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError(f"{self.path}: address {rva:#x} outside every section")

    def directory(self, index):
        return self.u32(self.directories + 8 * index)

    def name_at(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii").lower()

    def imports(self):
        names, at = [], self.offset(self.directory(1))
        while self.u32(at + 12) != 0:  # the descriptors end with an empty one
            names.append(self.name_at(self.u32(at + 12)))
            at += 20
        return names


def main():
    loader, installer = Image(sys.argv[1]), Image(sys.argv[2])
    failures = []

    def check(ok, what):
        print(("ok      " if ok else "FAILED  ") + what)
        if not ok:
            failures.append(what)

    flavour = "64-bit" if loader.magic == 0x20B else "32-bit"
    print(f"{flavour} loader {len(loader.data)} bytes, installation program {len(installer.data)} bytes")
    check(loader.imports() == ["kernel32.dll"], f"the loader imports kernel32 alone: {loader.imports()}")
    check(loader.directory(13) == 0, "the loader has no delayed imports")
    check(len(loader.data) < 150 * 1024, "the loader is under 150 KB")
    program = len(loader.data) + packed(installer.data) + RECORD
    check(program <= FLOPPY, f"loader and packed installation program fit on one floppy ({program} bytes)")
    # setup.exe is the loader with setup.1 (the installation program) and files.1 (the dictionary)
    # appended, and the record.
    try:
        with open(DICTIONARY, "rb") as f:
            setup = program + packed(f.read())
    except OSError as error:
        check(False, f"the dictionary for setup.exe's size: {error}")
    else:
        if flavour == "32-bit":
            check(setup <= SETUP_LIMIT, f"setup.exe is at most {SETUP_LIMIT} bytes ({setup} bytes)")
        else:
            print(f"        setup.exe {setup} bytes")
    check(b'level="requireAdministrator"' in loader.data, "the loader's manifest asks for administrator rights")
    for part in (b"Microsoft.Windows.Common-Controls", b'level="asInvoker"', b"<dpiAware"):
        check(part in installer.data, f"the installation program's manifest holds {part.decode()}")
    return 1 if failures else 0


sys.exit(main())
