#!/usr/bin/env bash
# Builds what a user installs, into dist/:
#   Vellix-<version>-x86.msi, Vellix-<version>-x64.msi   (Program Files\Vellix,
#       the COM registration as registry rows)
#   Vellix-<version>-x86-peruser.msi, ...-x64-peruser.msi (the same for one
#       user, without administrator: LocalAppData\Programs\Vellix, HKCU)
#   Vellix.tlb, Vellix.h, Vellix_i.c                      (the type library,
#       and the interfaces and GUIDs for C and C++ callers)
# Idempotent; installs what is missing and builds both processors first.
#
# The registry rows are what regsvr32 writes: each package's DLL is
# registered in a scratch Wine prefix of its processor, at the path the
# package installs it to, and the keys and values it added become the
# package's rows (packaging/regdelta.py). Sourced by the installer tests
# for the same steps.

set -u
. "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

VX_DIST=${VX_DIST:-$VX_ROOT/dist}
VX_DIST_WORK=${VX_DIST_WORK:-$VX_ROOT/build/dist}
VX_REGDELTA="$VX_ROOT/packaging/regdelta.py"

# The version the DLL's version resource carries.
vx_version() {
    sed -n 's/^ *FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
        "$VX_ROOT/src/module/Vellix.rc" | head -n1
}

# Folder of the processor's DLLs ($VX_DIST_BIN when a caller names it).
vx_arch_bin() {
    if [ -n "${VX_DIST_BIN:-}" ]; then echo "$VX_DIST_BIN"; return; fi
    [ "$1" = x64 ] && echo "$VX_ROOT/build/x64/bin" || echo "$VX_ROOT/build/bin"
}

# Runs a command with Wine pointed at a scratch prefix of the processor
# (win32 for x86, win64 for x64; vx_wine is that processor's loader); no
# persistent server.
vx_in_prefix() {
    local arch=$1 prefix=$2
    shift 2
    local winearch=win32 loader=wine
    [ "$arch" = x64 ] && winearch=win64 loader=$VX_WINE64
    VX_WINE=$loader WINEPREFIX="$prefix" WINEARCH=$winearch WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}

# A fresh prefix at $2, copied from a template made once per processor.
vx_fresh_prefix() {
    local arch=$1 prefix=$2 template="$VX_DIST_WORK/template-$1"
    if [ ! -f "$template/.vx-complete" ]; then
        vx_log "creating template prefix for $arch"
        rm -rf "$template"
        vx_in_prefix "$arch" "$template" vx_wine wineboot -i >/dev/null 2>&1
        vx_in_prefix "$arch" "$template" wineserver -w
        [ -f "$template/system.reg" ] || { vx_log "wineboot failed for $template"; return 1; }
        touch "$template/.vx-complete"
    fi
    vx_in_prefix "$arch" "$prefix" wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
}

# The prefix's class registry as JSON (after its wineserver has saved it);
# with "user" as $4, the user's classes (HKCU\Software\Classes).
vx_snapshot() {
    vx_in_prefix "$1" "$2" wineserver -w
    python3 "$VX_REGDELTA" snapshot "$2" "$3" ${4:+$4}
}

# Folder the package installs to, as the prefix sees it (Windows, Unix).
vx_install_dir_win() { echo 'C:\Program Files\Vellix'; }
vx_install_dir_unix() { echo "$1/drive_c/Program Files/Vellix"; }

# What regsvr32 writes for the DLL installed where the package puts it:
# $VX_DIST_WORK/<arch>/regsvr32.json. Optional: another folder (Windows
# path on C:) and output name.
vx_harvest() {
    local arch=$1 dir_win=${2:-$(vx_install_dir_win)} name=${3:-regsvr32}
    local work="$VX_DIST_WORK/$1" bin
    bin=$(vx_arch_bin "$arch")
    local prefix="$work/regprefix"
    mkdir -p "$work"
    vx_fresh_prefix "$arch" "$prefix" || return 1
    local dir="$prefix/drive_c/${dir_win#C:\\}"
    dir=${dir//\\//}
    mkdir -p "$dir"
    cp "$bin/Vellix.DLL" "$bin/Plinth.dll" "$dir/"
    vx_snapshot "$arch" "$prefix" "$work/before.json" || return 1
    vx_in_prefix "$arch" "$prefix" vx_wine regsvr32 /s "$dir_win\\Vellix.DLL" ||
        { vx_log "regsvr32 failed in $prefix"; return 1; }
    vx_snapshot "$arch" "$prefix" "$work/after.json" || return 1
    python3 "$VX_REGDELTA" delta "$work/before.json" "$work/after.json" "$work/$name.json" || return 1
    rm -rf "$prefix"
}

# dist/Vellix-<version>-<arch>[-peruser].msi (packaging rows in
# $VX_DIST_WORK/<arch>). Optional: another version (the installer tests
# build an older one), output folder, scope (perMachine or perUser).
vx_msi_name() { # <arch> <version> <scope>
    local suffix=""
    [ "$3" = perUser ] && suffix=-peruser
    echo "Vellix-$2-$1$suffix.msi"
}
vx_build_msi() {
    local arch=$1 version=${2:-$(vx_version)} out=${3:-$VX_DIST} scope=${4:-perMachine}
    local work="$VX_DIST_WORK/$arch" bin msi
    bin=$(vx_arch_bin "$arch")
    msi="$out/$(vx_msi_name "$arch" "$version" "$scope")"
    python3 "$VX_REGDELTA" wxi "$work/regsvr32.json" "$work" "$(vx_install_dir_win)\\Vellix.DLL" || return 1
    mkdir -p "$out"
    # wixl finds a File's Source only relative to the working folder.
    (cd "$bin" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D Scope="$scope" -D BinDir=. \
        -I "$work" -o "$msi" "$VX_ROOT/packaging/Vellix.wxs" 2>"$work/wixl.log") ||
        { cat "$work/wixl.log" >&2; return 1; }
    vx_msi_tables "$msi" "$work"
}

# The rows wixl has no element for, imported into the built package.
vx_msi_tables() {
    local msi=$1 idt="$2/idt"
    rm -rf "$idt" && mkdir -p "$idt" || return 1
    cp "$VX_ROOT/packaging/RemoveFile.idt" "$idt/"
    # MajorUpgrade's range, with its upper bound made inclusive.
    msiinfo export "$msi" Upgrade |
        awk -F'\t' 'BEGIN { OFS = "\t" } NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED/ { $5 += 512 } { print }' \
            >"$idt/Upgrade.idt" || return 1
    msibuild "$msi" -i "$idt/RemoveFile.idt" -i "$idt/Upgrade.idt" ||
        { vx_log "msibuild failed for $msi"; return 1; }
}

# dist/Vellix.tlb, Vellix.h, Vellix_i.c from the control's IDL.
vx_build_sdk() {
    mkdir -p "$VX_DIST"
    i686-w64-mingw32-widl -I/usr/include/wine/wine/windows -I"$VX_ROOT/src/module" \
        -L/usr/lib/i386-linux-gnu/wine/i386-windows --win32 \
        -t -T "$VX_DIST/Vellix.tlb" -h -H "$VX_DIST/Vellix.h" -u -U "$VX_DIST/Vellix_i.c" \
        "$VX_ROOT/src/module/Vellix.idl"
}

vx_build_both() {
    vx_install_packages || return 1
    vx_build || return 1
    VX_BUILD=$VX_ROOT/build/x64 VX_TOOLCHAIN=toolchain-mingw64.cmake vx_build || return 1
}

vx_dist_main() {
    vx_build_both || return 1
    local arch
    for arch in x86 x64; do
        vx_log "packaging $arch"
        vx_harvest "$arch" || return 1
        vx_build_msi "$arch" || return 1
        vx_build_msi "$arch" "" "" perUser || return 1
    done
    vx_build_sdk || return 1
    ls -1 "$VX_DIST"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    vx_dist_main "$@"
fi
