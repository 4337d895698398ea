#!/usr/bin/env bash
# The main job: builds and registers Vellix (and the sample document server)
# in the project's Wine prefix, then runs a real session: a container window
# hosts Vellix.Office, a new document is typed into, saved, closed and opened
# again, and the window is photographed.
set -u -o pipefail
. "$(dirname "$0")/setup.sh"
vx_setup || exit 1

out="$VX_BUILD/demo"
mkdir -p "$out"
rm -f "$out/demo.vxp" "$out/demo.bmp" "$out/demo.png"
wine "$(vx_winpath "$VX_BUILD/bin/VellixDemo.exe")" \
    "$(vx_winpath "$out/demo.vxp")" "$(vx_winpath "$out/demo.bmp")" | tr -d '\r' || exit 1
[ -f "$out/demo.vxp" ] && [ -f "$out/demo.bmp" ] || { echo "the session did not finish" >&2; exit 1; }
convert "$out/demo.bmp" "$out/demo.png" || exit 1
echo "saved document: $out/demo.vxp"
echo "screenshot:     $out/demo.png"
echo
echo "The control from a script host:"
wine cscript //nologo "$(vx_winpath "$VX_ROOT/samples/demo.js")" | tr -d '\r'
