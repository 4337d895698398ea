#!/usr/bin/env bash
# Prepares everything the main job and the tests need, idempotently:
# Debian packages, the cross build, a Wine prefix inside the build tree,
# Xvfb and a persistent wineserver (stopped by pid when the calling shell
# exits), and the registration of Vellix.DLL.
#
# Source it: `. scripts/setup.sh` (it exports WINEPREFIX, DISPLAY, ...).

VX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VX_BUILD=${VX_BUILD:-$VX_ROOT/build}
export VX_ROOT VX_BUILD

vx_log() { printf '[setup] %s\n' "$*" >&2; }

vx_install_packages() {
    local missing=0
    command -v i686-w64-mingw32-g++-posix >/dev/null || missing=1
    command -v i686-w64-mingw32-widl >/dev/null || missing=1
    command -v wine >/dev/null || missing=1
    command -v Xvfb >/dev/null || missing=1
    command -v cmake >/dev/null || missing=1
    command -v convert >/dev/null || missing=1  # ImageMagick, for the PNG copies of screenshots
    command -v ccache >/dev/null || missing=1
    [ -d /usr/src/googletest ] || missing=1
    [ -d /usr/include/wine/wine/windows ] || missing=1
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing=1
    dpkg -s fonts-wqy-microhei >/dev/null 2>&1 || missing=1
    vx_missing_x64_packages && missing=1
    [ $missing = 0 ] && return 0
    vx_log "installing packages"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        cmake make g++-mingw-w64-i686 mingw-w64-tools libwine-dev \
        wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick googletest \
        fonts-wqy-microhei ccache $VX_X64_PACKAGES >/dev/null
}

# The 64-bit build and the installers: the x86-64 cross compiler, the 64-bit
# half of Wine, wixl and the msi tools.
VX_X64_PACKAGES="g++-mingw-w64-x86-64-posix wixl msitools"
vx_missing_x64_packages() {
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || return 0
    command -v x86_64-w64-mingw32-widl >/dev/null || return 0
    [ -x /usr/lib/wine/wine64 ] || return 0
    command -v wixl >/dev/null || return 0
    command -v msiinfo >/dev/null || return 0
    return 1
}

vx_build() {
    # The compiler cache makes a fresh clone's build (CI, a second checkout)
    # quick once the machine has built the sources before; paths are taken
    # relative to the checkout so that any clone hits.
    if command -v ccache >/dev/null; then
        export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
        export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$VX_ROOT}
    fi
    # A configure that failed leaves a cache but no build system: configure
    # again then, and drop the cache of a failed run so the next starts clean.
    if [ ! -f "$VX_BUILD/CMakeCache.txt" ] || [ ! -f "$VX_BUILD/Makefile" ]; then
        if ! cmake -S "$VX_ROOT" -B "$VX_BUILD" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$VX_ROOT/cmake/${VX_TOOLCHAIN:-toolchain-mingw32.cmake}" >/dev/null; then
            rm -f "$VX_BUILD/CMakeCache.txt"
            return 1
        fi
    fi
    cmake --build "$VX_BUILD" -j2 || return 1
}

vx_start_services() {
    export WINEPREFIX="$VX_BUILD/wineprefix" WINEARCH=${VX_WINEARCH:-win32} WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    mkdir -p "$VX_BUILD/run"
    # Set before anything starts, so that an interrupted start cleans up.
    trap vx_stop_services EXIT

    if [ -z "${VX_XVFB_PID:-}" ] || ! kill -0 "$VX_XVFB_PID" 2>/dev/null; then
        local dfile="$VX_BUILD/run/display"
        rm -f "$dfile"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
        export VX_XVFB_PID=$!
        # Xvfb writes its display number once it accepts clients.
        local i
        for i in $(seq 1 300); do
            [ -s "$dfile" ] && break
            kill -0 "$VX_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if [ ! -s "$dfile" ]; then
            vx_log "Xvfb did not start"
            return 1
        fi
        export DISPLAY=":$(head -n1 "$dfile")"
    fi

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        vx_log "creating Wine prefix $WINEPREFIX"
        vx_wine wineboot -i >/dev/null 2>&1
        wineserver -w
        # Chinese captions need a face with the glyphs.
        vx_wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'SimSun' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
        vx_wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
        wineserver -w
    fi
    if [ ! -f "$WINEPREFIX/.vx-unmanaged" ]; then
        # No window manager runs on Xvfb: unmanaged windows spare every
        # top-level DestroyWindow Wine's two-second wait for one.
        vx_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.vx-unmanaged"
    fi

    if [ -z "${VX_WINESERVER_PID:-}" ] || ! kill -0 "$VX_WINESERVER_PID" 2>/dev/null; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -f -p >/dev/null 2>&1 &
        export VX_WINESERVER_PID=$!
        # Start Wine's own services now, detached from our output: started
        # lazily by a test they would inherit its pipes and hold them open.
        vx_wine cmd /c exit >/dev/null 2>&1 </dev/null
    fi
    vx_mount_test_volumes
}

# Two scratch volumes for the save-fault tests, where this user may mount
# them: a tiny tmpfs that the tests fill up (drive V:) and a read-only one
# holding a file (drive W:). Without them those tests skip.
vx_mount_test_volumes() {
    local run="$VX_BUILD/run" dd="$WINEPREFIX/dosdevices"
    local full="$run/fullvol" ro="$run/rovol"
    # Volumes an interrupted run left mounted (perhaps full) go first.
    vx_unmount_test_volumes
    [ "$(id -u)" = 0 ] || return 0
    mkdir -p "$full" "$ro"
    if mount -t tmpfs -o size=256k,nr_inodes=64 vxfull "$full" 2>/dev/null; then
        ln -sfn "$full" "$dd/v:"
    fi
    if mount -t tmpfs -o size=64k vxro "$ro" 2>/dev/null; then
        printf 'previous version, on a read-only volume\r\n' >"$ro/previous.vxp"
        mount -o remount,ro "$ro" 2>/dev/null || umount "$ro"
    fi
    if mountpoint -q "$ro"; then ln -sfn "$ro" "$dd/w:"; fi
    return 0
}

vx_unmount_test_volumes() {
    local run="$VX_BUILD/run" m
    rm -f "$WINEPREFIX/dosdevices/v:" "$WINEPREFIX/dosdevices/w:" 2>/dev/null
    for m in "$run/fullvol" "$run/rovol"; do
        if mountpoint -q "$m" 2>/dev/null; then umount "$m" 2>/dev/null || true; fi
    done
}

vx_stop_services() {
    vx_stop_web_server
    if [ -n "${VX_WINESERVER_PID:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        kill "$VX_WINESERVER_PID" 2>/dev/null || true
        wait "$VX_WINESERVER_PID" 2>/dev/null || true
        unset VX_WINESERVER_PID
    fi
    # After the wineserver: no Wine process holds a file on them any more.
    if [ -n "${WINEPREFIX:-}" ]; then vx_unmount_test_volumes; fi
    if [ -n "${VX_XVFB_PID:-}" ]; then
        kill "$VX_XVFB_PID" 2>/dev/null || true
        wait "$VX_XVFB_PID" 2>/dev/null || true
        unset VX_XVFB_PID
    fi
}

# The local HTTP server of the web transfer tests and the demo, on
# 127.0.0.1 only: it serves and stores files in $VX_BUILD/run/web.
# Exports VX_WEB_PORT and VX_WEB_ROOT (a Windows path).
vx_start_web_server() {
    if [ -n "${VX_WEB_PID:-}" ] && kill -0 "$VX_WEB_PID" 2>/dev/null; then return 0; fi
    local root="$VX_BUILD/run/web" pfile="$VX_BUILD/run/web.port"
    mkdir -p "$root"
    rm -f "$pfile"
    python3 "$VX_ROOT/tests/support/web_server.py" --root "$root" --port-file "$pfile" </dev/null >/dev/null 2>&1 &
    VX_WEB_PID=$!
    local i
    for i in $(seq 1 100); do [ -s "$pfile" ] && break; sleep 0.1; done
    [ -s "$pfile" ] || { vx_log "the local web server did not start"; return 1; }
    export VX_WEB_PID VX_WEB_PORT="$(cat "$pfile")" VX_WEB_ROOT="$(vx_winpath "$root")"
}

vx_stop_web_server() {
    if [ -n "${VX_WEB_PID:-}" ]; then
        kill "$VX_WEB_PID" 2>/dev/null || true
        wait "$VX_WEB_PID" 2>/dev/null || true
        unset VX_WEB_PID
    fi
}

# Windows path of a file in the build tree (Wine maps / to Z:).
vx_winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

vx_register() {
    local dll
    dll=$(vx_winpath "$VX_BUILD/bin/Vellix.DLL")
    vx_wine regsvr32 /s "$dll" || { vx_log "regsvr32 failed for $dll"; return 1; }
    # The sample document server, when it was built.
    local pad="$VX_BUILD/bin/VellixPad.dll"
    if [ -f "$pad" ]; then
        dll=$(vx_winpath "$pad")
        vx_wine regsvr32 /s "$dll" || { vx_log "regsvr32 failed for $dll"; return 1; }
    fi
    # The stand-ins for the sibling extension controls: registered only
    # here, and this prefix is the tests' own.
    local doubles="$VX_BUILD/bin/VellixExtDoubles.dll"
    if [ -f "$doubles" ]; then
        vx_wine regsvr32 /s "$(vx_winpath "$doubles")" || { vx_log "regsvr32 failed for $doubles"; return 1; }
    fi
}

vx_setup() {
    vx_install_packages || return 1
    vx_build || return 1
    vx_start_services || return 1
    vx_register || return 1
    vx_start_web_server || return 1
}

# The loader for programs of the build's processor. In a 64-bit prefix
# plain `wine regsvr32` or `wine cscript` starts the 32-bit program, which
# sees the 32-bit registry view.
VX_WINE64=/usr/lib/wine/wine64
vx_wine() { "${VX_WINE:-wine}" "$@"; }

# Whether this machine runs 32-bit x86 programs at all: a kernel may have
# its ia32 emulation switched off, and then no 32-bit Wine can start (the
# loader itself fails with "Exec format error"). The x86 build is still
# compiled there; only its suites cannot run.
vx_can_run_x86() {
    if [ -z "${VX_X86_RUNS:-}" ]; then
        VX_X86_RUNS=no
        [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1 && VX_X86_RUNS=yes
        export VX_X86_RUNS
    fi
    [ "$VX_X86_RUNS" = yes ]
}
VX_NO_X86_REASON="this machine's kernel runs no 32-bit programs (ia32 emulation is off), so no 32-bit Wine can start"

# The processor the main job and the benchmarks run on: x86 where 32-bit
# programs run, else x64. Either way the x86 build is compiled.
vx_setup_any() {
    if vx_can_run_x86; then
        vx_setup
        return
    fi
    vx_log "x86: built only; $VX_NO_X86_REASON: using the x64 build"
    vx_install_packages || return 1
    vx_build || return 1
    vx_setup_x64 || return 1
    vx_start_web_server || return 1
}

# The 64-bit build: its own tree (build/x64, binaries in build/x64/bin) and
# its own 64-bit prefix (build/x64/wineprefix). Switches this shell's Wine
# over to it: the x86 prefix's wineserver stops and its volumes are let go;
# Xvfb stays.
VX_BUILD_X64=${VX_BUILD_X64:-$VX_BUILD/x64}
export VX_BUILD_X64
vx_setup_x64() {
    if [ -n "${VX_WINESERVER_PID:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        kill "$VX_WINESERVER_PID" 2>/dev/null || true
        wait "$VX_WINESERVER_PID" 2>/dev/null || true
        unset VX_WINESERVER_PID
    fi
    if [ -n "${WINEPREFIX:-}" ]; then vx_unmount_test_volumes; fi
    VX_BUILD=$VX_BUILD_X64 VX_TOOLCHAIN=toolchain-mingw64.cmake
    VX_WINEARCH=win64 VX_WINE=$VX_WINE64
    export VX_BUILD VX_TOOLCHAIN VX_WINEARCH VX_WINE
    vx_install_packages || return 1
    vx_build || return 1
    vx_start_services || return 1
    vx_register || return 1
}
