# Sourced by the Wine helpers: the environment of the build's own Wine prefix.
# VELTRIX_BUILD names the build folder; without it, the folder above an executable's bin/ is used.

veltrix_build_dir() {
    if [ -n "${VELTRIX_BUILD:-}" ]; then
        echo "$VELTRIX_BUILD"
    elif [ -n "${1:-}" ] && [ "$(basename "$(dirname "$1")")" = bin ]; then
        (cd "$(dirname "$1")/.." && pwd)
    else
        echo "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
    fi
}

veltrix_wine_env() {
    local build=$1
    export VELTRIX_BUILD=$build
    export WINE_STATE=${VELTRIX_WINE_STATE:-$build/wine}
    export WINEPREFIX=$WINE_STATE/prefix
    export WINEDEBUG=${VELTRIX_WINEDEBUG:--all}
    # No Mono or Gecko install prompts: the prefix is made without them. Wine's menu builder is off:
    # it turns every shortcut saved below a Start Menu folder (the tests and the demo make many) into a
    # .desktop file in the host's ~/.local/share/applications/wine, and the host's menus are not ours.
    export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
    mkdir -p "$WINE_STATE"
    if veltrix_can_run_32bit; then
        WINE=wine
    else
        # Debian's wine script insists on the 32-bit loader when it is installed, even where the
        # kernel cannot execute it; go to the 64-bit loader directly.
        WINE=/usr/lib/wine/wine64
        export WINELOADER=$WINE
    fi
    export WINE
}

# Some kernels (virtual machines without 32-bit compatibility mode) cannot execute 32-bit x86 code at
# all: the 32-bit Wine loader fails with ENOEXEC and Wine's own WOW64 mode faults on entering 32-bit
# code. There the tests run from the 64-bit build of the same sources.
veltrix_can_run_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# What a prefix made here holds beyond Wine's defaults; raise it when veltrix_wine_settings changes, and
# prefixes made before are brought up to date on their next use.
VELTRIX_PREFIX_LEVEL=5

# Creates the prefix once, and brings an older one up to the current level. Several callers may race for
# it, so a lock serialises them.
veltrix_wine_prefix() {
    [ "$(cat "$WINEPREFIX/.veltrix-ready" 2>/dev/null)" = "$VELTRIX_PREFIX_LEVEL" ] && return 0
    (
        flock 9
        if [ "$(cat "$WINEPREFIX/.veltrix-ready" 2>/dev/null)" != "$VELTRIX_PREFIX_LEVEL" ]; then
            if [ ! -f "$WINEPREFIX/.veltrix-ready" ]; then
                echo "creating the Wine prefix in $WINEPREFIX" >&2
                "$WINE" wineboot --init >/dev/null 2>&1
            fi
            veltrix_wine_settings
            # The server writes the registry to disk when it ends. (A bound on the wait: the persistent
            # server of a running test session never ends by itself, and it has the changes already.)
            timeout 60 wineserver -w || true
            echo "$VELTRIX_PREFIX_LEVEL" >"$WINEPREFIX/.veltrix-ready"
        fi
    ) 9>"$WINE_STATE/prefix.lock"
}

# Where Wine's defaults differ from Windows in ways the menus show, the prefix is made to match Windows.
veltrix_wine_settings() {
    # Windows maps the extension .exe to the class exefile, whose DefaultIcon "%1" makes the shell take
    # a program's icon from the program itself. Wine's default registry has the class but not the
    # mapping, so SHGetFileInfoW gives every program the generic icon. Both registry views, so that
    # 32-bit and 64-bit programs read the same.
    local view
    for view in 64 32; do
        "$WINE" reg add 'HKLM\Software\Classes\.exe' /ve /d exefile /f /reg:$view </dev/null >/dev/null 2>&1 || true
    done
    # Tests, demos and benchmarks never ask the maker's update server: the program's weekly check goes
    # to a closed port on this machine and fails at once, as it does on a machine without a network.
    "$WINE" reg add 'HKCU\Software\Koravent\Veltrix' /v UpdateUrl /d 'http://127.0.0.1:9/data/update.php?p=veltrix' \
        /f </dev/null >/dev/null 2>&1 || true
    # Crash reports go nowhere either: an empty ReportHost names no report server, so a crash leaves its
    # files and goes on to the system's handling without the problem-report dialog, which would wait for
    # an answer. The tests of that dialog name their own server. Wine's debugger, which takes over after
    # the program's crash reporter, prints its backtrace without waiting in a dialog for someone to close it.
    "$WINE" reg add 'HKCU\Software\Koravent\Veltrix' /v ReportHost /d '' \
        /f </dev/null >/dev/null 2>&1 || true
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 \
        /f </dev/null >/dev/null 2>&1 || true
}

# Uses the display the session started when DISPLAY is not set by the caller.
veltrix_wine_display() {
    if [ -z "${DISPLAY:-}" ] && [ -f "$WINE_STATE/display" ]; then
        local pid
        pid=$(cat "$WINE_STATE/xvfb.pid" 2>/dev/null || true)
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            export DISPLAY=":$(cat "$WINE_STATE/display")"
        fi
    fi
}

# Starts a private Xvfb when there is no display, and leaves its number in the state folder.
veltrix_start_xvfb() {
    veltrix_wine_display
    [ -n "${DISPLAY:-}" ] && return 0
    rm -f "$WINE_STATE/display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac 3>"$WINE_STATE/display" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$WINE_STATE/xvfb.pid"
    local i
    for i in $(seq 100); do
        [ -s "$WINE_STATE/display" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(cat "$WINE_STATE/display")"
}

veltrix_stop_xvfb() {
    local pid
    pid=$(cat "$WINE_STATE/xvfb.pid" 2>/dev/null || true)
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -f "$WINE_STATE/xvfb.pid" "$WINE_STATE/display"
}

# The system colours of Windows' "High Contrast Black" scheme, or Wine's defaults again ("off"), for the
# screenshots of the high-contrast look. Wine reads them when a program starts, but never reports high
# contrast itself: the program is told by VELTRIX_HIGH_CONTRAST=1 (see base/HighContrast.cpp).
veltrix_high_contrast_colours() {
    local key='HKCU\Control Panel\Colors' name value saved="$WINE_STATE/colours.reg"
    if [ "$1" = off ]; then
        # The prefix's own colours again, as they were before "on".
        if [ -f "$saved" ]; then
            "$WINE" reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
            "$WINE" reg import "$(winepath -w "$saved" 2>/dev/null)" </dev/null >/dev/null 2>&1 || true
            rm -f "$saved"
        fi
        return 0
    fi
    [ -f "$saved" ] || "$WINE" reg export "$key" "$(winepath -w "$saved" 2>/dev/null)" </dev/null >/dev/null 2>&1 || true
    while read -r name value; do
        "$WINE" reg add "$key" /v "$name" /d "$value" /f </dev/null >/dev/null 2>&1
    done <<'COLOURS'
ActiveBorder 0 0 0
ActiveTitle 0 0 0
AppWorkspace 0 0 0
Background 0 0 0
ButtonAlternateFace 0 0 0
ButtonDkShadow 255 255 255
ButtonFace 0 0 0
ButtonHilight 255 255 255
ButtonLight 255 255 255
ButtonShadow 255 255 255
ButtonText 255 255 255
GradientActiveTitle 0 0 0
GradientInactiveTitle 0 0 0
GrayText 63 242 63
Hilight 26 235 255
HilightText 0 0 0
HotTrackingColor 255 255 0
InactiveBorder 0 0 0
InactiveTitle 0 0 0
InactiveTitleText 255 255 255
InfoText 255 255 255
InfoWindow 0 0 0
Menu 0 0 0
MenuBar 0 0 0
MenuHilight 26 235 255
MenuText 255 255 255
Scrollbar 0 0 0
TitleText 255 255 255
Window 0 0 0
WindowFrame 255 255 255
WindowText 255 255 255
COLOURS
}
