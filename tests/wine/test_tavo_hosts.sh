#!/usr/bin/env bash
# Tavo.ocx in hard cases: End then Start at once, two hosts playing from one folder, no
# engine at all, a control in a folder deeper than MAX_PATH with a program planted where
# the host runs, another copy unregistered, and the hives registrations land in.
source "$(dirname "$0")/lib.sh"
CLSID='{C07C50B1-CFB2-4B07-A496-17F752506D04}'
LIBID='{CC465935-7000-4BB9-B3EC-7F5BAEE6C44E}'
own_prefix
case $PIXO_ARCH in x64) platform=win64 ;; *) platform=win32 ;; esac

q() { wine reg query "$@" 2>/dev/null | tr -d '\r' | grep -v '^reg: '; }
default_of() { q "$1" /ve | sed -nE 's/^ +\(Default\) +REG_(EXPAND_)?SZ +(.*)$/\2/p'; }
export -f q default_of
probe() {  # output-file mode args...: the probe host, from the folder $T/host
  local out=$1
  shift
  (cd "$T/host" && timeout 300 wine "$WIN/tavoprobe.exe" "$@" 2>&1 | tr -d '\r' >"$out")
}
probe_ok() { grep -q "^tavoprobe .*: ok$" "$1" || { grep -v '^tavoprobe' "$1" | head -n 8; return 1; }; }
mkdir -p "$T/host"

# --- a control folder deeper than MAX_PATH, loaded by a \\?\ name without registration,
#     from a host whose current folder holds a planted tavo.exe; nothing of the control is
#     registered yet
deep=$T
for i in 1 2 3 4 5 6; do deep="$deep/$(printf 'level%d-%0190d' "$i" 0)"; done
mkdir -p "$deep"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$deep/"
planted="$T/downloads"
mkdir -p "$planted"
cp "$WIN/fakeengine.exe" "$planted/tavo.exe"
deep_win="\\\\?\\Z:$(echo "$deep" | tr / '\\')\\Tavo.ocx"
echo "  control folder of ${#deep} characters"
(cd "$planted" && FAKE_ENGINE_MARK="Z:$(echo "$T/planted-ran.txt" | tr / '\\')" timeout 120 \
  wine "$WIN/tavoprobe.exe" calls "$deep_win" 2>&1 | tr -d '\r' >"$T/deep.out"; echo "${PIPESTATUS[0]}" >"$T/rc")
check "a control deeper than MAX_PATH: calls by name return, the host runs to its end" bash -c \
  "grep -q '^tavoprobe calls: ok$' '$T/deep.out' && [ \$(cat '$T/rc') = 0 ]"
check "a control deeper than MAX_PATH: the program planted in the host's folder never runs" file_missing "$T/planted-ran.txt"
check "a control deeper than MAX_PATH: nothing is written in the host's folder" \
  test "$(ls "$planted")" = "tavo.exe"
check "a control deeper than MAX_PATH: WorkDirectory is its own folder, where its records are" bash -c \
  "grep -q '^WorkDirectory by DISPID: \\[.*level6-' '$T/deep.out' && [ -e '$deep/log.txt' ]"
check "a control deeper than MAX_PATH: no engine starts there, INFO -1, every call S_OK" bash -c \
  "grep -qx 'INFO by DISPID: -1' '$T/deep.out' && [ \$(grep -c '^by DISPID .*: 0x00000000$' '$T/deep.out') = 4 ]"
sed 's/^/  /' "$T/deep.out" | grep -v '^  tavoprobe' | cut -c1-120

dir="$T/control"
mkdir -p "$dir"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$dir/"
(cd "$dir" && wine regsvr32 /s Tavo.ocx)

# --- End, then Start at once: the engine that is ending is replaced, every time
probe "$T/loop.out" loop 10
check "End, Start, Goo ten times with no pause: 11 games" grep -qx "loop: 11 of 11 games started" "$T/loop.out"

# --- two hosts at once: each has records of its own, nothing lost or mixed
cp "$WIN/fakeengine.exe" "$dir/tavo.exe"
export FAKE_ENGINE_MODE=pid
probe "$T/host1.out" play 30 &
first=$!
probe "$T/host2.out" play 30
wait $first
folders() { sed -n 's/^folder: //p' "$T/host1.out" "$T/host2.out" | sort; }
one_in_each() {  # the control's folder and its host2, one host in each
  local a b
  { read -r a; read -r b; } < <(folders)
  [ -n "$a" ] && [ "$b" = "$a\\host2" ] || { echo "folders: $a | $b"; return 1; }
}
check "two hosts at once: the first host's checks hold" probe_ok "$T/host1.out"
check "two hosts at once: the second host's checks hold" probe_ok "$T/host2.out"
check "two hosts at once: one plays in the control's folder, the other in host2 below it" one_in_each
check "two hosts at once: each log.txt names its own host's engines alone" bash -c \
  "[ \$(cat '$T/host1.out' '$T/host2.out' | grep -c 'all of them this host.s: yes') = 2 ]"
probe "$T/after.out" play 1
check "a host that ended released its claim: the next one plays in the control's folder" bash -c \
  "grep -q '^folder: ' '$T/after.out' && ! grep -q '^folder: .*host2$' '$T/after.out'"
(cd "$T/host" && timeout 300 wine "$WIN/tavoprobe.exe" play 200 >/dev/null 2>&1) &
killed=$!
for _ in $(seq 1 100); do grep -q 'pid' "$dir/log.txt" 2>/dev/null && break; sleep 0.1; done
pkill -9 -f 'tavoprobe.exe play 200' 2>/dev/null
wait "$killed" 2>/dev/null
sleep 1
probe "$T/stale.out" play 1
check "the claim of a killed host is taken over" bash -c \
  "grep -q '^folder: ' '$T/stale.out' && ! grep -q '^folder: .*host2$' '$T/stale.out' && grep -q ': ok$' '$T/stale.out'"

# --- no engine that runs: no game, INFO -1, every method returns
dead_case() {  # description
  probe "$T/dead.out" dead
  check "$1: no NewGameStarted, INFO -1, every call S_OK" grep -qx "dead: 0 NewGameStarted, INFO -1, every call S_OK: yes" \
    "$T/dead.out"
}
rm -f "$dir/tavo.exe"
dead_case "no engine"
echo "this is a text file" >"$dir/tavo.exe"
dead_case "a text file as the engine"
cp "$WIN/fakeengine.exe" "$dir/tavo.exe"
FAKE_ENGINE_MODE=crash dead_case "an engine crashing at start"
unset FAKE_ENGINE_MODE
cp "$WIN/tavo.exe" "$dir/tavo.exe"

# --- summary.txt held by another program (open for reading alone) or a folder in its
#     place: no hand waits for it, no summary the engine did not write is reported, and
#     after the game's last hand INFO reads 2
for how in file folder; do
  probe "$T/held.out" held "$how"
  check "summary.txt held ($how): hands at once, no event, the last good INFO, then INFO 2" probe_ok "$T/held.out"
  grep -E '^(held|after)' "$T/held.out" | sed 's/^/  /'
done

# --- every record folder claimed by others: no game, and nothing written in theirs
printf 'another host\r\n' >"$dir/log.txt"
cp "$dir/log.txt" "$T/log.before"
probe "$T/squat.out" squat "$(winepath -w "$dir" | tr -d '\r')"
check "every record folder claimed: no game (INFO -1, no event), every call S_OK" \
  grep -qx "dead: 0 NewGameStarted, INFO -1, every call S_OK: yes" "$T/squat.out"
check "every record folder claimed: the claimed folders' records are left alone" cmp -s "$T/log.before" "$dir/log.txt"

# --- an event that cannot be fired (memory runs out while firing) is lost, never the host
ef="$T/eventfault"
mkdir -p "$ef"
cp "$WIN/eventfault.exe" "$WIN/tavo.exe" "$ef/"
(cd "$ef" && timeout 120 wine eventfault.exe 2>&1 | tr -d '\r' >"$T/eventfault.out"; echo "${PIPESTATUS[0]}" >"$T/rc")
check "events whose firing throws bad_alloc: the host runs on, and events come again after" bash -c \
  "[ \$(cat '$T/rc') = 0 ] && grep -q 'the host ran on' '$T/eventfault.out'"
sed 's/^/  /' "$T/eventfault.out"

# --- regsvr32 /u of another copy leaves the registered one
other="$T/other copy"
mkdir -p "$other"
cp "$WIN/Tavo.ocx" "$other/"
registered=$(default_of "HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32")
(cd "$other" && wine regsvr32 /s /u Tavo.ocx; echo $? >"$T/rc")
check "unregistering another copy: exit code 0" rc_is 0
check "unregistering another copy: the registered control's class, ProgID and type library stay" bash -c "
  [ -n '$registered' ] && [ \"\$(default_of 'HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32')\" = '$registered' ] &&
  [ -n \"\$(q 'HKLM\\Software\\Classes\\TAVO.TavoCtrl.1')\" ] &&
  [ -n \"\$(q 'HKLM\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\$platform')\" ]"

# --- machine keys under HKLM\Software\Classes and user keys under HKCU\Software\Classes,
#     whatever the other hive holds
(cd "$dir" && wine regsvr32 /s /u Tavo.ocx)
wine reg add "HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32" /ve /d 'C:\user\Tavo.ocx' /f >/dev/null 2>&1
(cd "$dir" && wine regsvr32 /s Tavo.ocx)
check "machine registration: the class and type library under HKLM\\Software\\Classes" bash -c "
  default_of 'HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32' | grep -qi 'tavo.ocx\$' &&
  [ -n \"\$(q 'HKLM\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\$platform')\" ]"
check "machine registration: the user's own keys are left as they were" bash -c "
  [ \"\$(default_of 'HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32')\" = 'C:\\user\\Tavo.ocx' ] &&
  [ -z \"\$(q 'HKCU\\Software\\Classes\\CLSID\\$CLSID\\ProgID')\" ] && [ -z \"\$(q 'HKCU\\Software\\Classes\\TypeLib\\$LIBID')\" ]"
(cd "$dir" && wine regsvr32 /s /u Tavo.ocx)
check "machine removal: the machine's keys go, the user's stay" bash -c "
  [ -z \"\$(q 'HKLM\\Software\\Classes\\CLSID\\$CLSID')\" ] && [ -z \"\$(q 'HKLM\\Software\\Classes\\TypeLib\\$LIBID')\" ] &&
  [ \"\$(default_of 'HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32')\" = 'C:\\user\\Tavo.ocx' ]"
wine reg delete "HKCU\\Software\\Classes\\CLSID\\$CLSID" /f >/dev/null 2>&1
(cd "$dir" && wine regsvr32 /s /n /i:user Tavo.ocx)
check "user registration: the class and type library under HKCU\\Software\\Classes, nothing under HKLM" bash -c "
  default_of 'HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32' | grep -qi 'tavo.ocx\$' &&
  [ -n \"\$(q 'HKCU\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\$platform')\" ] &&
  [ -z \"\$(q 'HKLM\\Software\\Classes\\CLSID\\$CLSID')\" ] && [ -z \"\$(q 'HKLM\\Software\\Classes\\TypeLib\\$LIBID')\" ]"
(cd "$dir" && wine regsvr32 /s /u /n /i:user Tavo.ocx)
finish
