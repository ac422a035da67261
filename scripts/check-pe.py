#!/usr/bin/env python3
"""Checks a Windows effect module or frei0r plug-in (and any programs built
with it) as a host would see the files, without running them:

  check-pe.py --module Vantrel.aex [--linux-module Vantrel.so] [--no-resources]
              [--exports NAME...] [--program X.exe]...

- the module exports exactly EntryPointFunc (--exports: exactly the functions
  named, as a frei0r plug-in exports its f0r_ functions);
- the module and every program import only Windows' own DLLs (no MinGW
  runtime DLL such as libwinpthread-1.dll or libstdc++-6.dll);
- the module carries "BLOB" (RT_RCDATA, language neutral) and "PIPL" 16000
  in language 1033 and nothing else (--no-resources: no resources at all);
- with --linux-module, each of those resources holds the same bytes as the
  Linux module's resource table (its lumivex_rsrc section).
Prints one line per failed check and exits 1 when any check fails.
"""
import argparse
import struct
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "opengl32.dll", "shlwapi.dll", "msvcrt.dll",
               "ucrtbase.dll"}
RT_RCDATA = 10
EXPECTED_RESOURCES = {(RT_RCDATA, "BLOB", 0), ("PIPL", 16000, 1033)}


class FormatError(Exception):
    pass


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.path = path
        data = self.data
        if data[:2] != b"MZ":
            raise FormatError(f"{path} is not a PE file (no MZ header)")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise FormatError(f"{path} is not a PE file (no PE signature)")
        sections = u16(data, pe + 6)
        optional_size = u16(data, pe + 20)
        optional = pe + 24
        if u16(data, optional) != 0x20B:
            raise FormatError(f"{path} is not a 64-bit (PE32+) image")
        count = u32(data, optional + 108)
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            at = table + 40 * i
            virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise FormatError(f"{self.path}: address {rva:#x} lies in no section")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def exports(self):
        rva, size = self.directory(0)
        if not size:
            return 0, []
        at = self.offset(rva)
        functions, names, name_table = u32(self.data, at + 20), u32(self.data, at + 24), u32(self.data, at + 32)
        return functions, [self.text(u32(self.data, self.offset(name_table) + 4 * i)) for i in range(names)]

    def imports(self):
        rva, size = self.directory(1)
        found = []
        if not size:
            return found
        at = self.offset(rva)
        while any(self.data[at:at + 20]):
            found.append(self.text(u32(self.data, at + 12)))
            at += 20
        return found

    def resources(self):
        """{(type, name, language): bytes}; string keys as str, ids as int."""
        rva, size = self.directory(2)
        found = {}
        if not size:
            return found
        base = self.offset(rva)

        def entries(directory):
            named, ids = u16(self.data, base + directory + 12), u16(self.data, base + directory + 14)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    key = self.data[at + 2:at + 2 + 2 * u16(self.data, at)].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        for rtype, types in entries(0):
            for rname, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(data_rva)
                    found[(rtype, rname, language)] = self.data[at:at + data_size]
        return found


def elf_section(path, wanted):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF" or data[4] != 2:
        raise FormatError(f"{path} is not a 64-bit ELF file")
    shoff = struct.unpack_from("<Q", data, 0x28)[0]
    entsize, count, names = struct.unpack_from("<HHH", data, 0x3A)
    headers = [data[shoff + i * entsize:shoff + (i + 1) * entsize] for i in range(count)]
    names_offset = struct.unpack_from("<Q", headers[names], 0x18)[0]
    for header in headers:
        at = names_offset + u32(header, 0)
        if data[at:data.index(b"\0", at)].decode() == wanted:
            offset, size = struct.unpack_from("<QQ", header, 0x18)
            return data[offset:offset + size]
    raise FormatError(f"{path} has no section {wanted}")


def resource_table(blob):
    """The module resource table format of platform/Resources.h."""
    if blob[:8] != b"LXRSRC01":
        raise FormatError("the resource section has no LXRSRC01 table")
    count = u32(blob, 8)
    table = {}

    def key(word):
        if word & 0x80000000:
            at = word & 0x7FFFFFFF
            return blob[at + 4:at + 4 + u32(blob, at)].decode("ascii")
        return word

    for i in range(count):
        rtype, name, language, _, offset, size = struct.unpack_from("<6I", blob, 16 + 24 * i)
        table[(key(rtype), key(name), language)] = blob[offset:offset + size]
    return table


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", required=True)
    parser.add_argument("--linux-module")
    parser.add_argument("--no-resources", action="store_true")
    parser.add_argument("--program", action="append", default=[])
    parser.add_argument("--exports", nargs="+", default=["EntryPointFunc"])
    args = parser.parse_args()
    failures = []
    try:
        module = PeFile(args.module)
        functions, names = module.exports()
        if sorted(names) != sorted(args.exports) or functions != len(args.exports):
            failures.append(f"{args.module} exports {functions} functions named {names}, "
                            f"not exactly {sorted(args.exports)}")
        for path in [args.module] + args.program:
            pe = module if path == args.module else PeFile(path)
            for dll in pe.imports():
                if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-crt-"):
                    failures.append(f"{path} imports {dll}, which Windows does not provide")
        resources = module.resources()
        expected = set() if args.no_resources else EXPECTED_RESOURCES
        if set(resources) != expected:
            failures.append(f"{args.module} has the resources {sorted(map(str, resources))}, "
                            f"not {sorted(map(str, expected))}")
        if args.linux_module:
            linux = resource_table(elf_section(args.linux_module, "lumivex_rsrc"))
            for item in sorted(expected, key=str):
                if resources.get(item) != linux.get(item):
                    failures.append(f"{args.module}: resource {item} differs from that of {args.linux_module}")
    except (OSError, FormatError, struct.error, ValueError, IndexError) as error:
        failures.append(str(error))
    for failure in failures:
        print("check-pe:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
