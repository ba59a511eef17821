#!/usr/bin/env python3
"""Reads the PE headers of the shipped files: 32-bit x86 ones in dist/, 64-bit x64 ones in
dist/x64/, each importing only Windows' own DLLs (the runtime is linked in)."""
import struct
import sys
from pathlib import Path

MACHINES = {0x14C: "i386", 0x8664: "AMD64"}
EXPECTED = {"": ("i386", 0x10B), "x64": ("AMD64", 0x20B)}  # machine, optional-header magic
# subsystem (GUI 2, console 3; a DLL's is not used), DLL
FILES = {"pixo.exe": (2, False), "tavo.exe": (3, False), "Tavo.ocx": (None, True)}
# The DLLs a MinGW build with a static runtime may import; a shared runtime
# (libgcc_s, libstdc++, libwinpthread) would make the files fail to load elsewhere.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "winspool.drv", "ole32.dll",
               "oleaut32.dll", "advapi32.dll", "shell32.dll", "comdlg32.dll", "dwmapi.dll", "shcore.dll"}


def rva_to_offset(sections, rva):
    for va, size, raw in sections:
        if va <= rva < va + size:
            return rva - va + raw
    raise ValueError("rva %#x outside every section" % rva)


def read_pe(path):
    data = path.read_bytes()
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, nsections, _, _, _, opt_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), raw))
    imports = []
    off = rva_to_offset(sections, import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, off + 12)[0]
        if name_rva == 0:
            break
        n = rva_to_offset(sections, name_rva)
        imports.append(data[n:data.index(b"\0", n)].decode().lower())
        off += 20
    return MACHINES.get(machine, hex(machine)), magic, subsystem, bool(characteristics & 0x2000), imports


def main():
    dist = Path(sys.argv[1] if len(sys.argv) > 1 else "dist")
    passed = failed = 0
    for sub, (machine, magic) in EXPECTED.items():
        for name, (subsystem, is_dll) in FILES.items():
            path = dist / sub / name
            try:
                got = read_pe(path)
                problems = []
                if got[0] != machine:
                    problems.append("machine %s, not %s" % (got[0], machine))
                if got[1] != magic:
                    problems.append("optional header magic %#x, not %#x" % (got[1], magic))
                if subsystem is not None and got[2] != subsystem:
                    problems.append("subsystem %d, not %d" % (got[2], subsystem))
                if got[3] != is_dll:
                    problems.append("DLL flag %s" % got[3])
                foreign = sorted(set(got[4]) - SYSTEM_DLLS)
                if foreign:
                    problems.append("imports " + ", ".join(foreign))
            except (OSError, ValueError, struct.error) as e:
                problems = [str(e)]
            if problems:
                failed += 1
                print("FAIL: %s: %s" % (path, "; ".join(problems)))
            else:
                passed += 1
                print("ok: %s is %s" % (path, machine))
    print("pe headers: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
