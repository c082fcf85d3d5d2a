#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times the real-savings mode of kestrin-cli and compares what it saves with the plain ranking's top
# entries and with the Re-Pair yardstick, on generated and real text; prints a Markdown table on standard
# output, progress on standard error. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/savings.sh [--build-dir DIR] [--data-dir DIR] [--runs N] [--no-build] [--quick]
  --build-dir DIR  an existing Release build tree (default build/bench, from the "bench" preset)
  --data-dir DIR   where the corpora and reports go (default build/bench-data, as bench/run.sh)
  --runs N         timed runs per row (default 3)
  --no-build       use the programs already built
  --quick          the 1 MiB rows only, one run each
EOF
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$root/build/bench"
data_dir="$root/build/bench-data"
runs=3
build=1
quick=0
while (($#)); do
    case "$1" in
    --build-dir) build_dir=$2; shift ;;
    --data-dir) data_dir=$2; shift ;;
    --runs) runs=$2; shift ;;
    --no-build) build=0 ;;
    --quick) quick=1; runs=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done

say() { printf '%s\n' "$*" >&2; }
die() { say "savings.sh: $*"; exit 1; }

if ((build)); then
    [[ -d $build_dir ]] || (cd "$root" && cmake --preset bench -DKESTRIN_BUILD_UI=OFF >&2)
    cmake --build "$build_dir" -j2 --target kestrin-cli kestrin-gen kestrin-bench kestrin-repair >&2 ||
        die "the build failed"
fi
program() { find "$build_dir" -type f -name "$1" -perm -u+x | head -n 1; }
cli=$(program kestrin-cli)
gen=$(program kestrin-gen)
bench=$(program kestrin-bench)
repair=$(program kestrin-repair)
[[ -n $cli && -n $gen && -n $bench && -n $repair ]] || die "a program is missing in $build_dir"

mkdir -p "$data_dir/reports"
"$root/scripts/install-deps" --bench >&2 || true
"$root/bench/make_corpus.sh" --data-dir "$data_dir" >&2 || say "savings.sh: no real-text corpora; real rows skipped"
generated() {
    local file="$data_dir/script-$1-seed1.txt"
    [[ -f $file ]] || "$gen" "$1" 1 -o "$file" >&2
    printf '%s' "$file"
}

# A row: corpus label, file, lengths, entries, code bytes.
row() {
    local label=$1 file=$2 lengths=$3 entries=$4 code=$5
    [[ -f $file ]] || { say "  $label: no file, skipped"; return; }
    local ranges='&H0-&HFF'
    ((code == 2)) && ranges='&H100-&H4FF'
    local tag report table plain line status wall cpu rss
    tag="$(basename "$file" .txt)-l$lengths-e$entries-c$code"
    report="$data_dir/reports/savings-$tag.txt"
    table="$data_dir/reports/savings-$tag.tbl"
    plain="$data_dir/reports/plain-$tag.tbl"
    rm -f "$table" "$plain"
    line=$("$bench" -r "$runs" --tsv -o "$report" -- \
        "$cli" -q -y --real-savings -l "$lengths" -n "$((entries - 1))" -r "$ranges" "$file" || true)
    IFS=$'\t' read -r status wall cpu rss _ <<<"$line"
    say "  $label -l $lengths, $entries x $code: $status, wall ${wall:-?} s"
    [[ $status == ok ]] || { rows+=("| $label | $lengths | $entries x $code | **$status** | | | | | | | |"); return; }
    # The table the mode writes, and the plain ranking's, each encoded by kestrin-repair: an independent
    # check of the report's "Encoded size" line.
    "$cli" -q -y --real-savings -l "$lengths" -n "$((entries - 1))" -r "$ranges" -t "$table" "$file" >/dev/null
    "$cli" -q -y -l "$lengths" -n "$((entries - 1))" -r "$ranges" -t "$plain" "$file" >/dev/null
    local sizes n m k recheck plain_best plain_longest repair_line repair_saved expansions_saved
    sizes=$(sed -n 's/^Encoded size: \([0-9]*\) bytes by longest match, \([0-9]*\) bytes by best parse, from \([0-9]*\) bytes.*/\1 \2 \3/p' "$report")
    read -r m k n <<<"$sizes"
    recheck=$("$repair" --parse-table "$table" -c "$code" "$file" | sed -n 's/.*greedy longest match: \([0-9]*\) bytes.*/\1/p')
    plain_best=$("$repair" --parse-table "$plain" -c "$code" "$file" | sed -n 's/.*best parse: \([0-9]*\) bytes.*/\1/p')
    plain_longest=$("$repair" --parse-table "$plain" -c "$code" "$file" | sed -n 's/.*greedy longest match: \([0-9]*\) bytes.*/\1/p')
    repair_line=$("$repair" -k "$entries" -c "$code" "$file")
    repair_saved=$(sed -n 's/^Re-Pair encoding: [0-9]* bytes (saved \([0-9]*\).*/\1/p' <<<"$repair_line")
    expansions_saved=$(sed -n 's/^As plain entries, best parse: [0-9]* bytes (saved \([0-9]*\).*/\1/p' <<<"$repair_line")
    local check="same"
    [[ $recheck == "$m" ]] || check="**differs: $recheck**"
    rows+=("| $label | $lengths | $entries x $code | $wall | $(awk -v k="$rss" 'BEGIN { printf "%.0f", k / 1024 }') | $((n - plain_longest)) / $((n - plain_best)) | $((n - m)) / $((n - k)) | $repair_saved / $expansions_saved | $check |")
}

rows=()
real="$data_dir/real"
row "real 1 MiB" "$real/real-1M.txt" 2-16 256 1
row "generated 1 MiB" "$(generated 1M)" 2-16 256 1
if ((!quick)); then
    row "real 128 KiB" "$real/real-128K.txt" 2-8 128 1
    row "real 4 MiB" "$real/real-4M.txt" 2-8 1024 2
    row "real 16 MiB" "$real/real-16M.txt" 2-8 1024 2
    row "generated 16 MiB" "$(generated 16M)" 2-8 1024 2
fi

cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1) ($(nproc) cores), load $(cut -d' ' -f1-3 /proc/loadavg), $runs run(s) a row.

| Corpus | Lengths | Entries x code bytes | Wall s (median) | Peak MiB | Plain ranking saves, longest / best | Real savings saves, longest / best | Re-Pair saves, recursive / as entries | Longest match of the table file |
|---|---|---|---:|---:|---:|---:|---:|---|
EOF
printf '%s\n' "${rows[@]}"
