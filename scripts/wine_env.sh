# The one Wine environment of the scripts, the tests and the build's winerun; sourced, not run.
#   use_wine_prefix PREFIX   the settings every Wine program here runs with, in PREFIX
#   start_wine / stop_wine   one wineserver for a whole run (see scripts/test)
#   winpath PATH             a Linux path as the Z: path Windows programs take

use_wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8
}

# Started here with their output kept off our pipes: started by a test instead, the
# wineserver and Wine's background processes would inherit the caller's pipe and keep it
# waiting after the test has ended.
start_wine() {
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine wineboot >/dev/null 2>&1 </dev/null || true
}

stop_wine() { wineserver -k >/dev/null 2>&1 || true; }

winpath() { echo "Z:${1//\//\\}"; }
