#!/usr/bin/env python3
"""Reads what the release tests check in a Windows executable or library,
straight from its bytes.

Usage:
  pe_resources.py list FILE              one line per resource:
                                         TYPE NAME LANGUAGE SIZE SHA256
  pe_resources.py dump FILE TYPE NAME LANGUAGE
                                         the resource's bytes on stdout
  pe_resources.py version FILE           the version resource: its fixed
                                         file and product versions, then its
                                         strings, one KEY=VALUE a line
  pe_resources.py header FILE            the link time stamp of the file
                                         header and the size of the
                                         certificate table (0: unsigned), as
                                         TimeDateStamp=N and Certificates=N
Numbers are decimal.
"""
import hashlib
import struct
import sys

RT_VERSION = 16


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise SystemExit(f"{path}: not a PE image")
        sections, self.time_stamp, optional_size = struct.unpack_from(
            "<HI8xH", self.data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva, _ = struct.unpack_from("<II", self.data, directories + 2 * 8)
        _, self.certificate_size = struct.unpack_from("<II", self.data, directories + 4 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            virtual_size, rva, raw_size, raw = struct.unpack_from(
                "<IIII", self.data, table + i * 40 + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise SystemExit(f"RVA {rva:#x} is in no section")

    def resources(self):
        """[(type, name, language, bytes)], names as numbers or strings."""
        if not self.resource_rva:
            return []
        base = self.offset(self.resource_rva)
        found = []

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + at + 16 + i * 8)
                if name & 0x80000000:
                    length = struct.unpack_from("<H", self.data, base + (name & 0x7FFFFFFF))[0]
                    start = base + (name & 0x7FFFFFFF) + 2
                    name = self.data[start:start + 2 * length].decode("utf-16-le")
                yield name, target

        for type_, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    found.append((type_, name, language, self.data[start:start + size]))
        return found


def version_strings(block):
    """The KEY=VALUE pairs of a VS_VERSIONINFO block, depth first."""
    pairs = []

    def walk(at, end):
        while at + 6 <= end:
            length, value_length, text = struct.unpack_from("<HHH", block, at)
            if length == 0:
                break
            key_end = at + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[at + 6:key_end].decode("utf-16-le")
            value_at = (key_end + 2 + 3) & ~3
            if text == 1 and value_length:
                value = block[value_at:value_at + 2 * value_length].decode("utf-16-le")
                pairs.append((key, value.rstrip("\0")))
                children = value_at + 2 * value_length
            else:
                children = value_at + value_length
            walk((children + 3) & ~3, at + length)
            at = (at + length + 3) & ~3

    walk(0, len(block))
    return pairs


def main(argv):
    command, path = argv[1], argv[2]
    image = Image(path)
    if command == "header":
        print(f"TimeDateStamp={image.time_stamp}")
        print(f"Certificates={image.certificate_size}")
    elif command == "list":
        for type_, name, language, data in sorted(image.resources(), key=str):
            print(type_, name, language, len(data), hashlib.sha256(data).hexdigest())
    elif command == "dump":
        wanted = tuple(int(x) if x.isdigit() else x for x in argv[3:6])
        for type_, name, language, data in image.resources():
            if (type_, name, language) == wanted:
                sys.stdout.buffer.write(data)
                return 0
        print(f"{path}: no resource {wanted}", file=sys.stderr)
        return 1
    elif command == "version":
        blocks = [data for type_, _, _, data in image.resources() if type_ == RT_VERSION]
        if not blocks:
            print(f"{path}: no version resource", file=sys.stderr)
            return 1
        block = blocks[0]
        fixed = block.find(struct.pack("<I", 0xFEEF04BD))
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", block, fixed + 8)
        for key, ms, ls in (("FIXED_FILE", file_ms, file_ls),
                            ("FIXED_PRODUCT", product_ms, product_ls)):
            print(f"{key}={ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
        for key, value in version_strings(block):
            print(f"{key}={value}")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
