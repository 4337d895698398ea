#!/usr/bin/env bash
# Builds everything, prepares Wine and runs the whole test suite under it.
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
exit $rc
