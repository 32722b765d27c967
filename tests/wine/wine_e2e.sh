#!/usr/bin/env bash
# End to end under Wine: the Windows talvek-dl.exe against the Linux
# talvek-sim, whose pseudo-terminal is linked into the Wine prefix as a COM
# port.  One case per call:
#
#   download TYPE LAYOUT  the file is byte for byte what the Linux talvek-dl
#                         writes for the same simulated computer, apart from
#                         the root tstamp (LAYOUT: dcdml-metric or legacy)
#   cancel                Ctrl-C (SIGINT, which Wine hands to the console
#                         handler) during the dives: code 9999, no file
#   missing-port          a COM port that is not there: code 12
#   information           --version, --help and -list print to standard output
#                         and end with 0, without a window or a trace
#   hang-up TYPE          the simulator hangs up during the dives: the port is
#                         no longer open, code 21, no file
#   image                 -image, -new with the store in its default folder,
#                         -dump: the document of the stored memory, the
#                         store used by the second run, the dump as Linux's
#   planted-trace         a second name of another file at the trace's name:
#                         nothing is written through it
#   uncarriable           an argument UTF-8 cannot carry (a lone surrogate):
#                         a box naming it, code 1, nothing touched
#   no-desktop            no display at all: the download runs without its
#                         window, the trace says why; a report named NUL is
#                         written into the null device, a dump named COM1
#                         (a device) is refused
#
# Environment: TALVEK_DL_EXE (the Windows program), TALVEK_LINUX_BUILD (a
# Linux build tree with talvek-sim and talvek-dl), TALVEK_WINE_RUN
# (cmake/wine-run.sh), WINEPREFIX.  Needs Xvfb: the window is real.
set -euo pipefail

exe=${TALVEK_DL_EXE:?}
linux=${TALVEK_LINUX_BUILD:?}
winerun=${TALVEK_WINE_RUN:?}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-talvek}
export WINEDEBUG=-all

kind=${1:?case}
# A COM number and a display of its own per case, so cases run side by side.
case "$kind ${2:-} ${3:-}" in
    "download 1 dcdml-metric") n=11 ;;
    "download 1 legacy") n=12 ;;
    "download 2 dcdml-metric") n=13 ;;
    "download 2 legacy") n=14 ;;
    "download 3 dcdml-metric") n=15 ;;
    "download 3 legacy") n=16 ;;
    "cancel  ") n=17 ;;
    "missing-port  ") n=18 ;;
    "information  ") n=19 ;;
    "hang-up 1 ") n=20 ;;
    "hang-up 2 ") n=24 ;;
    "image  ") n=21 ;;
    "planted-trace  ") n=22 ;;
    "uncarriable  ") n=23 ;;
    "no-desktop  ") n=25 ;;
    *) echo "unknown case: $*" >&2; exit 2 ;;
esac

work=$(mktemp -d)
pids=()
links=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    for l in "${links[@]}"; do rm -f "$l"; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL ($*): $kind ${2:-}"
    for f in "$work"/*/talvek-dl/CDBLOG.txt "$work"/*.log "$work"/*/out.log; do
        [ -f "$f" ] && { echo "--- $f"; tail -n 15 "$f"; }
    done
    exit 1
}

# The prefix and its server exist before anything reads a program's output.
"$winerun" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

Xvfb ":$((200 + n))" -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$((200 + n))"
# The window needs the display: wait until the server listens.
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$((200 + n))" ] && break; sleep 0.1; done
[ -S "/tmp/.X11-unix/X$((200 + n))" ] || fail "Xvfb did not start"

# serve TYPE LINK [talvek-sim options]: a simulated computer on LINK.
serve() {
    local type=$1 link=$2
    shift 2
    rm -f "$link"
    "$linux/talvek-sim" --type "$type" --link "$link" "$@" >"$work/sim-$type-$(basename "$link").log" 2>&1 &
    pids+=($!)
    links+=("$link")
    for _ in $(seq 100); do [ -e "$link" ] && return 0; sleep 0.1; done
    fail "talvek-sim did not start"
}

# windows DIR ARGS...: talvek-dl.exe in DIR (its trace in DIR/talvek-dl);
# the status is Wine's (the low 8 bits of the Windows code).
windows() {
    local dir=$1
    shift
    mkdir -p "$dir/talvek-dl"
    (cd "$dir" && "$winerun" "$exe" "$@" </dev/null >"$dir/out.log" 2>&1)
}

# The Windows code in full, as a Windows program sees it.
windows_code() {
    local dir=$1
    shift
    mkdir -p "$dir/talvek-dl"
    local cmdline="$(WINEDEBUG=-all "$winerun" winepath -w "$exe" 2>/dev/null | tr -d '\r') $*"
    # Delayed expansion: %ERRORLEVEL% would be read before the program ran.
    { (cd "$dir" && "$winerun" cmd /v:on /c "$cmdline & echo code=!ERRORLEVEL!" </dev/null 2>&1) ||
        true; } | tr -d '\r' | sed -n 's/^code=//p'
}

trace_has() { grep -qF -- "$2" "$1/talvek-dl/CDBLOG.txt" 2>/dev/null; }

# The root's tstamp is the time of the download; everything else must match.
without_root_stamp() { sed '0,/ tstamp="[^"]*"/s/ tstamp="[^"]*"//' "$1"; }

case $kind in
download)
    type=$2 layout=$3
    args=(-dv="$type" -f=out.xml)
    [ "$layout" = dcdml-metric ] && args+=(-v=2 -um)
    seed=37 dives=2
    com="$WINEPREFIX/dosdevices/com$n"
    serve "$type" "$com" --seed $seed --dives $dives
    serve "$type" "$work/linux-port" --seed $seed --dives $dives
    mkdir -p "$work/win" "$work/lin"
    # Both downloads at once: the protocol's pauses dominate, not the CPU.
    (cd "$work/lin" && "$linux/talvek-dl" -p="$work/linux-port" "${args[@]}" -cdblog=trace \
        </dev/null >"$work/lin.log" 2>&1) &
    lin=$!
    status=0
    windows "$work/win" -p="COM$n" "${args[@]}" || status=$?
    linstatus=0
    wait "$lin" || linstatus=$?
    [ "$linstatus" = 0 ] || fail "the Linux download ended with $linstatus"
    [ "$status" = 0 ] || fail "the Windows download ended with $status"
    [ -s "$work/win/out.xml" ] || fail "no file"
    if [ "$layout" = dcdml-metric ]; then
        grep -qE '<dcdml version="1.0" tstamp="[0-9]{4}-[0-9]{2}-[0-9]{2} T [0-9]{2}:[0-9]{2}:[0-9]{2}"' \
            "$work/win/out.xml" || fail "the root tstamp is not a time"
    fi
    if ! cmp -s <(without_root_stamp "$work/win/out.xml") <(without_root_stamp "$work/lin/out.xml"); then
        diff <(without_root_stamp "$work/win/out.xml") <(without_root_stamp "$work/lin/out.xml") | head -n 20
        fail "the files differ"
    fi
    trace_has "$work/win" "FormClose(): Returning 0" || fail "no closing trace"
    echo "ok: type $type $layout, $(wc -c <"$work/win/out.xml") bytes as on Linux"
    ;;
cancel)
    com="$WINEPREFIX/dosdevices/com$n"
    serve 2 "$com" --seed 37 --dives 8
    mkdir -p "$work/win/talvek-dl"
    (cd "$work/win" && exec "$winerun" "$exe" -p="COM$n" -f=out.xml -v=2 -dv=2 \
        </dev/null >"$work/win.log" 2>&1) &
    dl=$!
    for _ in $(seq 300); do
        trace_has "$work/win" "Downloading Dive 1" && break
        sleep 0.1
    done
    trace_has "$work/win" "Downloading Dive 1" || fail "the download did not start"
    kill -INT "$dl"
    status=0
    wait "$dl" || status=$?
    # Wine passes on the low 8 bits: 9999 = 0x270F.
    [ "$status" = $((9999 & 255)) ] || fail "status $status"
    trace_has "$work/win" "FormClose(): Returning 9999" || fail "no 9999 in the trace"
    trace_has "$work/win" "Signal 0 Received" || fail "the console handler did not see Ctrl-C"
    [ ! -e "$work/win/out.xml" ] || fail "a file was written"
    [ -z "$(find "$work/win" -name '*.tmp')" ] || fail "a temporary was left"
    echo "ok: cancelled with 9999, no file"
    ;;
missing-port)
    rm -f "$WINEPREFIX/dosdevices/com$n"
    code=$(windows_code "$work/win" -p=COM$n -f=out.xml -dv=2)
    [ "$code" = 12 ] || fail "code '$code'"
    trace_has "$work/win" "Unable To Open Port <Port Busy or Not Present>" || fail "no trace"
    [ ! -e "$work/win/out.xml" ] || fail "a file was written"
    echo "ok: missing port gives 12"
    ;;
information)
    mkdir -p "$work/win/talvek-dl"
    out=$(cd "$work/win" && "$winerun" "$exe" --version </dev/null 2>&1 | tr -d '\r') ||
        fail "--version ended with $?"
    [ "$out" = "Talvek XML Downloader 1.0.0.0" ] || fail "--version printed '$out'"
    out=$(cd "$work/win" && "$winerun" "$exe" --help </dev/null 2>&1 | tr -d '\r') ||
        fail "--help ended with $?"
    echo "$out" | grep -qF -- "-f=FILE, -file=FILE" || fail "--help printed '$out'"
    out=$(cd "$work/win" && "$winerun" "$exe" -list </dev/null 2>&1 | tr -d '\r') ||
        fail "-list ended with $?"
    echo "$out" | grep -qE '^COM[0-9]+  .+' || fail "-list printed '$out'"
    [ ! -e "$work/win/talvek-dl/CDBLOG.txt" ] || fail "a trace was written"
    echo "ok: --version, --help and -list"
    ;;
hang-up)
    type=$2
    com="$WINEPREFIX/dosdevices/com$n"
    # Type 2: the line goes in the first dive.  Type 1: in the third dive's
    # stream, while the program waits for a packet: the read finds it gone
    # (not a time-out, 18).
    if [ "$type" = 1 ]; then
        serve 1 "$com" --seed 37 --dives 3 --hang-up-after 400
    else
        serve 2 "$com" --seed 37 --dives 2 --hang-up-after 600
    fi
    code=$(windows_code "$work/win" -p=COM$n -f=out.xml -v=2 -dv="$type")
    [ "$code" = 21 ] || fail "code '$code'"
    trace_has "$work/win" "Downloading Dive 1" || fail "the dives were not reached"
    trace_has "$work/win" 'Comm Port Not Open: \\.\COM'"$n"' went away (' || fail "no reason traced"
    [ "$type" != 1 ] || trace_has "$work/win" "Device_Comm::Read() Comm Port Not Open" ||
        fail "not found by the read"
    trace_has "$work/win" "FormClose(): Returning 21" || fail "no 21 in the trace"
    [ ! -e "$work/win/out.xml" ] || fail "a file was written"
    echo "ok: type $type, a hung-up line gives 21: $(grep -o 'Device_Comm::.*went away.*' "$work/win/talvek-dl/CDBLOG.txt" | tr -d '\r')"
    ;;
image)
    golden="${TALVEK_SOURCE_DIR:?}/tests/golden/type2"
    store_dir=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)/Talvek/"XML Downloader"
    mkdir -p "$work/win" "$work/lin"
    cp "$golden.img" "$work/win/memory.img"
    stores() { find "$store_dir" -name 't2-m*.dives' 2>/dev/null; }
    # The golden computer's store, if an earlier run left one, goes first.
    stores | while read -r f; do rm -f "$f"; done
    status=0
    windows "$work/win" -image=memory.img -f=out.xml -v=2 -um -new -dump=dump.img || status=$?
    [ "$status" = 0 ] || fail "the first run ended with $status"
    cmp -s <(without_root_stamp "$work/win/out.xml") <(without_root_stamp "$golden.dcdml-metric.xml") ||
        fail "the document is not the stored memory's"
    [ "$(stores | wc -l)" = 1 ] || fail "no store in $store_dir"
    trace_has "$work/win" 'DiveStore: Saved 8 Dives (C:\users\' || fail "the store was not saved"
    (cd "$work/lin" && "$linux/talvek-dl" -image="$golden.img" -f=out.xml -v=2 -um -dump=dump.img \
        -cdblog=trace </dev/null >"$work/lin.log" 2>&1) || fail "the Linux run ended with $?"
    cmp -s "$work/win/dump.img" "$work/lin/dump.img" || fail "the dumps differ"
    status=0
    windows "$work/win" -image=dump.img -f=again.xml -v=2 -um -new || status=$?
    [ "$status" = 0 ] || fail "the second run ended with $status"
    trace_has "$work/win" "NewDives: 8 Stored Dives Still In Memory" || fail "the store was not used"
    cmp -s <(without_root_stamp "$work/win/again.xml") <(without_root_stamp "$golden.dcdml-metric.xml") ||
        fail "the second document differs"
    stores | while read -r f; do rm -f "$f"; done
    echo "ok: -image, -new with the default store, -dump as on Linux"
    ;;
planted-trace)
    rm -f "$WINEPREFIX/dosdevices/com$n"
    mkdir -p "$work/win/talvek-dl"
    printf 'precious' >"$work/victim"
    ln "$work/victim" "$work/win/talvek-dl/CDBLOG.txt"
    code=$(windows_code "$work/win" -p=COM$n -f=out.xml -dv=2)
    [ "$code" = 12 ] || fail "code '$code'"
    [ "$(cat "$work/victim")" = precious ] || fail "written through the second name"
    [ "$(stat -c %h "$work/victim")" = 2 ] || fail "the planted name was replaced"
    echo "ok: nothing written through a planted second name"
    ;;
no-desktop)
    mkdir -p "$work/win/talvek-dl"
    cp "${TALVEK_SOURCE_DIR:?}/tests/golden/type2.img" "$work/win/memory.img"
    status=0
    # No desktop process either: started without a display it would stay
    # with the prefix's server, and later cases' windows would go to it.
    (cd "$work/win" && env -u DISPLAY WINEDLLOVERRIDES="explorer.exe=d" "$winerun" "$exe" \
        -image=memory.img -f=out.xml -v=2 -um -report=NUL -dump=COM1 \
        </dev/null >"$work/win/out.log" 2>&1) || status=$?
    [ "$status" = 0 ] || fail "status $status"
    [ -s "$work/win/out.xml" ] || fail "no file"
    trace_has "$work/win" "No Desktop: Running Without The Window" || fail "the trace does not say why"
    trace_has "$work/win" "Report NUL Is The Null Device: Written Straight Into It" ||
        fail "the report was not written into NUL"
    trace_has "$work/win" "Dump: COM1 Is A Device, A Pipe Or A Socket: Never Written" ||
        fail "the dump to COM1 was not refused"
    trace_has "$work/win" "FormClose(): Returning 0" || fail "no closing trace"
    echo "ok: no desktop, the download ran without the window"
    ;;
uncarriable)
    launch=${TALVEK_LAUNCH_EXE:?}
    mkdir -p "$work/win"
    out=$(cd "$work/win" && "$winerun" "$launch" "$(WINEDEBUG=-all "$winerun" winepath -w "$exe" 2>/dev/null | tr -d '\r')" \
        -p=COM$n "-f=a{D800}b.xml" -v=2 </dev/null 2>&1 | tr -d '\r') || fail "the launcher ended with $?"
    echo "$out" | grep -qxF "box: '-f=a"$'\xEF\xBF\xBD'"b.xml' cannot be passed on unchanged" ||
        fail "the box said '$out'"
    echo "$out" | grep -qx 'code=1' || fail "not code 1: '$out'"
    [ -z "$(ls -A "$work/win")" ] || fail "something was made: $(ls -A "$work/win")"
    echo "ok: an argument UTF-8 cannot carry stops the run"
    ;;
esac
