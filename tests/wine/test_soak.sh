#!/usr/bin/env bash
# Soak and leak tests: controls created, played and released again and again; a long
# run of hands against an engine that crashes, hangs and garbles its output at random
# points (fixed seed); many runs of the capture program. The process's handles, GDI and
# USER objects, threads and private memory must be the same at the end as after the
# first round, within the bounds soakhost states. In make test the runs are short;
# make bench runs them in full (SOAK_CONTROLS=200 SOAK_HANDS=10000 SOAK_PIXO=500).
source "$(dirname "$0")/lib.sh"
controls=${SOAK_CONTROLS:-20}
hands=${SOAK_HANDS:-1000}
pixo_runs=${SOAK_PIXO:-40}
# Chances per ten thousand replies: crash, hang, garble, cut short. The short run has
# more of them, so that every kind happens in a few hundred hands.
faults=${SOAK_FAULTS:-100,20,500,5}

own_prefix

soak() {  # name folder args...: runs soakhost, output in $T/name.out, shown
  local name=$1 dir=$2
  shift 2
  local start=$(date +%s)
  ( cd "$dir" && timeout 1800 wine "$WIN/soakhost.exe" "$@" ) 2>/dev/null | tr -d '\r' >"$T/$name.out"
  echo "${PIPESTATUS[0]}" >"$T/rc"
  sed "s/^/  $name: /" "$T/$name.out"
  echo "  $name: $(( $(date +%s) - start )) s"
}

# --- the control against the engine program
real="$T/real"
mkdir -p "$real"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$real/"
(cd "$real" && wine regsvr32 /s Tavo.ocx)
soak controls "$real" controls "$controls"
check "$controls controls created, played to the result and released: the host is well" rc_is 0
check "$controls controls: every game reached its result" grep -q "^controls cycles=$controls results=$controls " "$T/controls.out"
check "$controls controls: resources after the last as after the first" grep -qx "soak: ok" "$T/controls.out"

# --- the control against an engine that crashes, hangs and garbles
chaos="$T/chaos"
mkdir -p "$chaos"
cp "$WIN/Tavo.ocx" "$chaos/"
cp "$WIN/fakeengine.exe" "$chaos/tavo.exe"
(cd "$chaos" && wine regsvr32 /s Tavo.ocx)
FAKE_ENGINE_MODE=chaos FAKE_ENGINE_SEED=17 FAKE_ENGINE_FAULTS=$faults FAKE_ENGINE_HANG_ENGINE=3 soak hands "$chaos" hands "$hands"
check "$hands hands against a chaotic engine: the host is well" rc_is 0
check "$hands hands: every method returned, no event inside a call, resources kept" grep -qx "soak: ok" "$T/hands.out"
for fault in crash hang garble; do
  check "$hands hands: the engine did $fault at least once" grep -qx "$fault" "$chaos/chaos-faults.txt"
done
check "$hands hands: engines were started again after crashes" bash -c "[ \$(cat '$chaos/chaos.txt') -gt 1 ]"
echo "  faults: $(sort "$chaos/chaos-faults.txt" | uniq -c | tr -s ' \n' ' ')engines started: $(cat "$chaos/chaos.txt")"

# --- the capture program, many times over
out="$T/pixo out"
mkdir -p "$out"
echo keep >"$out/keep.txt"
soak pixo "$out" pixo "$pixo_runs" "$(winepath -w "$WIN/pixo.exe")" "$(winepath -w "$out")"
check "$pixo_runs capture runs: each exited as expected, left its file and nothing else" rc_is 0
check "$pixo_runs capture runs: all as expected" grep -q "^pixo runs=$pixo_runs as_expected=$pixo_runs " "$T/pixo.out"
check "$pixo_runs capture runs: the other file is untouched" bash -c "[ \"\$(cat '$out/keep.txt')\" = keep ]"
check "$pixo_runs capture runs: no temporary file" bash -c "! ls '$out' | grep -q '\\.tmp\$'"
for f in soak.png rect.png; do check "$f is a valid PNG" pngcheck -q "$out/$f"; done
check "soak.gif is a valid GIF" bash -c "identify '$out/soak.gif' | grep -q GIF"
check "soak.jpg is a valid JPEG" bash -c "djpeg '$out/soak.jpg' >/dev/null"
finish
