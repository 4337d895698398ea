#!/usr/bin/env bash
# Builds, prepares Wine and runs the benchmarks in bench/ under it; prints
# one table. A full run also records the figures in bench/results.tsv and
# in the table of docs/performance.md.
#
#   bash scripts/bench.sh [--quick] [--breakdown] [--x64] [--only=PROGRAMS]
#                         [--startup=LABEL=PATH ...]
#     --quick      few repetitions and cycles, nothing recorded (a smoke run)
#     --breakdown  also times the document site's steps one by one (stderr)
#     --x64        the 64-bit build in its 64-bit prefix
#     --only=PROGRAMS  some of documents,cycles,menubar,startup,web; only
#                  what they build is built, and only their rows are
#                  replaced in the record
#     --startup=LABEL=PATH  also the start-up row of another build's
#                  Vellix.DLL (a Linux path; Plinth.dll beside it), recorded
#                  as "startup-LABEL": before/after figures in one run
set -u
. "$(dirname "$0")/setup.sh"

quick=0
doc_args=()
startup_builds=()
x64=0
only=""
for arg in "$@"; do
    case $arg in
    --quick) quick=1 ;;
    --breakdown) doc_args+=(--breakdown) ;;
    --startup=*=*) startup_builds+=("${arg#--startup=}") ;;
    --x64) x64=1 ;;
    --only=*) only=",${arg#--only=}," ;;
    *) echo "usage: $0 [--quick] [--breakdown] [--x64] [--only=PROGRAMS] [--startup=LABEL=PATH ...]" >&2; exit 2 ;;
    esac
done
run_args=()
[ $quick = 1 ] && run_args+=(--quick)
wanted() { [ -z "$only" ] || [[ $only == *",$1,"* ]]; }

if [ -n "$only" ]; then
    VX_BUILD_TARGETS="Vellix VellixPad VellixExtDoubles vx_trust_root"
    for p in documents cycles menubar startup web; do wanted $p && VX_BUILD_TARGETS+=" bench_$p"; done
    export VX_BUILD_TARGETS
fi
if [ $x64 = 1 ]; then
    vx_setup_x64 || exit 1
else
    vx_setup || exit 1
fi
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
    vx_wine "$VX_BUILD/bin/$exe.exe" --data "$(vx_winpath "$data")" --temp "$(vx_winpath "$temp")" \
        "${run_args[@]}" "$@" 2> >(tr -d '\r' | tee -a "$details" >&2) | tr -d '\r' >>"$rows"
    local rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || { vx_log "$exe failed ($rc)"; return 1; }
}

# One curl run against the private Apache, in milliseconds: $1 open or save,
# $2 http or https, $3 the size in MB. The download goes to a file beside
# the control's own temporary files, as the control must store it too.
curl_ms() {
    local url start rc
    case $2 in
    http) url="http://127.0.0.1:$VX_DAV_HTTP_PORT/dav" ;;
    https) url="https://localhost:$VX_DAV_HTTPS_PORT/dav" ;;
    esac
    start=$(date +%s%N)
    if [ "$1" = open ]; then
        curl -sf --cacert "$VX_DAV_CA_PEM" -o "$temp/curl-download.vxp" "$url/doc$3mb.vxp"
    else
        curl -sf --cacert "$VX_DAV_CA_PEM" -o /dev/null -T "$data/doc$3mb.vxp" "$url/curl-doc$3mb.vxp"
    fi
    rc=$?
    local end
    end=$(date +%s%N)
    rm -f "$temp/curl-download.vxp"
    [ $rc = 0 ] || { echo 0; return 1; }
    awk -v ns=$((end - start)) 'BEGIN { printf "%.1f\n", ns / 1e6 }'
}

# Documents from and to Apache: the program asks for each curl run between
# its own (a request line on its stdout), so that the two alternate.
bench_web() {
    run bench_web --prepare || return 1
    vx_log "running bench_web"
    coproc WEB { vx_wine "$VX_BUILD/bin/bench_web.exe" --data "$(vx_winpath "$data")" --temp "$(vx_winpath "$temp")" \
        "${run_args[@]}" 2> >(tr -d '\r' | tee -a "$details" >&2); }
    local line pid=$WEB_PID
    while IFS= read -r line <&"${WEB[0]}"; do
        line=${line%$'\r'}
        case $line in
        "curl "*)
            set -- $line
            curl_ms "$2" "$3" "$4" >&"${WEB[1]}" || vx_log "curl failed: $line"
            ;;
        *) printf '%s\n' "$line" >>"$rows" ;;
        esac
    done
    wait "$pid"
    local rc=$?
    rm -f "$VX_BUILD/run/apache/htdocs/dav/"*doc*mb.vxp
    [ "$rc" = 0 ] || vx_log "bench_web failed ($rc)"
    return $rc
}

status=0
if wanted documents; then run bench_documents "${doc_args[@]}" || status=1; fi
if wanted cycles; then run bench_cycles || status=1; fi
if wanted menubar; then run bench_menubar || status=1; fi
if wanted startup; then
    run bench_startup || status=1
    for build in "${startup_builds[@]}"; do
        run bench_startup --label "${build%%=*}" --dll "$(vx_winpath "${build#*=}")" || status=1
    done
fi
if wanted web; then bench_web || status=1; fi

unit_of() {
    case $1 in
    open | save | paint | startup* | url-*) echo ms ;;
    growth-memory) echo MB ;;
    *) echo count ;;
    esac
}

results="$out/results.tsv"
{
    printf 'figure\tsize_mb\tcontrol\tbaseline\tratio\n'
    if [ -n "$only" ] && [ -f "$VX_ROOT/bench/results.tsv" ]; then
        # The recorded rows, those measured now in their place (new ones last).
        awk -F'\t' 'FNR == NR { if (!/^#/) { fresh[$1 FS $2] = $0; order[++n] = $1 FS $2 } next }
            FNR > 1 { key = $1 FS $2; if (key in fresh) { print fresh[key]; done[key] = 1 } else print }
            END { for (i = 1; i <= n; ++i) if (!(order[i] in done)) print fresh[order[i]] }' \
            "$rows" "$VX_ROOT/bench/results.tsv"
    else
        grep -v '^#' "$rows"
    fi
} >"$results"
unload=$(awk -F'\t' '$1 == "#unload" { print $2 }' "$rows")
# A partial run keeps the recorded answer of the cycles it did not run.
[ -z "$unload" ] && [ -n "$only" ] &&
    unload=$(sed -n 's/^DllCanUnloadNow of Vellix.DLL after the cycles: \(.*\)\.$/\1/p' "$VX_ROOT/docs/performance.md")

machine="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(vx_wine --version), $(date -u +%Y-%m-%d), files on $files_on"
[ $x64 = 1 ] && machine+=", 64-bit build"
[ -n "$only" ] && machine+="; rows of ${only:1:-1} from this run, the others as recorded before"
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
