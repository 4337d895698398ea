#!/usr/bin/env bash
# The main job: builds and registers Vellix (and the sample document server)
# in the project's Wine prefix, then runs a real session: a container window
# hosts Vellix.Office, a new document is typed into, saved, closed and opened
# again, and the window is photographed; then the document is shared on a
# WebDAV server (the project's private Apache): put there, opened by a
# second control, checked out, typed into and checked in by the first, and
# the second one's late save is refused as a conflict.
set -u -o pipefail
. "$(dirname "$0")/setup.sh"
vx_setup_any || exit 1

out="$VX_BUILD/demo"
mkdir -p "$out"
rm -f "$out/demo.vxp" "$out/demo.bmp" "$out/demo.png"
dav="$VX_BUILD/run/apache/htdocs/dav"
rm -f "$dav/demo.vxp"
vx_wine "$(vx_winpath "$VX_BUILD/bin/VellixDemo.exe")" \
    "$(vx_winpath "$out/demo.vxp")" "$(vx_winpath "$out/demo.bmp")" \
    VellixPad.Document "http://127.0.0.1:$VX_DAV_HTTP_PORT/dav" | tr -d '\r' || exit 1
[ -f "$out/demo.vxp" ] && [ -f "$out/demo.bmp" ] || { echo "the session did not finish" >&2; exit 1; }
convert "$out/demo.bmp" "$out/demo.png" || exit 1
echo "saved document: $out/demo.vxp"
echo "screenshot:     $out/demo.png"
echo
echo "The WebDAV server (Apache, 127.0.0.1:$VX_DAV_HTTP_PORT) received:"
# The log's lines: port, method, path, status, bytes.
awk '$3 ~ /^\/dav\/demo/ { printf "  %s %s -> %s\n", $2, $3, $4 }' "$VX_BUILD/run/apache/logs/access.log"
[ -f "$dav/demo.vxp" ] || { echo "the server holds no demo.vxp" >&2; exit 1; }
echo "It holds demo.vxp, $(stat -c %s "$dav/demo.vxp") bytes:"
python3 - "$dav/demo.vxp" <<'PY' || exit 1
import sys
data = open(sys.argv[1], "rb").read()
ok = True
for text, wanted in (("Vellix 演示文档", True), ("Checked out, edited and checked in.", True),
                     ("A late edit from a second window.", False)):
    found = text.encode("utf-16-le") in data
    ok = ok and found == wanted
    print("  %s: %s" % (text, "kept" if found and wanted else "not there, as it should be" if not found and not wanted
                        else "MISSING" if wanted else "OVERWRITTEN"))
sys.exit(0 if ok else 1)
PY
echo
echo "The control from a script host:"
vx_wine cscript //nologo "$(vx_winpath "$VX_ROOT/samples/demo.js")" | tr -d '\r'
