#!/usr/bin/env python3
"""Reads the PE headers of the shipped files: 32-bit x86 ones in dist/, 64-bit x64 ones in
dist/x64/, each importing only the system's known DLLs (the runtime is linked in); and pixo.exe's
embedded application manifest."""
import re
import struct
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

MACHINES = {0x14C: "i386", 0x8664: "AMD64"}
EXPECTED = {"": ("i386", 0x10B), "x64": ("AMD64", 0x20B)}  # machine, optional-header magic
# subsystem (GUI 2, console 3; a DLL's is not used), DLL
FILES = {"pixo.exe": (2, False), "tavo.exe": (3, False), "Tavo.ocx": (None, True), "tavoplay.exe": (2, False)}
# The DLLs a shipped file may import: a MinGW build with a static runtime, and only the
# system's known DLLs, which the loader takes from the system folder whatever else lies
# beside the program. A shared runtime (libgcc_s, libstdc++, libwinpthread) would make the
# files fail to load elsewhere; another system DLL (winspool.drv, dwmapi.dll) would be
# looked for in the program's folder first, where a planted copy could be loaded.
KNOWN_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll",
              "advapi32.dll", "shell32.dll", "comdlg32.dll"}


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
    resource_rva = struct.unpack_from("<I", data, dirs + 16)[0]
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
    manifest = read_resource(data, sections, resource_rva, 24, 1) if resource_rva else None
    return MACHINES.get(machine, hex(machine)), magic, subsystem, bool(characteristics & 0x2000), imports, manifest


def read_resource(data, sections, root_rva, type_id, name_id):
    """The bytes of the first language of resource type_id/name_id, or None."""
    root = rva_to_offset(sections, root_rva)

    def entry(directory, wanted):
        named, ids = struct.unpack_from("<HH", data, directory + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            if wanted is None or (not ident & 0x80000000 and ident == wanted):
                return target
        return None

    level = root
    for wanted in (type_id, name_id, None):
        target = entry(level, wanted)
        if target is None:
            return None
        level = root + (target & 0x7FFFFFFF)
    rva, size = struct.unpack_from("<II", data, level)
    off = rva_to_offset(sections, rva)
    return data[off:off + size]


# What pixo.exe's manifest must say: per-monitor DPI awareness (v2, then v1) with the older
# per-monitor setting as the fallback, run as the invoker, Windows 7 to 11.
MANIFEST_RULES = [
    ("dpiAwareness PerMonitorV2 first", r"<dpiAwareness[^>]*>\s*PerMonitorV2\s*,\s*PerMonitor\s*</dpiAwareness>"),
    ("dpiAware true/pm", r"<dpiAware[^>]*>\s*true/pm\s*</dpiAware>"),
    ("asInvoker", r'<requestedExecutionLevel\s+level="asInvoker"'),
    ("Windows 7", r'supportedOS Id="\{35138b9a-5d96-4fbd-8e2d-a2440225f93a\}"'),
    ("Windows 8", r'supportedOS Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}"'),
    ("Windows 8.1", r'supportedOS Id="\{1f676c76-80e1-4239-95bb-83d0f6d0da78\}"'),
    ("Windows 10 and 11", r'supportedOS Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"'),
]


def manifest_problems(manifest):
    if manifest is None:
        return ["no application manifest (RT_MANIFEST 1)"]
    text = manifest.decode("utf-8", "replace")
    return ["manifest lacks " + what for what, rule in MANIFEST_RULES if not re.search(rule, text)]


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
                foreign = sorted(set(got[4]) - KNOWN_DLLS)
                if foreign:
                    problems.append("imports " + ", ".join(foreign))
                if name == "pixo.exe":
                    problems += manifest_problems(got[5])
            except (OSError, ValueError, struct.error) as e:
                problems = [str(e)]
            if problems:
                failed += 1
                print("FAIL: %s: %s" % (path, "; ".join(problems)))
            else:
                passed += 1
                print("ok: %s is %s" % (path, machine))
    # The control's side-by-side manifest: the assembly of the folder's architecture, the
    # control's file with its class and type library.
    ns = {"a": "urn:schemas-microsoft-com:asm.v1"}
    for sub, arch in (("", "x86"), ("x64", "amd64")):
        path = dist / sub / "Tavo.manifest"
        try:
            root = ET.parse(path).getroot()
            identity = root.find("a:assemblyIdentity", ns)
            ocx = root.find("a:file[@name='Tavo.ocx']", ns)
            classes = [] if ocx is None else [c.get("progid") for c in ocx.findall("a:comClass", ns)]
            ok = (identity is not None and identity.get("name") == "Tavo" and
                  identity.get("processorArchitecture") == arch and "TAVO.TavoCtrl.1" in classes and
                  ocx.find("a:typelib", ns) is not None)
        except (OSError, ET.ParseError):
            ok = False
        if ok:
            passed += 1
            print("ok: %s names Tavo.ocx for %s" % (path, arch))
        else:
            failed += 1
            print("FAIL: %s is not the control's %s assembly manifest" % (path, arch))
    print("pe headers: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
