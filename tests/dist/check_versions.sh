#!/usr/bin/env bash
# Every shipped file carries the one version of the CMake project in its version resource
# (file and product version, as the strings and as the fixed numbers), read back by
# wrestool; any file that disagrees, or has none, fails. Usage: check_versions.sh VERSION
# FOLDER...
set -uo pipefail
want=$1
shift
commas=$(echo "$want" | sed 's/\./, /g')
bad=0
for folder in "$@"; do
  for f in pixo.exe tavo.exe tavoplay.exe Tavo.ocx; do
    file="$folder/$f"
    strings=$(wrestool -x --raw -t 16 "$file" 2>/dev/null | strings -el | tr '\n' '|')
    fixed=$(wrestool -x --raw -t 16 "$file" 2>/dev/null | python3 -c '
import struct, sys
d = sys.stdin.buffer.read()
at = d.find(struct.pack("<I", 0xFEEF04BD))
if at < 0: sys.exit(1)
fm, fl, pm, pl = struct.unpack_from("<IIII", d, at + 8)
print("%d.%d.%d.%d %d.%d.%d.%d" % (fm >> 16, fm & 0xFFFF, fl >> 16, fl & 0xFFFF, pm >> 16, pm & 0xFFFF, pl >> 16, pl & 0xFFFF))')
    if [[ "$strings" == *"|FileVersion|$commas|"* && "$strings" == *"|ProductVersion|$commas|"* &&
          "$fixed" == "$want $want" && "$strings" == *"|OriginalFilename|"* ]]; then
      echo "$file: $want"
    else
      echo "$file: not version $want (fixed: ${fixed:-none}; strings: ${strings:-none})"
      bad=1
    fi
  done
done
exit $bad
