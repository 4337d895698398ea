#!/usr/bin/env bash
# Builds the tree twice; the second build, with nothing changed, must not
# generate, compile or link anything.
set -u -o pipefail
build=$1
cmake --build "$build" -j2 >/dev/null 2>&1 || { echo "the first build failed"; exit 1; }
out=$(cmake --build "$build" -j2 2>&1) || { echo "$out"; echo "the second build failed"; exit 1; }
if work=$(grep -E '(Building|Linking|Generating) |widl ' <<<"$out"); then
    echo "$work"
    echo "a build with nothing changed did the work above again"
    exit 1
fi
echo "nothing was built again"
