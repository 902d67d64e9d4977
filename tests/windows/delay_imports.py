#!/usr/bin/env python3
"""Prints the delay-load imports of a PE image, one line per DLL: "name.dll function ...".

    delay_imports.py IMAGE MAP

The linker here leaves the image's delay-import directory entry empty, so the descriptors are
found by their symbols in the link map and read from the image itself: each names its DLL and,
through its name table, the functions.
"""
import re
import struct
import sys


def main(image_path, map_path):
    image = open(image_path, "rb").read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    image_base = struct.unpack_from("<Q", image, pe + 24 + 24)[0]
    table = pe + 24 + optional_size
    spans = []
    for i in range(sections):
        size, rva, raw_size, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, length, raw in spans:
            if start <= rva < start + length:
                return raw + rva - start
        raise ValueError("address 0x%x is in no section" % rva)

    def text(rva):
        at = offset(rva)
        return image[at:image.index(b"\0", at)].decode("ascii")

    found = {}
    for line in open(map_path):
        match = re.match(r"\s+0x([0-9a-f]+)\s+__DELAY_IMPORT_DESCRIPTOR_(\S+)$", line)
        if not match:
            continue
        descriptor = offset(int(match.group(1), 16) - image_base)
        _, name, _, _, names = struct.unpack_from("<IIIII", image, descriptor)
        functions = []
        entry = offset(names)
        while True:
            thunk = struct.unpack_from("<Q", image, entry)[0]
            if thunk == 0:
                break
            functions.append(text(thunk + 2))  # past the hint
            entry += 8
        found[text(name).lower()] = sorted(functions)
    for dll in sorted(found):
        print(dll, " ".join(found[dll]))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
