#!/usr/bin/env bash
# Builds everything, prepares Wine and runs the whole test suite under it:
# the x86 build in its prefix, then the x64 build in a 64-bit prefix. Fails
# when either fails. On a machine that runs no 32-bit programs the x86
# build is compiled but its suites are skipped, and say why.
set -u -o pipefail
. "$(dirname "$0")/setup.sh"

vx_png_artifacts() {
    # Pictures the tests keep (screenshots) are also written as PNG.
    local bmp
    for bmp in "$VX_BUILD"/bin/artifacts/*.bmp; do
        [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
    done
}

rc=0
if vx_can_run_x86; then
    vx_setup || exit 1
    (cd "$VX_BUILD" && ctest --output-on-failure "$@")
    rc=$?
    vx_png_artifacts
else
    vx_install_packages || exit 1
    vx_build || exit 1
    vx_log "x86 suites SKIPPED: $VX_NO_X86_REASON"
fi

vx_test_x64() {
    vx_log "x64: build/x64, 64-bit prefix"
    vx_setup_x64 || return 1
    vx_start_web_server || return 1
    cd "$VX_BUILD" || return 1
    ctest --output-on-failure "$@"
    local rc64=$?
    vx_png_artifacts
    return $rc64
}
vx_test_x64 "$@" || rc=1
exit $rc
