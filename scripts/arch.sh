# Which Windows architectures this machine runs under Wine. Source it; it sets
#   PIXO_RUN_ARCHS   the architectures to run, in order: "x86 x64", "x64" or "x86"
#   PIXO_ARCH_WHY    a short reason when one of the two is left out (empty otherwise)
# The machine is asked, not its kernel configuration: some kernels run no 32-bit
# programs at all, and then the 32-bit Wine loader fails to start. PIXO_ARCHS="x64"
# (or "x86", "x86 x64") forces the choice; an architecture the machine cannot run is
# then an error.
arch_can_run() {  # x86|x64
  case $1 in
    x86) /usr/lib/wine/wine --version >/dev/null 2>&1 ;;
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
  if arch_can_run x86; then PIXO_RUN_ARCHS=x86; else why32="this machine runs no 32-bit programs"; fi
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
