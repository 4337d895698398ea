#!/usr/bin/env bash
# Builds everything, prepares Wine and runs the whole test suite under it:
# the x86 build in its prefix, then the x64 build in a 64-bit prefix. Fails
# when either fails.
set -u -o pipefail
. "$(dirname "$0")/setup.sh"
vx_setup || exit 1
cd "$VX_BUILD" || exit 1
ctest --output-on-failure "$@"
rc=$?
# Pictures the tests keep (screenshots) are also written as PNG.
for bmp in "$VX_BUILD"/bin/artifacts/*.bmp; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
done

vx_test_x64() {
    vx_log "x64: build/x64, 64-bit prefix"
    vx_setup_x64 || return 1
    cd "$VX_BUILD" || return 1
    ctest --output-on-failure "$@"
    local rc64=$?
    for bmp in "$VX_BUILD"/bin/artifacts/*.bmp; do
        [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
    done
    return $rc64
}
vx_test_x64 "$@" || rc=1
exit $rc
