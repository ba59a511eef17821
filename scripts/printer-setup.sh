#!/usr/bin/env bash
# Starts CUPS with a PDF printer as the default destination and lets Wine see it.
# Print jobs land as PDF files in build/printouts.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/printouts
mkdir -p "$out"
chmod 1777 "$out"
[ -n "${WINEPREFIX:-}" ] || source "$root/scripts/wine-env.sh"
if ! lpstat -r >/dev/null 2>&1 || ! lpstat -r 2>/dev/null | grep -q "is running"; then
  (cupsd >/dev/null 2>&1 || /usr/sbin/cupsd >/dev/null 2>&1) || true
  for _ in $(seq 1 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
fi
conf=/etc/cups/cups-pdf.conf
if [ -f "$conf" ] && ! grep -q "^Out $out\$" "$conf"; then
  sed -i -E "s|^#?Out .*|Out $out|; s|^#?AnonDirName .*|AnonDirName $out|" "$conf"
  grep -q "^Out " "$conf" || echo "Out $out" >>"$conf"
  grep -q "^AnonDirName " "$conf" || echo "AnonDirName $out" >>"$conf"
fi
if ! lpstat -p PDF >/dev/null 2>&1; then
  lpadmin -p PDF -v cups-pdf:/ -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd >/dev/null 2>&1 ||
    lpadmin -p PDF -v cups-pdf:/ -E -m everywhere >/dev/null 2>&1 ||
    lpadmin -p PDF -v cups-pdf:/ -E >/dev/null 2>&1
fi
lpadmin -d PDF >/dev/null 2>&1
cupsenable PDF >/dev/null 2>&1; cupsaccept PDF >/dev/null 2>&1
# Wine reads the printers when its prefix is updated.
if [ ! -f "$WINEPREFIX/.printer-ready" ] || ! wine reg query "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows" /v device >/dev/null 2>&1; then
  wineboot -u >/dev/null 2>&1
  touch "$WINEPREFIX/.printer-ready"
fi
