#!/usr/bin/env bash
# The engine bridge under Wine, driven by a test host: a whole game against tavo.exe with
# the record files checked, and a fake engine that misbehaves in every way we know of.
# Nothing may hang, crash or leave a method waiting forever.
source "$(dirname "$0")/lib.sh"

host() {  # dir commands...: runs the test host, output in $T/out
  local dir=$1
  shift
  ( cd "$dir" && timeout 120 wine "$WIN/bridgehost.exe" "$(winepath -w "$dir")" "$@" ) 2>/dev/null | tr -d '\r' >"$T/out"
  echo "${PIPESTATUS[0]}" >"$T/rc"
}
has() { grep -qE "$1" "$T/out" || { echo "missing /$1/"; cat "$T/out"; return 1; }; }
ms_of() { sed -nE "s/^$1 ([0-9]+)ms.*/\1/p" "$T/out" | head -n 1; }

# --- a whole game against the engine program, in a directory with blanks in its name
real="$T/engine dir"
mkdir -p "$real"
cp "$WIN/tavo.exe" "$real/"
TAVO_SEED=5 host "$real" game
check "game: the host ends normally" rc_is 0
check "game: summary events, then new game, results and end" has "^listener0 events=SNS{9}RE$"
check "game: the second listener sees the same" has "^listener1 events=SNS{9}RE$"
check "game: the game is over and nothing waits" has "^game [0-9]+ms busy=0 running=0"
check "game: the paths" bash -c "grep -qxF 'summary path=$(winepath -w "$real")\\summary.txt' '$T/out' && \
  grep -qxF 'result path=$(winepath -w "$real")\\kekka.txt' '$T/out'"
check "game: kekka.txt holds the table rows and nothing of the header or player line" bash -c \
  "[ \$(grep -c . '$real/kekka.txt') -ge 10 ] && ! grep -q 'look-n-2' '$real/kekka.txt' && ! grep -q '^player' '$real/kekka.txt'"
check "game: kekka.txt lines end in CR LF" bash -c "head -n 1 '$real/kekka.txt' | grep -q \$'\\r\$'"
check "game: log.txt has every reply with a line end after each chunk" bash -c \
  "[ \$(grep -c '^NEXT HAND' '$real/log.txt') = 10 ] && grep -q '^end' '$real/log.txt' && grep -q '^INFO:2' '$real/log.txt'"
check "game: summary.txt is the engine's and complete" bash -c "grep -q '^NEXT HAND: ' '$real/summary.txt' && grep -q '^INFO: ' '$real/summary.txt'"
check "game: the engine has exited after End" has "^worker done=1$"

# Hands before Start and after the result are not sent.
TAVO_SEED=5 host "$real" m D Q sleep:300 D
check "hands before Start return at once" has "^m [0-9]+ms busy=0 running=0"
check "Start after End starts a new engine" has "^D [0-9]+ms busy=0 running=1 info=0$"
check "Start, End, Start: events" has "^listener0 events=SNESN$"

# --- the fake engine
fake="$T/fake"
mkdir -p "$fake"
cp "$WIN/fakeengine.exe" "$fake/tavo.exe"
run_fake() {  # mode commands...
  local mode=$1
  shift
  rm -f "$fake"/*.txt
  FAKE_ENGINE_MODE=$mode host "$fake" "$@"
}

slowest() {  # the longest time a command of the run took, in ms
  sed -nE 's/^[DmnbQ] ([0-9]+)ms.*/\1/p' "$T/out" | sort -n | tail -n 1
}

run_fake split D m m m Q
check "split replies: every command completes" has "^listener0 events=SNSSRE$"
check "split replies: NEXT HA and ND in two reads are one line: no command waits" test "$(slowest)" -lt 3000
check "split replies: a row cut between reads is one line of kekka.txt" bash -c \
  "[ \"\$(tr -d '\\r' <'$fake/kekka.txt' | tr '\\n' '|')\" = '1 rock paper engine|2 rock rock -|' ]"
check "split replies: the log shows every read" bash -c "[ \$(grep -c . '$fake/log.txt') -ge 20 ]"

run_fake bytewise D m m m D m Q
check "a reply cut at every byte: every command completes" has "^listener0 events=SNSSRSNSE$"
check "a reply cut at every byte: no command waits" test "$(slowest)" -lt 3000
check "a reply cut at every byte: INFO follows the summary" has "^m [0-9]+ms busy=0 running=1 info=1$"

# A result without its closing line: that hand waits for the silence limit, then the
# next game plays at normal speed and kekka.txt holds only the tables.
run_fake noclose D m m m D m m m Q
check "a result without its closing line: the events of both games" has "^listener0 events=SNSSSNSSRE$"
check "a result without its closing line: the second game does not wait" bash -c \
  "[ \$(sed -nE 's/^[DmQ] ([0-9]+)ms.*/\\1/p' '$T/out' | tail -n 5 | sort -n | tail -n 1) -lt 3000 ]"
check "a result without its closing line: kekka.txt holds only the table" bash -c \
  "[ \"\$(tr -d '\\r' <'$fake/kekka.txt' | tr '\\n' '|')\" = '1 rock paper engine|2 rock rock -|' ]"

# An engine that talks without end: Start returns by the deadline.
run_fake chatty D
check "a talkative engine: Start returns by the deadline" bash -c \
  "d=\$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out'); [ \"\$d\" -ge 14000 ] && [ \"\$d\" -lt 20000 ]"
check "a talkative engine: nothing waits afterwards" has "^D [0-9]+ms busy=0"

# An engine that ignores the end of its input is gone once its host has ended.
run_fake ignoreeof D m Q
check "an engine that stays: the host ends" rc_is 0
sleep 2
alive=$(stat -c %s "$fake/alive.txt" 2>/dev/null || echo 0)
sleep 1.5
check "an engine that stays: it is gone after its host" test "$(stat -c %s "$fake/alive.txt" 2>/dev/null || echo 0)" = "$alive"

run_fake garbage D m m m Q
check "garbage around replies: events" has "^listener0 events=SNSSRE$"

run_fake bigline D m m m Q
check "a 10 KB line in a reply: events" has "^listener0 events=SNSSRE$"
check "a 10 KB line in a reply: logged in several chunks" bash -c "[ \$(grep -c zzzz '$fake/log.txt') -ge 3 ]"

run_fake exitmid D m Q
check "engine exits mid-reply: the host ends" rc_is 0
check "engine exits mid-reply: Start returns promptly" bash -c "[ \$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out') -lt 3000 ]"
check "engine exits mid-reply: later commands do not wait" bash -c "[ \$(sed -nE 's/^Q ([0-9]+)ms.*/\\1/p' '$T/out') -lt 1000 ]"
check "engine exits mid-reply before answering Start: no game, no summary event" has "^listener0 events=E$"

run_fake crash D m Q
check "engine crashes: every method returns" bash -c "grep -q '^Q ' '$T/out' && [ \$(cat '$T/rc') = 0 ]"
check "engine crashes: Start returns promptly" bash -c "[ \$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out') -lt 3000 ]"

# A game, a crash in the middle of the next one, then a new game on a new engine.
rm -f "$fake/crashed.txt"
run_fake crashonce D m m m D m m D m m m Q
check "after a crash: the next Start starts a new engine and its game completes" has "^listener0 events=SNSSRSNSNSSRE$"
check "after a crash: the hand after the crash returns at once" bash -c \
  "[ \$(sed -nE 's/^m ([0-9]+)ms.*/\\1/p' '$T/out' | sed -n 5p) -lt 3000 ]"
check "after a crash: the new game's record files" bash -c \
  "[ \"\$(tr -d '\\r' <'$fake/kekka.txt' | tr '\\n' '|')\" = '1 rock paper engine|2 rock rock -|' ] && grep -q '^HANDS: (2:3)' '$fake/summary.txt'"

run_fake silent D Q
check "silent engine: Start gives up after the silence limit" bash -c \
  "d=\$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out'); [ \"\$d\" -ge 9000 ] && [ \"\$d\" -lt 15000 ]"
check "silent engine: End returns too" has "^Q [0-9]+ms busy=0"

# Hostile output: without end, one line of 100 MB, a summary of 100 MB of noise. Every
# command returns within its limit, the next Start recovers, and the host's memory stays
# bounded: peak commit and peak working set under 64 MiB (Wine counts no private bytes).
# The reads go through a 4 KiB buffer, lines are cut at 4 KiB, and the summary is read
# no further than 1024 pieces of 255 bytes.
memory_ok() {
  [ "$(sed -nE 's/^memory .*peak_commit_kb=([0-9]+).*/\1/p' "$T/out")" -lt 65536 ] &&
    [ "$(sed -nE 's/^memory .*peak_working_set_kb=([0-9]+).*/\1/p' "$T/out")" -lt 65536 ]
}
run_fake flood D D m Q
check "an engine that prints without end: Start returns by the deadline" bash -c \
  "d=\$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out' | head -n 1); [ \"\$d\" -ge 14000 ] && [ \"\$d\" -lt 20000 ]"
check "an engine that prints without end: it is ended (no game), and the next Start starts a new one" \
  has "^listener0 events=SNSE$"
check "an engine that prints without end: memory stays bounded" memory_ok
sed -n 's/^memory/  flood: memory/p' "$T/out"
# The same with the host stopped for 11 s once the flood is under way (a stalled machine):
# the time it did not run is not the engine's silence, so the flood runs to the deadline.
rm -f "$fake"/*.txt
(
  # Once the flood is being logged (Start has sent its D), whatever the machine's speed.
  for _ in $(seq 200); do [ "$(stat -c %s "$fake/log.txt" 2>/dev/null || echo 0)" -gt 1000000 ] && break; sleep 0.1; done
  p=$(pgrep -n -f '^[^ ]*bridgehost\.exe') && kill -STOP "$p" && sleep 11 && kill -CONT "$p"
) &
stopper=$!
run_fake flood D D m Q
wait "$stopper"
check "a stalled host while the engine floods: Start ends the engine at the deadline" bash -c \
  "d=\$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out' | head -n 1); [ \"\$d\" -ge 14000 ] && [ \"\$d\" -lt 20000 ]"
check "a stalled host while the engine floods: no game from it, and the next Start starts one" \
  has "^listener0 events=SNSE$"
run_fake hugeline D m D m m m Q
check "a line of 100 MB: every command returns and the game after it completes" has "^listener0 events=.*NSSRE$"
check "a line of 100 MB: memory stays bounded" memory_ok
sed -n 's/^memory/  hugeline: memory/p; s/^D \([0-9]*ms\).*/  hugeline: D \1/p' "$T/out"
run_fake hugesummary D m m m Q
check "a summary of 100 MB of noise: the game goes on" has "^listener0 events=SNSSRE$"
check "a summary of 100 MB of noise: no command waits" test "$(slowest)" -lt 3000
check "a summary of 100 MB of noise: memory stays bounded" memory_ok
sed -n 's/^memory/  hugesummary: memory/p' "$T/out"

missing="$T/missing"
mkdir -p "$missing"
host "$missing" D m Q
check "missing engine: the bridge exists and every method returns at once" bash -c \
  "grep -q '^bridge created' '$T/out' && [ \$(sed -nE 's/^D ([0-9]+)ms.*/\\1/p' '$T/out') -lt 1000 ] && grep -q '^worker done=1' '$T/out'"
check "missing engine: Start starts no game, End still broadcasts" has "^listener0 events=E$"

readonly_dir="$T/readonly"
mkdir -p "$readonly_dir/log.txt"  # a folder where log.txt should be: the log cannot be created
host "$readonly_dir" D Q
check "log.txt cannot be created: no bridge, nothing started" has "^bridge none"

finish
