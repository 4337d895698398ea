#!/usr/bin/env bash
# Builds everything, prepares Wine and runs the whole test suite under it.
set -u
. "$(dirname "$0")/setup.sh"
vx_setup || exit 1
cd "$VX_BUILD" && ctest --output-on-failure "$@"
