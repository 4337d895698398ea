#!/usr/bin/env bash
# msi_test.sh <x86|x64> <bin folder> <work folder>
# Installs the package quietly into a prefix where Vellix was never
# registered, checks that it registers exactly what regsvr32 does (key by
# key, both registry views), that a script and a document session use the
# installed control, that uninstalling leaves nothing, and that a newer
# version replaces an older one.
set -u
arch=$1 bin=$2 work=$3
export VX_DIST_WORK=$work VX_DIST_BIN=$bin
. "$(dirname "$0")/../../scripts/dist.sh"

prefix="$work/prefix"
failures=0
P() { vx_in_prefix "$arch" "$prefix" "$@"; }
check() { # check <what> <command...>
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
    P wineserver -k >/dev/null 2>&1
    [ $failures = 0 ] && rm -rf "$prefix"
    echo "$failures failure(s)"
    exit $((failures > 0))
}

version=$(vx_version)
older="${version%.*}.$((${version##*.} - 1))"
mkdir -p "$work/msi"
vx_harvest "$arch" || { echo "regsvr32 reference failed"; exit 1; }
vx_build_msi "$arch" "$version" "$work/msi" && vx_build_msi "$arch" "$older" "$work/msi" ||
    { echo "wixl failed"; exit 1; }
new=$(vx_winpath "$work/msi/Vellix-$version-$arch.msi")
old=$(vx_winpath "$work/msi/Vellix-$older-$arch.msi")

vx_fresh_prefix "$arch" "$prefix" || exit 1
installed=$(vx_install_dir_unix "$prefix")
# The sample server is no part of the package: registered on its own.
P wine regsvr32 /s "$(vx_winpath "$bin/VellixPad.dll")" || { echo "VellixPad registration failed"; exit 1; }
# What any machine that ran a script and installed a package has already:
# the script host's type library and the installer's container keys.
echo 'WScript.Echo(typeof new ActiveXObject("WScript.Shell"));' >"$work/warm.js"
P wine cscript //nologo "$(vx_winpath "$work/warm.js")" >/dev/null 2>&1
for k in Features Products UpgradeCodes; do
    P wine reg add "HKLM\\Software\\Classes\\Installer\\$k" /f >/dev/null 2>&1
done
vx_snapshot "$arch" "$prefix" "$work/base.json"

delta_since_base() { vx_snapshot "$arch" "$prefix" "$work/now.json" &&
    python3 "$VX_REGDELTA" delta "$work/base.json" "$work/now.json" "$work/delta.json"; }
# The installer's own records of the product (under Installer\) are no
# part of the comparison; they must be gone after uninstalling, though.
same_as_regsvr32() {
    delta_since_base &&
        python3 "$VX_REGDELTA" compare "$VX_DIST_WORK/$arch/regsvr32.json" "$work/delta.json" 'Installer\'
}
nothing_left() {
    delta_since_base && python3 "$VX_REGDELTA" compare "$work/delta.json" /dev/stdin <<<"{}" &&
        [ ! -e "$installed" ] &&
        ! grep -qi 'Vellix (\|Program Files\\\\\\\\Vellix' "$prefix/system.reg"
}
products() { P wineserver -w; grep -c "\"ProductName\"=\"Vellix ($arch)\"" "$prefix/system.reg"; }

# Install, use, compare, uninstall.
P wine msiexec /i "$new" /qn
check "install exits 0" [ $? = 0 ]
check "both DLLs in Program Files\\Vellix" [ -f "$installed/Vellix.DLL" -a -f "$installed/Plinth.dll" ]
check "registry equals what regsvr32 writes" same_as_regsvr32
cat >"$work/create.js" <<'JS'
var o = new ActiveXObject("Vellix.Office");
var sh = new ActiveXObject("WScript.Shell");
WScript.Echo(o.Version + "|" + sh.RegRead("HKCR\\CLSID\\{75C26878-A562-4422-97B9-3CF46CB24845}\\InprocServer32\\"));
JS
out=$(P wine cscript //nologo "$(vx_winpath "$work/create.js")" 2>&1 | tr -d '\r')
echo "cscript: $out"
check "cscript creates the installed Vellix.Office" grep -qi 'Vellix\\Vellix.DLL$' <<<"$out"
rm -f "$work/session.vxp" "$work/session.bmp"
P wine "$(vx_winpath "$bin/VellixDemo.exe")" "$(vx_winpath "$work/session.vxp")" "$(vx_winpath "$work/session.bmp")" >/dev/null 2>&1
check "a document session saves and reopens a document" [ -s "$work/session.vxp" -a -s "$work/session.bmp" ]
P wine msiexec /x "$new" /qn
check "uninstall exits 0" [ $? = 0 ]
check "uninstall leaves nothing behind" nothing_left

# A newer version over an older one.
P wine msiexec /i "$old" /qn
check "older version installs" [ $? = 0 -a "$(products)" = 1 ]
P wine msiexec /i "$new" /qn
check "newer version installs over it" [ $? = 0 ]
check "one product left, the newer" [ "$(products)" = 1 ] && grep -q "\"DisplayVersion\"=\"$version\"" "$prefix/system.reg"
check "registry after the upgrade equals what regsvr32 writes" same_as_regsvr32
P wine msiexec /x "$new" /qn
check "uninstall after the upgrade leaves nothing behind" nothing_left
finish
