#!/usr/bin/env bash
# Runs one Windows program under Wine for the build and the tests (CTest's
# emulator): quiet, in its own prefix (WINEPREFIX, by default
# ~/.wine-talvek), which is made on first use.
#
# The wine server is started here with every standard stream on /dev/null:
# started by the program's own run instead, it would inherit the pipe the
# caller reads the program's output from, and the caller would wait for
# the end of that pipe for as long as the server lives.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-talvek}
export WINEDEBUG=${WINEDEBUG:--all}
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64 || command -v wine)
mkdir -p "$WINEPREFIX"
# The lock's descriptor is closed for what outlives this script (the server,
# the prefix's services): holding it, they would block every later run.
(
    flock 9
    # Kept for a minute after its last program, not for ever, unless the
    # caller ends it itself (TALVEK_WINESERVER_KEEP=1, as the test run does:
    # a program started while the server times out fails at once).  A new
    # server gets the prefix's own processes (services, devices) started here
    # too: started by the program's run, they would hold its output open for
    # as long as the server lives.
    keep=-p60
    [ "${TALVEK_WINESERVER_KEEP:-0}" = 1 ] && keep=-p
    if wineserver "$keep" </dev/null >/dev/null 2>&1 9>&-; then
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine64" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
            # Making the prefix starts a desktop process with this caller's
            # display (the build's: none), and later windows would go to it
            # and fail: that server ends here, and a new one starts.
            wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
            wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
            wineserver "$keep" </dev/null >/dev/null 2>&1 9>&- || true
        fi
        # Without the desktop process: started here it would keep this
        # caller's display (or none) for the next programs' windows.
        WINEDLLOVERRIDES="explorer.exe=d" "$wine64" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX/.talvek-lock"
exec "$wine64" "$@"
