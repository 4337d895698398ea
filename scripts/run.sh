#!/usr/bin/env bash
# The main job: builds and registers Vellix (and the sample document server)
# in the project's Wine prefix, then runs a real session: a container window
# hosts Vellix.Office, a new document is typed into, saved, closed and opened
# again, and the window is photographed; then the document goes to the local
# web server and back (PUT, OpenFromURL, typing, POST with form fields).
set -u -o pipefail
. "$(dirname "$0")/setup.sh"
vx_setup_any || exit 1

out="$VX_BUILD/demo"
mkdir -p "$out"
rm -f "$out/demo.vxp" "$out/demo.bmp" "$out/demo.png"
web="$VX_BUILD/run/web"
rm -f "$web"/demo.vxp "$web"/demo-edited.vxp*
vx_wine "$(vx_winpath "$VX_BUILD/bin/VellixDemo.exe")" \
    "$(vx_winpath "$out/demo.vxp")" "$(vx_winpath "$out/demo.bmp")" \
    VellixPad.Document "http://127.0.0.1:$VX_WEB_PORT" | tr -d '\r' || exit 1
[ -f "$out/demo.vxp" ] && [ -f "$out/demo.bmp" ] || { echo "the session did not finish" >&2; exit 1; }
convert "$out/demo.bmp" "$out/demo.png" || exit 1
echo "saved document: $out/demo.vxp"
echo "screenshot:     $out/demo.png"
echo
echo "The local web server (127.0.0.1:$VX_WEB_PORT) received:"
grep -E '^(GET|PUT|POST) /(files|upload)/demo' "$web/requests.log" | tail -n 3 | sed 's/^/  /'
[ -f "$web/demo.vxp" ] && echo "  demo.vxp (PUT): $(stat -c %s "$web/demo.vxp") bytes"
if [ -f "$web/demo-edited.vxp" ]; then
    echo "  demo-edited.vxp (POST): $(stat -c %s "$web/demo-edited.vxp") bytes, with the form fields:"
    sed 's/^/    /' "$web/demo-edited.vxp.fields"
    python3 - "$web/demo-edited.vxp" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
for text in ("Vellix 演示文档", "Edited after opening it from the web server."):
    print("    text %s: %s" % ("found" if text.encode("utf-16-le") in data else "MISSING", text))
PY
fi
echo
echo "The control from a script host:"
vx_wine cscript //nologo "$(vx_winpath "$VX_ROOT/samples/demo.js")" | tr -d '\r'
