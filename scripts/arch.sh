# Which Windows architectures this machine runs under Wine. Source it; it sets
#   PIXO_RUN_ARCHS   the architectures to run, in order: "x86 x64", "x64" or "x86"
#   PIXO_ARCH_WHY    a short reason when one of the two is left out (empty otherwise)
# The machine is asked, not its kernel configuration: some kernels run no 32-bit
# programs at all, and then the 32-bit Wine loader fails to start. PIXO_ARCHS="x64"
# (or "x86", "x86 x64") forces the choice; an architecture the machine cannot run is
# then an error. PIXO_NO32=1 behaves as on a machine that runs no 32-bit programs.
arch_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Starts the smallest 32-bit Linux program there is (91 bytes: exit(0) through int 0x80):
# the kernel's answer says whether this machine runs 32-bit programs at all, before any
# 32-bit package is installed.
machine_runs_32bit() {
  [ -z "${PIXO_NO32:-}" ] || return 1
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/pixo-elf32.XXXXXX") || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\x31\xc0\x40\xcd\x80' >"$probe"
  chmod +x "$probe"
  { (exec "$probe") >/dev/null 2>&1; } 2>/dev/null && rc=0 || rc=$?
  rm -f "$probe"
  return $rc
}

# Why the 32-bit build is not run here.
no32_reason() {
  if [ -n "${PIXO_NO32:-}" ]; then
    echo "PIXO_NO32 is set: run as a machine without 32-bit programs"
  elif ! machine_runs_32bit; then
    echo "this machine runs no 32-bit programs"
  elif [ -s "$arch_root/build/x86-runtime" ]; then
    cat "$arch_root/build/x86-runtime"
  else
    echo "32-bit Wine is not installed"
  fi
}

arch_can_run() {  # x86|x64
  case $1 in
    x86) [ -z "${PIXO_NO32:-}" ] && /usr/lib/wine/wine --version >/dev/null 2>&1 ;;
    x64) /usr/lib/wine/wine64 --version >/dev/null 2>&1 ;;
    *) return 1 ;;
  esac
}

arch_detect() {
  PIXO_RUN_ARCHS=""
  PIXO_ARCH_WHY=""
  local a
  if [ -n "${PIXO_ARCHS:-}" ]; then
    for a in $PIXO_ARCHS; do
      case $a in x86|x64) ;; *) echo "PIXO_ARCHS: unknown architecture '$a' (x86 or x64)" >&2; return 1 ;; esac
      if ! arch_can_run "$a"; then
        echo "PIXO_ARCHS asks for $a, but this machine cannot run $a Windows programs under Wine" >&2
        return 1
      fi
    done
    for a in x86 x64; do
      [[ " $PIXO_ARCHS " == *" $a "* ]] && PIXO_RUN_ARCHS="${PIXO_RUN_ARCHS:+$PIXO_RUN_ARCHS }$a"
    done
    [ "$PIXO_RUN_ARCHS" = "x86 x64" ] || PIXO_ARCH_WHY="PIXO_ARCHS=\"$PIXO_ARCHS\""
    return 0
  fi
  local why32="" why64=""
  if arch_can_run x86; then PIXO_RUN_ARCHS=x86; else why32=$(no32_reason); fi
  if arch_can_run x64; then
    PIXO_RUN_ARCHS="${PIXO_RUN_ARCHS:+$PIXO_RUN_ARCHS }x64"
  else
    why64="64-bit Wine does not start here"
  fi
  if [ -z "$PIXO_RUN_ARCHS" ]; then
    echo "this machine runs neither 32-bit nor 64-bit Windows programs under Wine (/usr/lib/wine/wine and wine64 fail to start)" >&2
    return 1
  fi
  PIXO_ARCH_WHY="$why32$why64"
}

# "x64 only (this machine runs no 32-bit programs)", or "x86 and x64".
arch_summary() {
  case $PIXO_RUN_ARCHS in
    "x86 x64") echo "x86 and x64" ;;
    *) echo "$PIXO_RUN_ARCHS only${PIXO_ARCH_WHY:+ ($PIXO_ARCH_WHY)}" ;;
  esac
}
