# The one Wine environment of the scripts, the tests and the build's winerun; sourced, not run.
# Everything runs under 64-bit Wine: these machines' kernels may not run 32-bit Linux
# programs, and Debian's 32-bit loader (/usr/lib/wine/wine, behind /usr/bin/wine) is one.
# The 64-bit loader starts a 32-bit Windows program through that loader where it can run.
#   use_wine_prefix PREFIX   the settings every Wine program here runs with, in PREFIX; code
#                            page 932 as on a Japanese system, or 1252 as on an English one
#                            with OSTAVIN_LOCALE=C.UTF-8
#   wine / wineserver        the 64-bit loader ($wine_loader) and server
#   start_wine / stop_wine   one wineserver for a whole run (see scripts/test)
#   winpath PATH             a Linux path as the Z: path Windows programs take
#   runs_32bit               whether this machine runs 32-bit programs (status 0 if it does)

use_wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=${OSTAVIN_LOCALE:-ja_JP.UTF-8}
}

wine_loader=/usr/lib/wine/wine64
wine() { "$wine_loader" "$@"; }
wineserver() { /usr/lib/wine/wineserver64 "$@"; }

# Started here with their output kept off our pipes: started by a test instead, the
# wineserver and Wine's background processes would inherit the caller's pipe and keep it
# waiting after the test has ended.
start_wine() {
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine wineboot >/dev/null 2>&1 </dev/null || true
}

stop_wine() { wineserver -k >/dev/null 2>&1 || true; }

winpath() { echo "Z:${1//\//\\}"; }

# The 32-bit Linux loader starts (the kernel's 32-bit emulation is on) and 32-bit Wine is
# installed. Prints why not when it does not.
runs_32bit() {
  local why
  if [ ! -e /lib/ld-linux.so.2 ]; then
    echo "the 32-bit C library (libc6:i386) is not installed"
    return 1
  fi
  if ! why=$(/lib/ld-linux.so.2 --version 2>&1 >/dev/null); then
    echo "/lib/ld-linux.so.2: ${why##*: }"
    return 1
  fi
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "32-bit Wine (wine32:i386) is not installed"
    return 1
  fi
}
