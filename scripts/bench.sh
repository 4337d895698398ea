#!/usr/bin/env bash
# Builds, prepares Wine and runs the benchmarks in bench/ under it; prints
# one table. A full run also records the figures in bench/results.tsv and
# in the table of docs/performance.md.
#
#   bash scripts/bench.sh [--quick] [--breakdown]
#     --quick      few repetitions and cycles, nothing recorded (a smoke run)
#     --breakdown  also times the document site's steps one by one (stderr)
set -u
. "$(dirname "$0")/setup.sh"

quick=0
doc_args=()
for arg in "$@"; do
    case $arg in
    --quick) quick=1 ;;
    --breakdown) doc_args+=(--breakdown) ;;
    *) echo "usage: $0 [--quick] [--breakdown]" >&2; exit 2 ;;
    esac
done
run_args=()
[ $quick = 1 ] && run_args+=(--quick)

vx_setup || exit 1
out="$VX_BUILD/bench"
mkdir -p "$out"
rows="$out/rows.tsv"
details="$out/details.log"  # what the programs print beside the rows
: >"$rows"
: >"$details"

# Documents and the programs' temporary files (the site's docfiles among
# them) live on tmpfs when there is room: the figures compare the work of two
# containers, and disk write-back on a shared machine only adds noise.
work=""
files_on=disk
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 2097152 ]; then
    work=$(mktemp -d /dev/shm/vellix-bench.XXXXXX)
    files_on=tmpfs
    trap 'rm -rf "$work"; vx_stop_services' EXIT
else
    work="$out/work"
    mkdir -p "$work"
fi
data="$work/data"
temp="$work/temp"
mkdir -p "$data" "$temp"

run() {
    local exe=$1
    shift
    vx_log "running $exe"
    # Rows on stdout (CRLF from the Windows side); details on stderr.
    wine "$VX_BUILD/bin/$exe.exe" --data "$(vx_winpath "$data")" --temp "$(vx_winpath "$temp")" \
        "${run_args[@]}" "$@" 2> >(tr -d '\r' | tee -a "$details" >&2) | tr -d '\r' >>"$rows"
    local rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || { vx_log "$exe failed ($rc)"; return 1; }
}

# The median of three runs of a command, in milliseconds.
median_ms() {
    local t=() i start
    for i in 1 2 3; do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || return 1
        t+=($((($(date +%s%N) - start) / 1000)))
    done
    printf '%s\n' "${t[@]}" | sort -n | sed -n 2p | awk '{ printf "%.1f", $1 / 1000 }'
}

# Documents from and to the local web server: curl moves the same bytes
# first, and the program adds its time to the control's local Open/Save.
bench_web() {
    run bench_web --prepare || return 1
    local base="http://127.0.0.1:$VX_WEB_PORT" root="$VX_BUILD/run/web" args=() mb ms
    for mb in 16 128; do
        ms=$(median_ms curl -sf -o /dev/null "$base/files/doc${mb}mb.vxp") || return 1
        args+=(--curl "url-open:$mb:$ms")
        ms=$(median_ms curl -sf -o /dev/null -F "file=@$root/doc${mb}mb.vxp" "$base/upload/curl-doc${mb}mb.vxp") ||
            return 1
        args+=(--curl "url-save:$mb:$ms")
        rm -f "$root/curl-doc${mb}mb.vxp" "$root/curl-doc${mb}mb.vxp.fields"
    done
    run bench_web "${args[@]}"
    local rc=$?
    rm -f "$root"/doc16mb.vxp "$root"/doc128mb.vxp
    return $rc
}

status=0
run bench_documents "${doc_args[@]}" || status=1
run bench_cycles || status=1
run bench_menubar || status=1
bench_web || status=1

unit_of() {
    case $1 in
    open | save | paint | url-open | url-save) echo ms ;;
    growth-memory) echo MB ;;
    *) echo count ;;
    esac
}

results="$out/results.tsv"
{
    printf 'figure\tsize_mb\tcontrol\tbaseline\tratio\n'
    grep -v '^#' "$rows"
} >"$results"
unload=$(awk -F'\t' '$1 == "#unload" { print $2 }' "$rows")

machine="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(wine --version), $(date -u +%Y-%m-%d), files on $files_on"
table="$out/table.md"
{
    printf 'Measured on %s.\n\n' "$machine"
    printf '| figure | size MB | control | baseline | ratio | unit |\n'
    printf '|---|---:|---:|---:|---:|---|\n'
    tail -n +2 "$results" | while IFS=$'\t' read -r figure size control baseline ratio; do
        printf '| %s | %s | %s | %s | %s | %s |\n' "$figure" "$size" "$control" "$baseline" "$ratio" "$(unit_of "$figure")"
    done
    printf '\nGrowth rows of size 0 are the New/Close cycles, of size 1 the Open/Close cycles of the 1 MB document.\n'
    printf 'DllCanUnloadNow of Vellix.DLL after the cycles: %s.\n' "${unload:-not measured}"
} >"$table"

echo
echo "$machine"
awk -F'\t' '{ printf "%-15s %8s %10s %10s %7s\n", $1, $2, $3, $4, $5 }' "$results"
echo "DllCanUnloadNow after the cycles: ${unload:-not measured}"

# Replaces what stands between <!-- NAME:begin --> and <!-- NAME:end -->
# in a Markdown file by the contents of another file.
splice() {
    local doc=$1 name=$2 part=$3
    grep -q "<!-- $name:begin -->" "$doc" || return 0
    awk -v part="$part" -v begin="<!-- $name:begin -->" -v end="<!-- $name:end -->" '
        index($0, end) { skip = 0 }
        !skip { print }
        index($0, begin) { while ((getline line < part) > 0) print line; skip = 1 }
    ' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
}

if [ $quick = 0 ] && [ $status = 0 ]; then
    cp "$results" "$VX_ROOT/bench/results.tsv"
    doc="$VX_ROOT/docs/performance.md"
    if [ -f "$doc" ]; then
        splice "$doc" bench "$table"
        if [ ${#doc_args[@]} -gt 0 ]; then
            # The 16 MB steps: the size where the targets start.
            breakdown="$out/breakdown.md"
            {
                echo '```text'
                awk '/^open  16 MB:/ { on = 1; next } /^open 128 MB:/ { on = 0 } on && !/^save  16 MB:/' "$details"
                echo '```'
            } >"$breakdown"
            splice "$doc" breakdown "$breakdown"
        fi
    fi
    vx_log "recorded in bench/results.tsv and docs/performance.md"
fi
exit $status
