#!/usr/bin/env bash
# The x86 type library is built against the 64-bit Wine's stdole2.tlb, which every build
# machine has. It must come out as it does against the 32-bit Wine's stdole2.tlb, but for
# the build time widl writes into it (as text and as a time stamp). Exit code 0 the same,
# 1 different, 2 not compared (no 32-bit stdole2.tlb here; TLB32_DIR names its folder).
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
dir64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
dir32=${TLB32_DIR:-/usr/lib/i386-linux-gnu/wine/i386-windows}
[ -f "$dir32/stdole2.tlb" ] || { echo "tlb: no 32-bit stdole2.tlb in $dir32: not compared"; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The IDL as the build feeds it to widl: in the ANSI code page of a Japanese system, with
# its include folder laid out as the build's layer folder is.
mkdir -p "$tmp/inc/tavo"
ln -s "$root/tavo/control" "$tmp/inc/tavo/control"
iconv -f UTF-8 -t CP932 "$root/tavo/control/tavo.idl" >"$tmp/tavo932.idl"
for side in 64:"$dir64" 32:"$dir32"; do
  i686-w64-mingw32-widl --win32 -I/usr/include/wine/wine/windows -I"$tmp/inc" -L "${side#*:}" -t \
    -o "$tmp/against${side%%:*}.tlb" "$tmp/tavo932.idl" || exit 1
done
python3 - "$tmp/against64.tlb" "$tmp/against32.tlb" <<'PY'
import sys

def without_build_time(path):
    data = bytearray(open(path, "rb").read())
    # "Created by WIDL version V at <24 characters of ctime>\n", then the same time as a
    # VT_UI4 (0x13) custom value.
    at = data.index(b"Created by WIDL version")
    at = data.index(b" at ", at) + 4
    data[at:at + 24] = b"?" * 24
    stamp = data.index(b"\x13\x00", at + 24) + 2
    data[stamp:stamp + 4] = b"\0" * 4
    return bytes(data)

a, b = (without_build_time(p) for p in sys.argv[1:3])
if a != b:
    diff = [i for i in range(min(len(a), len(b))) if a[i] != b[i]][:8]
    print(f"tlb: the x86 type library differs against the two stdole2.tlb ({len(a)} and {len(b)} bytes, first at {diff})")
    sys.exit(1)
print(f"tlb: the x86 type library ({len(a)} bytes) is the same against the 64-bit and the 32-bit stdole2.tlb, but for its build time")
PY
