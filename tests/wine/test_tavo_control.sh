#!/usr/bin/env bash
# Tavo.ocx under Wine: registration, a test container that embeds it, a script host as
# an automation client, and engines that are missing or misbehave.
source "$(dirname "$0")/lib.sh"
# The identities as the build made them from the type library's source.
guid_of() {  # name in the header widl wrote
  awk -v name="$1" -F'[(), ]+' '$1 == "DEFINE_GUID" && $2 == name {
      for (i = 3; i <= 13; i++) sub(/^0x/, "", $i)
      printf "{%s-%s-%s-%s%s-%s%s%s%s%s%s}\n", $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13 }' \
    "$WIN/tavo/control/gen/include/tavo/control/tavo_idl.h" | tr a-f A-F
}
CLSID=$(guid_of CLSID_Tavo) PAGE=$(guid_of CLSID_TavoPropPage) LIBID=$(guid_of LIBID_TAVOLib)
DISP=$(guid_of DIID__DTavo)
[ -n "$CLSID" ] && [ -n "$PAGE" ] && [ -n "$LIBID" ] && [ -n "$DISP" ] || { echo "no GUIDs in the build's header" >&2; exit 1; }

# Each test of this script gets a prefix of its own, so registrations stay here.
own_prefix

dir="$T/Control Directory With Long Name"
mkdir -p "$dir"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$dir/"
cp "$root/tests/wine/tavo_client.vbs" "$dir/"
cd "$dir"
q() { wine reg query "$@" 2>/dev/null | tr -d '\r' | grep -v '^reg: '; }

# ---- what the checks ask
no_keys() {  # key...: none of them exists
  local k
  for k in "$@"; do [ -z "$(q "$k")" ] || { echo "$k exists"; return 1; }; done
}
default_has() {  # key text: the key's default value holds the text
  q "$1" /ve | grep -qiF "$2"
}
keys_are() {  # key lines: the key's tree, flattened and sorted, is exactly these lines (joined by ;)
  [ "$(q "$1" /s | flatten | sort | tr '\n' ';')" = "$2" ]
}
short_module_path() {  # path: ends in the module's name and has no blank
  [[ $1 == *'\TAVO.OCX' || $1 == *'\Tavo.ocx' ]] && [[ $1 != *' '* ]]
}
files_nonempty() {  # file...
  local f
  for f in "$@"; do file_nonempty "$f" || return 1; done
}
files_missing() {  # file...
  local f
  for f in "$@"; do file_missing "$f" || return 1; done
}
whole_game_in() {  # folder: the three record files, with a whole game in the result table
  files_nonempty "$1/log.txt" "$1/summary.txt" && [ "$(grep -c . "$1/kekka.txt")" -ge 10 ]
}
ran_to_end() { grep -q '^sentinel' "$1"; }  # script output
passed_script() { ran_to_end "$1" && ! grep -q '^FAIL' "$1"; }
ran_to_end_within() { ran_to_end "$1" && [ $(($(date +%s) - $2)) -lt "$3" ]; }  # output start seconds
has_lines() {  # file line...: every line is in the file
  local file=$1 line
  shift
  for line in "$@"; do grep -qxF "$line" "$file" || { echo "no line: $line"; return 1; }; done
}
only_entries() {  # folder names...: the folder holds exactly these entries (none without names)
  [ "$(ls "$1" | sort | xargs)" = "${*:2}" ]
}

# --- registration
wine regsvr32 /s Tavo.ocx; echo $? >"$T/rc"
check "regsvr32 registers: exit code 0" rc_is 0
q "HKCR\\CLSID\\$CLSID" /s >clsid.txt
short=$(q "HKCR\\CLSID\\$CLSID\\InprocServer32" /ve | sed -nE 's/^ +\(Default\) +REG_SZ +(.*)$/\1/p')
shortdir=${short%\\*}
check "the module path is in short form" short_module_path "$short"
expected_keys() {
  cat <<KEYS
HKEY_CLASSES_ROOT\\CLSID\\$CLSID|(Default)|Tavo Control
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\Control|(Default)|
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\InprocServer32|(Default)|$short
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\InprocServer32|ThreadingModel|Apartment
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\MiscStatus|(Default)|0
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\MiscStatus\\1|(Default)|132497
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\ProgID|(Default)|TAVO.TavoCtrl.1
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\ToolboxBitmap32|(Default)|$short, 1
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\TypeLib|(Default)|$LIBID
HKEY_CLASSES_ROOT\\CLSID\\$CLSID\\Version|(Default)|1.0
KEYS
}
# reg query output as key|name|data lines
flatten() {
  awk '/^HKEY/ {key=$0; next} /^ +/ {line=$0; sub(/^ +/, "", line); n=split(line, f, /    /);
       name=f[1]; data=(n >= 3 ? f[3] : ""); for (i = 4; i <= n; i++) data = data "    " f[i];
       print key "|" name "|" data}'
}
flatten <clsid.txt | sort >clsid.flat
check "control class keys and values, exactly" diff <(expected_keys | sort) clsid.flat
check "ProgID keys" keys_are 'HKCR\TAVO.TavoCtrl.1' \
  "HKEY_CLASSES_ROOT\\TAVO.TavoCtrl.1\\CLSID|(Default)|$CLSID;HKEY_CLASSES_ROOT\\TAVO.TavoCtrl.1|(Default)|Tavo Control;"
check "page class keys: name and module path, nothing else" keys_are "HKCR\\CLSID\\$PAGE" \
  "HKEY_CLASSES_ROOT\\CLSID\\$PAGE\\InprocServer32|(Default)|$short;HKEY_CLASSES_ROOT\\CLSID\\$PAGE|(Default)|Tavo Property Page;"
check "no Insertable key" no_keys "HKCR\\CLSID\\$CLSID\\Insertable"
# The type library's platform key follows the control's architecture.
case $PIXO_ARCH in x64) tlbkey=win64 other=win32 ;; *) tlbkey=win32 other=win64 ;; esac
check "type library registered as 1.0, $tlbkey" default_has "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$tlbkey" Tavo.ocx
check "type library: no $other key" no_keys "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$other"
check "the dispinterfaces are registered" default_has "HKCR\\Interface\\$DISP" _DTavo
before=$(q "HKCR\\CLSID\\$CLSID" /s | md5sum)
wine regsvr32 /s Tavo.ocx
check "registering twice leaves one set" test "$(q "HKCR\\CLSID\\$CLSID" /s | md5sum)" = "$before"

# --- the test container and the script host
timeout 120 wine "$WIN/axhost.exe" "$shortdir" 2>&1 | tr -d '\r' >axhost.out
check "test container: every check passes" grep -q "^axhost: [0-9]* passed, 0 failed$" axhost.out
grep "^FAIL" axhost.out >&2
check "record files in the control's directory" files_nonempty log.txt kekka.txt summary.txt
timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >vbs.out; echo "${PIPESTATUS[0]}" >"$T/rc"
check "script host: ran to the end" grep -q "^sentinel: script ran to the end$" vbs.out
check "script host: no failure (exit code 0)" rc_is 0
check "script host: a whole game reached kekka.txt" whole_game_in .
grep "^FAIL" vbs.out >&2

# --- Japanese texts as a Japanese system shows them
in_locale ja_JP timeout 120 wine "$WIN/axhost.exe" "$shortdir" 2>&1 | tr -d '\r' >ja.out
check "type library help string in Japanese" grep -qxF "library: TAVOLib | Tavo ActiveX ｺﾝﾄﾛｰﾙ ﾓｼﾞｭｰﾙ" ja.out
check "dispinterface help string in Japanese" grep -qxF "dispinterface: _DTavo | Tavo Control 用ﾃﾞｨｽﾊﾟｯﾁ ｲﾝﾀｰﾌｪｲｽ" ja.out
check "property page text in Japanese" grep -qxF "page text: TODO: Tavo Control のﾌﾟﾛﾊﾟﾃｨを処理するｺﾝﾄﾛｰﾙを配置" ja.out

# --- engines that are missing or misbehave: every method returns
cp "$WIN/fakeengine.exe" tavo.exe
start=$(date +%s)
FAKE_ENGINE_MODE=crash timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >crash.out
check "a crashing engine: the script runs to the end" grep -q "^sentinel" crash.out
check "a crashing engine: quickly" test $(($(date +%s) - start)) -lt 30
printf '%s\r\n' 'Set ctl = CreateObject("TAVO.TavoCtrl.1")' 'ctl.Start' 'ctl.Goo' 'ctl.Master' 'ctl.End' \
  'WScript.Echo "sentinel " & ctl.INFO' >short.vbs
start=$(date +%s)
FAKE_ENGINE_MODE=silent timeout 300 wine cscript //nologo short.vbs 2>&1 | tr -d '\r' >silent.out
check "a silent engine: every method returns" grep -q "^sentinel 0" silent.out
check "a silent engine: each wait is bounded" test $(($(date +%s) - start)) -lt 60
FAKE_ENGINE_MODE=garbage timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >garbage.out
check "an engine printing garbage: the script runs to the end" grep -q "^sentinel" garbage.out
rm -f alive.txt
FAKE_ENGINE_MODE=ignoreeof timeout 120 wine cscript //nologo short.vbs 2>&1 | tr -d '\r' >stays.out
check "an engine that ignores the end of its input: the script runs to the end" grep -q "^sentinel" stays.out
sleep 2
alive=$(stat -c %s alive.txt 2>/dev/null || echo 0)
sleep 1.5
check "an engine that ignores the end of its input: gone once the host has ended" \
  test "$(stat -c %s alive.txt 2>/dev/null || echo 0)" = "$alive"
rm -f tavo.exe
start=$(date +%s)
timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >missing.out
check "a missing engine: the script runs to the end at once" ran_to_end_within missing.out "$start" 20
cp "$WIN/tavo.exe" .

# --- a folder whose name the ANSI code page cannot hold, registered by its long name (as
#     on a volume without 8.3 names), under a locale whose ANSI code page is 1252
wide="$T/対局 フォルダ"
mkdir -p "$wide"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$wide/"
wide_win="Z:$(echo "$wide" | tr / '\\')"
(cd "$wide" && in_locale en_US wine regsvr32 /s Tavo.ocx)
in_locale en_US wine reg add "HKCR\\CLSID\\$CLSID\\InprocServer32" /ve /d "$wide_win\\Tavo.ocx" /f >/dev/null 2>&1
wine reg export "HKCR\\CLSID\\$CLSID\\InprocServer32" "$T/inproc.reg" /y >/dev/null 2>&1
registered_long_name() { iconv -f UTF-16 -t UTF-8 "$T/inproc.reg" | tr -d '\r' | grep -qF '対局 フォルダ\\Tavo.ocx'; }
check "the long name outside the ANSI code page is registered" registered_long_name
cp tavo_client.vbs "$T/client.vbs"
(cd "$T" && in_locale en_US timeout 120 wine cscript //nologo client.vbs 2>&1 | tr -d '\r' >"$T/wide.out"; echo "${PIPESTATUS[0]}" >"$T/rc")
ran_to_end_with_code_0() { ran_to_end "$1" && rc_is 0; }
check "a folder outside the ANSI code page: the script runs to the end without failure" ran_to_end_with_code_0 "$T/wide.out"
check "a folder outside the ANSI code page: a whole game, the record files in that folder" whole_game_in "$wide"
check "a folder outside the ANSI code page: nothing written where the script ran" files_missing "$T/log.txt" "$T/kekka.txt"
grep "^FAIL" "$T/wide.out" >&2
cd "$dir"
# The registration names the copy in the wide folder now; this folder's copy is registered
# again, since unregistering a copy leaves the keys of another one.
wine regsvr32 /s Tavo.ocx

# --- removal
wine regsvr32 /s /u Tavo.ocx; echo $? >"$T/rc"
check "regsvr32 /u: exit code 0" rc_is 0
check "unregistering removes the class, ProgID, page and type library keys" \
  no_keys "HKCR\\CLSID\\$CLSID" 'HKCR\TAVO.TavoCtrl.1' "HKCR\\CLSID\\$PAGE" "HKCR\\TypeLib\\$LIBID"
wine regsvr32 /s /u Tavo.ocx; echo $? >"$T/rc"
check "unregistering twice succeeds" rc_is 0

# A 16-bit server under the same CLSID: only the 32-bit parts go.
wine regsvr32 /s Tavo.ocx
wine reg add "HKCR\\CLSID\\$CLSID\\InprocServer" /ve /d 'TAVO16.DLL' /f >/dev/null 2>&1
wine regsvr32 /s /u Tavo.ocx
only_32bit_parts_gone() {
  default_has "HKCR\\CLSID\\$CLSID\\InprocServer" TAVO16 && default_has "HKCR\\CLSID\\$CLSID\\ProgID" TAVO.TavoCtrl.1 &&
    no_keys "HKCR\\CLSID\\$CLSID\\InprocServer32" "HKCR\\CLSID\\$CLSID\\ToolboxBitmap32"
}
check "with a 16-bit server only InprocServer32 and ToolboxBitmap32 are removed" only_32bit_parts_gone
wine reg delete "HKCR\\CLSID\\$CLSID" /f >/dev/null 2>&1
wine reg delete "HKCR\\TAVO.TavoCtrl.1" /f >/dev/null 2>&1

# --- a control loaded without registration works in its own folder, whatever the host's
# current folder
plain="$T/plain"
mkdir -p "$plain" "$T/elsewhere"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$WIN/axhost.exe" "$plain/"
cd "$T/elsewhere"
timeout 120 wine "$plain/axhost.exe" "$(winepath -w "$plain")" unregistered 2>&1 | tr -d '\r' >axhost.out
check "unregistered: the container's checks pass with WorkDirectory the control's folder" \
  grep -q "^axhost: [0-9]* passed, 0 failed$" axhost.out
grep "^FAIL" axhost.out >&2
records_there_not_here() { files_nonempty "$1/log.txt" "$1/kekka.txt" && files_missing log.txt kekka.txt; }
check "unregistered: record files in the control's folder, none in the current one" records_there_not_here "$plain"
check "IObjectSafety: no option supported, none enabled" grep -q "^safety get IDispatch: hr=0x00000000 supported=0 enabled=0$" axhost.out
check "IObjectSafety: being made safe for untrusted callers or data is refused (E_FAIL)" \
  has_lines axhost.out "safety set option 1: hr=0x80004005" "safety set option 2: hr=0x80004005"
sed -n 's/^safety/  safety/p' axhost.out | sort -u

# --- registration-free: a host whose application manifest names the control's assembly
free="$T/free host"
mkdir -p "$free/Tavo" "$T/free cwd"
cp "$WIN/axhost.exe" "$free/"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$WIN/Tavo.manifest" "$free/Tavo/"
case $PIXO_ARCH in x64) march=amd64 ;; *) march=x86 ;; esac
cat >"$free/axhost.exe.manifest" <<MANIFEST
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="axhost" version="1.0.0.0" processorArchitecture="$march"/>
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Tavo" version="1.0.0.0" processorArchitecture="$march"/>
  </dependentAssembly></dependency>
</assembly>
MANIFEST
check "registration-free: nothing of the control is registered" no_keys "HKCR\\CLSID\\$CLSID" 'HKCR\TAVO.TavoCtrl.1'
(cd "$T/free cwd" && timeout 120 wine "$free/axhost.exe" "$(winepath -w "$free/Tavo")" 2>&1 | tr -d '\r' >"$T/free.out")
check "registration-free: the container creates the control and its checks pass" \
  grep -q "^axhost: [0-9]* passed, 0 failed$" "$T/free.out"
grep "^FAIL" "$T/free.out" >&2
game_there_nothing_in() { whole_game_in "$1" && only_entries "$2"; }  # records-folder empty-folder
check "registration-free: the record files are in the control's folder, none in the host's current one" \
  game_there_nothing_in "$free/Tavo" "$T/free cwd"

# --- per-user registration: the keys under the user's classes, none in the machine's
user="$T/user control"
mkdir -p "$user"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$user/"
(cd "$user" && wine regsvr32 /s /n /i:user Tavo.ocx; echo $? >"$T/rc")
check "regsvr32 /n /i:user registers (exit code 0)" rc_is 0
ushort=$(q "HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32" /ve | sed -nE 's/^ +\(Default\) +REG_SZ +(.*)$/\1/p')
q "HKCU\\Software\\Classes\\CLSID\\$CLSID" /s | flatten | sed 's/^HKEY_CURRENT_USER.Software.Classes/HKEY_CLASSES_ROOT/' |
  sort >"$T/user.flat"
(short=$ushort; expected_keys | sort) >"$T/user.expected"
check "per-user: the control class with its ten values under HKCU\\Software\\Classes" diff "$T/user.expected" "$T/user.flat"
user_classes_complete() {
  default_has 'HKCU\Software\Classes\TAVO.TavoCtrl.1\CLSID' "$CLSID" &&
    default_has "HKCU\\Software\\Classes\\CLSID\\$PAGE\\InprocServer32" "$ushort" &&
    default_has "HKCU\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\$tlbkey" tavo.ocx &&
    [ "$(q 'HKCU\Software\Classes\Interface' /s | grep -c 'ProxyStubClsid32$')" = 2 ]
}
check "per-user: ProgID, page class, type library and its interfaces under the user's classes" user_classes_complete
check "per-user: nothing in the machine's classes" no_keys "HKLM\\Software\\Classes\\CLSID\\$CLSID" \
  'HKLM\Software\Classes\TAVO.TavoCtrl.1' "HKLM\\Software\\Classes\\TypeLib\\$LIBID" "HKLM\\Software\\Classes\\CLSID\\$PAGE"
# Wine 8 reads classes from the machine's part alone: a script host cannot create a class
# registered for one user there (on Windows HKEY_CLASSES_ROOT shows the user's classes too).
(cd "$user" && wine regsvr32 /s /u /n /i:user Tavo.ocx; echo $? >"$T/rc")
check "regsvr32 /u /n /i:user unregisters (exit code 0)" rc_is 0
user_classes_gone() {
  no_keys "HKCU\\Software\\Classes\\CLSID\\$CLSID" "HKCU\\Software\\Classes\\CLSID\\$PAGE" \
    'HKCU\Software\Classes\TAVO.TavoCtrl.1' "HKCU\\Software\\Classes\\TypeLib\\$LIBID" &&
    ! q 'HKCU\Software\Classes\Interface' /s | grep -q ProxyStubClsid
}
check "per-user: after /u every key of the control is gone from the user's classes" user_classes_gone

# --- a control folder that cannot be written: the record files go to the user's folder
ro="$T/readonly control"
mkdir -p "$ro"
if mount -t tmpfs -o size=8m tmpfs "$ro"; then
  cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$ro/"
  (cd "$ro" && wine regsvr32 /s Tavo.ocx)
  mount -o remount,ro "$ro"
  mkdir -p "$T/ro cwd"
  cp "$root/tests/wine/tavo_client.vbs" "$T/ro cwd/"
  own=$(winepath -u 'C:\users\'"$(whoami)"'\AppData\Local\Tavo')
  rm -rf "$own"
  (cd "$T/ro cwd" && timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >"$T/ro.out")
  check "a read-only control folder: a whole game" passed_script "$T/ro.out"
  check "a read-only control folder: WorkDirectory names the user's record folder" \
    grep -qi '^ok: WorkDirectory is C:\\users\\.*\\AppData\\Local\\Tavo$' "$T/ro.out"
  check "a read-only control folder: the record files are in the user's folder" whole_game_in "$own"
  nothing_beside_control() { only_entries "$ro" Tavo.ocx tavo.exe && only_entries "$T/ro cwd" tavo_client.vbs; }
  check "a read-only control folder: nothing was written beside the control" nothing_beside_control
  wine regsvr32 /s /u "$(winepath -w "$ro/Tavo.ocx")"
  wineserver -k >/dev/null 2>&1; sleep 1
  umount "$ro"
else
  check "a tmpfs can be mounted for the read-only folder test" false
fi

# --- both architectures in one 64-bit prefix (where this machine runs 32-bit programs)
arch_detect >/dev/null 2>&1
if [ "$PIXO_ARCH" = x64 ] && [[ " $PIXO_RUN_ARCHS " == *" x86 "* ]]; then
  W32=$root/build/win32
  view() {  # 32|64 key: the key's values in that registry view, flattened
    wine reg query "$2" /s "/reg:$1" 2>/dev/null | tr -d '\r' | grep -v '^reg: ' | flatten | sort
  }
  export -f view
  d32="$T/x86 control" d64="$T/x64 control"
  mkdir -p "$d32" "$d64"
  # Each control drives an engine of the other architecture.
  cp "$W32/Tavo.ocx" "$WIN/tavo.exe" "$root/tests/wine/tavo_client.vbs" "$d32/"
  cp "$WIN/Tavo.ocx" "$W32/tavo.exe" "$root/tests/wine/tavo_client.vbs" "$d64/"
  (cd "$d64" && wine regsvr32 /s Tavo.ocx; echo $? >"$T/rc")
  check "x64 control: registers (exit code 0)" rc_is 0
  (cd "$d32" && wine 'C:\windows\syswow64\regsvr32.exe' /s Tavo.ocx; echo $? >"$T/rc")
  check "x86 control in a 64-bit prefix: the 32-bit regsvr32 registers it" rc_is 0
  short_of() { echo "Z:$(winepath -s "$1" | tr / '\\')"; }
  s32=$(short_of "$d32/Tavo.ocx") s64=$(short_of "$d64/Tavo.ocx")
  server_in() { view "$1" "HKCR\\CLSID\\$CLSID\\InprocServer32" | grep -F '|(Default)|' | cut -d'|' -f3; }
  check "the x64 control's class is in the 64-bit registry view" test "$(server_in 64)" = "$s64"
  check "the x86 control's class is in the 32-bit registry view" test "$(server_in 32)" = "$s32"
  v32=$(view 32 "HKCR\\CLSID\\$CLSID") v64=$(view 64 "HKCR\\CLSID\\$CLSID")
  check "the two views hold the same keys and values but for the module path" \
    test "${v32//"$s32"/MODULE}" = "${v64//"$s64"/MODULE}"
  check "the class has its ten values in each view" test "$(echo "$v64" | grep -c .)" = 10
  library_of() { default_has "HKCR\\TypeLib\\$LIBID\\1.0\\0\\$1" "$2"; }  # platform folder
  both_platforms() { library_of win32 "x86 control" && library_of win64 "x64 control"; }
  check "both type library platforms are registered" both_platforms
  (cd "$d64" && timeout 120 wine cscript //nologo tavo_client.vbs 2>&1 | tr -d '\r' >vbs.out)
  game_through() { passed_script "$1/vbs.out" && whole_game_in "$1"; }  # control folder
  check "x64 control, x86 engine: a whole game" game_through "$d64"
  (cd "$d32" && timeout 120 wine 'C:\windows\syswow64\cscript.exe' //nologo tavo_client.vbs 2>&1 | tr -d '\r' >vbs.out)
  check "x86 control, x64 engine: a whole game" game_through "$d32"
  (cd "$d32" && wine 'C:\windows\syswow64\regsvr32.exe' /s /u Tavo.ocx; echo $? >"$T/rc")
  check "x86 control: unregisters (exit code 0)" rc_is 0
  check "unregistering the x86 control removes its class from the 32-bit view" test -z "$(view 32 "HKCR\\CLSID\\$CLSID")"
  interface_only_in_64() { [ -z "$(view 32 "HKCR\\Interface\\$DISP")" ] && [ -n "$(view 64 "HKCR\\Interface\\$DISP")" ]; }
  check "unregistering the x86 control removes the 32-bit view's interface keys, not the 64-bit view's" interface_only_in_64
  x64_whole() {
    [ "$(server_in 64)" = "$s64" ] && no_keys "HKCR\\TypeLib\\$LIBID\\1.0\\0\\win32" && library_of win64 "x64 control"
  }
  check "unregistering the x86 control leaves the x64 one whole" x64_whole
  (cd "$d64" && wine regsvr32 /s /u Tavo.ocx)
  nothing_left() {
    [ -z "$(view 64 "HKCR\\CLSID\\$CLSID")" ] && [ -z "$(view 64 'HKCR\TAVO.TavoCtrl.1')" ] && no_keys "HKCR\\TypeLib\\$LIBID"
  }
  check "unregistering the x64 control too leaves nothing" nothing_left
fi

finish
