#!/usr/bin/env bash
# The main job: builds and registers Vellix in the project's Wine prefix and
# drives the control from a script host.
set -u
. "$(dirname "$0")/setup.sh"
vx_setup || exit 1
wine cscript //nologo "$(vx_winpath "$VX_ROOT/samples/demo.js")"
