#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds what the benchmarks need, generates the corpora, times kestrin-cli (and the literal reference on
# the smallest corpus), times it beside the yardstick kestrin-sol on generated and real text, runs the
# Re-Pair yardstick and prints the results as Markdown tables on standard output. Progress goes to
# standard error. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/run.sh [--quick] [--build-dir DIR] [--data-dir DIR] [--runs N] [--literal-timeout S]
                    [--busy-limit PCT] [--retries N] [--yardsticks-only] [--output FILE] [--no-build]
  --quick              smoke test: the 256 KiB and 1 MiB corpora, one run each, a short literal timeout;
                       the yardsticks on 1 MiB only
  --build-dir DIR      an existing build tree to use (default build/bench, configured from the "bench"
                       preset when missing); it should be a Release build
  --data-dir DIR       where the corpora and the reports go (default build/bench-data)
  --runs N             timed runs per row (default 5, and 3 on the 64 MiB corpus; 1 with --quick)
  --literal-timeout S  give up on a kestrin-literal run after S seconds (default 120; 30 with --quick)
  --busy-limit PCT     time a kestrin-cli / kestrin-sol pair again when other work took more than PCT% of
                       the machine's CPU meanwhile (default 20)
  --retries N          at most N such repeats per pair (default 2); the quietest attempt is kept
  --yardsticks-only    only the kestrin-sol and kestrin-repair tables (to time them again)
  --output FILE        also write the table to FILE
  --no-build           use the programs already built in the build tree
EOF
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=""
data_dir="$root/build/bench-data"
quick=0
runs=""
literal_timeout=""
output=""
build=1
seed=1
literal_broken=0
busy_limit=20
retries=2
yardsticks_only=0

while (($#)); do
    case "$1" in
    --quick) quick=1 ;;
    --build-dir) build_dir=$2; shift ;;
    --data-dir) data_dir=$2; shift ;;
    --runs) runs=$2; shift ;;
    --literal-timeout) literal_timeout=$2; shift ;;
    --busy-limit) busy_limit=$2; shift ;;
    --retries) retries=$2; shift ;;
    --yardsticks-only) yardsticks_only=1 ;;
    --output) output=$2; shift ;;
    --no-build) build=0 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done

say() { printf '%s\n' "$*" >&2; }
die() { say "run.sh: $*"; exit 1; }

if ((quick)); then
    sizes=(256K 1M)
    yard_sizes=(1M)
    : "${literal_timeout:=30}"
else
    sizes=(256K 1M 4M 16M 64M)
    yard_sizes=(4M 16M)
    : "${literal_timeout:=120}"
fi

# --- Build -----------------------------------------------------------------------------------------------
if [[ -z $build_dir ]]; then
    build_dir="$root/build/bench"
    if ((build)) && [[ ! -f $build_dir/build.ninja ]]; then
        say "Configuring $build_dir from the bench preset"
        # The window is not timed here, so the build does not need Qt.
        (cd "$root" && cmake --preset bench -DKESTRIN_BUILD_UI=OFF >&2)
    fi
fi
[[ -d $build_dir ]] || die "no build tree at $build_dir"
build_dir=$(cd "$build_dir" && pwd)
if ((build)); then
    say "Building kestrin-cli, kestrin-gen, kestrin-bench and the yardsticks in $build_dir"
    cmake --build "$build_dir" -j2 --target kestrin-cli kestrin-gen kestrin-bench kestrin-sol kestrin-repair >&2 ||
        die "the build failed"
    if ! cmake --build "$build_dir" -j2 --target kestrin-literal >&2; then
        say "kestrin-literal did not build; its comparison is left out"
        literal_broken=1
    fi
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)
[[ $build_type == Release ]] || say "warning: $build_dir is a '${build_type:-unknown}' build, not Release"

find_program() {
    find "$build_dir" -type f -name "$1" -perm -u+x -not -path '*/CMakeFiles/*' 2>/dev/null | head -n 1
}
cli=$(find_program kestrin-cli)
gen=$(find_program kestrin-gen)
bench=$(find_program kestrin-bench)
sol=$(find_program kestrin-sol)
repair=$(find_program kestrin-repair)
literal=""
((literal_broken)) || literal=$(find_program kestrin-literal)
[[ -n $cli && -n $gen && -n $bench ]] || die "kestrin-cli, kestrin-gen or kestrin-bench is missing in $build_dir"
[[ -n $sol && -n $repair ]] || die "kestrin-sol or kestrin-repair is missing in $build_dir"

# --- Corpora ---------------------------------------------------------------------------------------------
mkdir -p "$data_dir/reports"
data_dir=$(cd "$data_dir" && pwd)

bytes_of() { # 256K -> 262144
    local n=${1%[KM]}
    case $1 in
    *K) echo $((n * 1024)) ;;
    *M) echo $((n * 1024 * 1024)) ;;
    *) echo "$n" ;;
    esac
}
label_of() { # 256K -> "256 KiB"
    case $1 in
    *K) echo "${1%K} KiB" ;;
    *M) echo "${1%M} MiB" ;;
    *) echo "$1 B" ;;
    esac
}
corpus_of() { echo "$data_dir/script-$1-seed$seed.txt"; }

# A corpus is made again when the generator was rebuilt after it or when its size is wrong.
for size in "${sizes[@]}" 1K; do
    file=$(corpus_of "$size")
    if [[ ! -f $file || $gen -nt $file || $(stat -c %s "$file") != "$(bytes_of "$size")" ]]; then
        say "Generating $file"
        "$gen" -o "$file" "$size" "$seed"
    fi
done

# The real-text corpora (Italian translations from Debian packages) need the network the first time.
real_dir="$data_dir/real"
real_note=""
say "Making the real-text corpora (bench/make_corpus.sh)"
"$root/scripts/install-deps" --bench >&2 || say "run.sh: could not install gettext; the real rows may be missing"
if ! "$root/bench/make_corpus.sh" --data-dir "$data_dir" 2>"$data_dir/make_corpus.log"; then
    real_note=$(grep -a '^make_corpus.sh: ' "$data_dir/make_corpus.log" | tail -n 1)
    real_note=${real_note:-make_corpus.sh failed}
fi
cat "$data_dir/make_corpus.log" >&2

# --- Timing ----------------------------------------------------------------------------------------------
declare -A wall_of=()
rows=()

# time_row SIZE LENGTHS TOP STYLE RUNS: times kestrin-cli and appends a table row.
time_row() {
    local size=$1 lengths=$2 top=$3 style=$4 count=$5
    local file report settings key args=(-q -y -l "$lengths" -n "$top")
    file=$(corpus_of "$size")
    settings="-l $lengths -n $top"
    if [[ $style != none ]]; then
        args+=(-c "$style")
        settings+=" -c $style"
    fi
    key="$size|$lengths|$top|$style"
    report="$data_dir/reports/cli-$size-${lengths}-n$top-$style.txt"
    local line status wall cpu rss
    line=$("$bench" -r "$count" --tsv -o "$report" -- "$cli" "${args[@]}" "$file" || true)
    IFS=$'\t' read -r status wall cpu rss _ <<<"$line"
    say "  $(label_of "$size") $settings: $status, wall ${wall:-?} s"

    local distinct per_string target
    distinct=$(sed -n 's/^Number of different strings: \(-\{0,1\}[0-9]*\).*/\1/p' "$report" | head -n 1)
    if [[ $status != ok ]]; then
        rows+=("| $(label_of "$size") | \`$settings\` | $count | **$status** | | | | | |")
        return
    fi
    wall_of[$key]=$wall
    # Below some ten thousand strings the page-sized steps of the RSS swamp the figure.
    per_string=""
    if [[ -n $distinct && $distinct -ge 10000 ]]; then
        per_string=$(awk -v rss="$rss" -v base="$base_rss" -v input="$(bytes_of "$size")" -v n="$distinct" \
            'BEGIN { printf "%.1f", ((rss - base) * 1024 - input) / n }')
    fi
    target=$(target_of "$size" "$lengths" "$top" "$style" "$wall")
    rows+=("| $(label_of "$size") | \`$settings\` | $count | $wall | $cpu | $(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }') | ${distinct:-?} | $per_string | $target |")
}

# The targets of README.md, as text for the last column.
target_of() {
    local size=$1 lengths=$2 top=$3 style=$4 wall=$5 limit="" base text=""
    if [[ $style != none ]]; then
        base=${wall_of["$size|$lengths|$top|none"]:-}
        if [[ -n $base ]]; then
            awk -v w="$wall" -v b="$base" 'BEGIN {
                r = (w / b - 1) * 100; printf "filter %+.0f%% (<= +20%%): %s", r, (r <= 20 ? "ok" : "**miss**") }'
        fi
        return 0
    fi
    case "$size|$lengths" in
    1M\|1 | 1M\|2-4 | 1M\|2-8 | 1M\|16) limit=0.15 ;;
    16M\|2-8) limit=1.0 ;;
    16M\|16) limit=1.8 ;;
    64M\|2-8) limit=5.0 ;;
    esac
    if [[ $top != 300 ]]; then
        base=${wall_of["$size|$lengths|300|none"]:-}
        if [[ -n $base ]]; then
            text=$(awk -v w="$wall" -v b="$base" 'BEGIN { printf "%+.0f%% vs -n 300", (w / b - 1) * 100 }')
        fi
    fi
    if [[ -n $limit ]]; then
        if [[ -n $text ]]; then text+="; "; fi
        text+=$(awk -v w="$wall" -v l="$limit" 'BEGIN { printf "< %s s: %s", l, (w < l ? "ok" : "**miss**") }')
    fi
    printf '%s' "$text"
}

# Other work on the machine shows in the wall times; the table states the load around the timing.
load_before=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo "?")

# What kestrin-cli holds in memory before it has counted anything: the peak of a run on a 1 KiB file.
base_line=$("$bench" -r 1 --tsv -- "$cli" -q -y -l 1 -n 300 "$(corpus_of 1K)" || true)
IFS=$'\t' read -r base_status _ _ base_rss _ <<<"$base_line"
[[ $base_status == ok ]] || die "kestrin-cli fails on a 1 KiB corpus: $base_status"

timed_sizes=("${sizes[@]}")
if ((yardsticks_only)); then timed_sizes=(); fi
for size in "${timed_sizes[@]}"; do
    if [[ -n $runs ]]; then
        count=$runs
    elif ((quick)); then
        count=1
    elif [[ $size == 64M ]]; then
        count=3
    else
        count=5
    fi
    say "Timing $(label_of "$size") ($count run(s) per row)"
    for style in none cpp; do
        for lengths in 1 2-4 2-8 16; do
            # --quick times the comment filter on one setting only.
            if ((quick)) && [[ $style == cpp && $lengths != 2-8 ]]; then continue; fi
            time_row "$size" "$lengths" 300 "$style" "$count"
        done
    done
    time_row "$size" 2-8 3000 none "$count"
done

# --- The literal reference on the smallest corpus --------------------------------------------------------
literal_rows=()
if [[ -n $literal ]] && ((!yardsticks_only)); then
    small=${sizes[0]}
    say "Running kestrin-literal on $(label_of "$small") (timeout $literal_timeout s)"
    literal_failed=0
    for lengths in 2-4 2-8; do
        settings="-l $lengths -n 300"
        cli_report="$data_dir/reports/cli-$small-${lengths}-n300-none.txt"
        literal_report="$data_dir/reports/literal-$small-${lengths}-n300.txt"
        cli_wall=${wall_of["$small|$lengths|300|none"]:-}
        if ((literal_failed)); then
            literal_rows+=("| $(label_of "$small") | \`$settings\` | ${cli_wall:-?} | not run (the shorter lengths did not finish) | | |")
            continue
        fi
        line=$("$bench" -r 1 -t "$literal_timeout" --tsv -o "$literal_report" -- \
            "$literal" -l "$lengths" -n 300 "$(corpus_of "$small")" || true)
        IFS=$'\t' read -r status wall _ <<<"$line"
        say "  $settings: $status, wall ${wall:-?} s"
        if [[ $status == timeout ]]; then
            ratio=$(awk -v l="$literal_timeout" -v c="${cli_wall:-0}" 'BEGIN { if (c > 0) printf "> %.0f", l / c }')
            literal_rows+=("| $(label_of "$small") | \`$settings\` | ${cli_wall:-?} | > $literal_timeout (timeout) | $ratio | |")
            literal_failed=1
        elif [[ $status != ok ]]; then
            literal_rows+=("| $(label_of "$small") | \`$settings\` | ${cli_wall:-?} | **$status** | | |")
            literal_failed=1
        else
            # The reports must agree byte for byte apart from the elapsed time.
            same="**differ**"
            if cmp -s <(grep -av '^Elapsed time: ' "$cli_report") <(grep -av '^Elapsed time: ' "$literal_report"); then
                same="identical"
            fi
            ratio=$(awk -v l="$wall" -v c="${cli_wall:-0}" 'BEGIN { if (c > 0) printf "%.0f", l / c; else print "?" }')
            literal_rows+=("| $(label_of "$small") | \`$settings\` | ${cli_wall:-?} | $wall | $ratio | $same |")
        fi
    done
fi

# --- The yardsticks --------------------------------------------------------------------------------------
# CPU time that all processes spent, in clock ticks, from /proc/stat: user, nice, system, irq, softirq, steal.
cpu_ticks() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9; exit }' /proc/stat 2>/dev/null || echo 0; }
ticks_per_second=$(getconf CLK_TCK 2>/dev/null || echo 100)
cores=$(nproc)
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# time_pair LABEL FILE LENGTHS RUNS TAG: times kestrin-cli and then kestrin-sol on the same file and appends
# a row to yard_rows. "Other work" is the CPU time that processes other than these two spent meanwhile, as
# a share of all cores; above --busy-limit the pair is timed again, and the quietest attempt is kept.
yard_rows=()
time_pair() {
    local label=$1 file=$2 lengths=$3 count=$4 tag=$5
    local cli_report="$data_dir/reports/yard-cli-$tag-$lengths.txt"
    local sol_report="$data_dir/reports/yard-sol-$tag-$lengths.txt"
    local attempt best_other="" best_row="" other row start_ticks end_ticks start end
    local cli_line sol_line c_status c_wall c_cpu c_rss s_status s_wall s_cpu s_rss ratio
    for ((attempt = 0; attempt <= retries; attempt++)); do
        start_ticks=$(cpu_ticks)
        start=$(date +%s.%N)
        # kestrin-cli warns on stderr about more than ten lengths (2-16) on every run.
        cli_line=$("$bench" -r "$count" --tsv -o "$cli_report" -- "$cli" -q -y -l "$lengths" -n 300 "$file" \
            2> >(grep -v 'over ten sample lengths' >&2) || true)
        sol_line=$("$bench" -r "$count" --tsv -o "$sol_report" -- "$sol" -l "$lengths" -n 300 "$file" || true)
        end_ticks=$(cpu_ticks)
        end=$(date +%s.%N)
        IFS=$'\t' read -r c_status c_wall c_cpu c_rss _ <<<"$cli_line"
        IFS=$'\t' read -r s_status s_wall s_cpu s_rss _ <<<"$sol_line"
        if [[ $c_status != ok || $s_status != ok ]]; then
            best_row="| $label | \`-l $lengths -n 300\` | $count | **${c_status:-?}** | **${s_status:-?}** | | | | | | |"
            break
        fi
        other=$(awk -v t0="$start_ticks" -v t1="$end_ticks" -v hz="$ticks_per_second" -v w0="$start" -v w1="$end" \
            -v own="$(awk -v a="$c_cpu" -v b="$s_cpu" -v n="$count" 'BEGIN { print (a + b) * n }')" -v cores="$cores" \
            'BEGIN { o = ((t1 - t0) / hz - own) / ((w1 - w0) * cores) * 100; printf "%.0f", (o < 0 ? 0 : o) }')
        ratio=$(awk -v a="$c_wall" -v b="$s_wall" 'BEGIN { printf "%.2f", a / b }')
        row="| $label | \`-l $lengths -n 300\` | $count | $c_wall | $s_wall | $ratio | $c_cpu | $s_cpu | $(mib "$c_rss") | $(mib "$s_rss") | $other% |"
        say "  $label -l $lengths: kestrin-cli $c_wall s, kestrin-sol $s_wall s, other work $other%"
        if [[ -z $best_other ]] || ((other < best_other)); then
            best_other=$other
            best_row=$row
        fi
        if ((other <= busy_limit)); then break; fi
        if ((attempt < retries)); then say "  other work above $busy_limit%: timing the pair again"; fi
    done
    yard_rows+=("$best_row")
}

yard_count=${runs:-$( ((quick)) && echo 1 || echo 5)}
say "Timing kestrin-cli beside kestrin-sol ($yard_count run(s) per program and row)"
for size in "${yard_sizes[@]}"; do
    for lengths in 1 2-8 16 2-16; do
        time_pair "$(label_of "$size")" "$(corpus_of "$size")" "$lengths" "$yard_count" "gen-$size"
    done
done
real_repeat_note=""
if [[ -z $real_note ]]; then
    for size in "${yard_sizes[@]}"; do
        for lengths in 1 2-8 16 2-16; do
            time_pair "real $(label_of "$size")" "$real_dir/real-$size.txt" "$lengths" "$yard_count" "real-$size"
        done
    done
    real_repeat_note=$(grep -a 'times over' "$real_dir/manifest.txt" || true)
fi

# Re-Pair: the quality a recursive pair code reaches, and its expansions as plain entries.
repair_rows=()
# figure_of REPORT NAME: "NAME: 123 bytes (saved 45, 6.78%)" in the report -> "123 (6.78%)".
figure_of() { sed -n "s/^$2: \([0-9]*\) bytes (saved [0-9]*, \([0-9.]*%\))$/\1 (\2)/p" "$1"; }
repair_row() {
    local label=$1 file=$2 codes=$3 tag=$4
    local report="$data_dir/reports/repair-$tag-k$codes.txt" line status wall rss
    line=$("$bench" -r 1 --tsv -o "$report" -- "$repair" -k "$codes" -c 1 -o "$data_dir/reports/repair-$tag-k$codes.entries" "$file" || true)
    IFS=$'\t' read -r status wall _ rss _ <<<"$line"
    say "  Re-Pair $label -k $codes: $status, wall ${wall:-?} s"
    if [[ $status != ok ]]; then
        repair_rows+=("| $label | $codes | **$status** | | | | | |")
        return
    fi
    repair_rows+=("| $label | $codes | $(figure_of "$report" 'Re-Pair encoding') | $(figure_of "$report" 'As plain entries, best parse') | $(figure_of "$report" 'As plain entries, greedy longest match') | $(sed -n 's/^Dictionary cost: \([0-9]*\) bytes.*/\1/p' "$report") | $wall | $(mib "$rss") |")
}
say "Running kestrin-repair"
for size in "${yard_sizes[@]}"; do
    for codes in 128 1024; do
        repair_row "$(label_of "$size")" "$(corpus_of "$size")" "$codes" "gen-$size"
        if [[ -z $real_note ]]; then
            repair_row "real $(label_of "$size")" "$real_dir/real-$size.txt" "$codes" "real-$size"
        fi
    done
done

load_after=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo "?")

# --- The table -------------------------------------------------------------------------------------------
print_header() {
    local commit cpu_model
    commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo "no commit")
    if [[ -n $(git -C "$root" status --porcelain 2>/dev/null) ]]; then commit+=" with local changes"; fi
    cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -n 1)
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on ${cpu_model:-an unknown CPU} ($(nproc) cores), $commit,"
    echo "${build_type:-unknown} build, corpora from \`kestrin-gen SIZE $seed\`$( ((quick)) && echo ', --quick')."
    echo "Load average before the timing: $load_before; after it: $load_after."
}

print_cli_tables() {
    echo
    echo "| Corpus | Settings | Runs | Wall s (median) | CPU s (median) | Peak RSS MiB | Distinct strings | Bytes per distinct string | Target |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "Bytes per distinct string: (peak RSS - $(awk -v k="$base_rss" 'BEGIN { printf "%.1f", k / 1024 }') MiB of a run on 1 KiB - input size) / distinct strings,"
    echo "left out below 10000 distinct strings."
    if ((${#literal_rows[@]})); then
        echo
        echo "| Corpus | Settings | kestrin-cli wall s | kestrin-literal wall s (1 run) | Ratio | Reports |"
        echo "|---|---|---:|---:|---:|---|"
        printf '%s\n' "${literal_rows[@]}"
    elif [[ -z $literal ]]; then
        echo
        echo "kestrin-literal did not build, so the comparison with it is missing."
    fi
}

print_yardstick_tables() {
    echo
    if [[ -n $real_note ]]; then
        echo "**The real-text rows are missing**: $real_note"
    else
        echo "Real text: $(sed -n 's/^distinct text: //p' "$real_dir/manifest.txt") of Italian translations from Debian packages (bench/make_corpus.sh);"
        echo "${real_repeat_note:-no corpus repeats the text}. SHA-256:"
        echo
        sed 's/^/    /' "$real_dir/SHA256SUMS"
    fi
    echo
    echo "| Corpus | Settings | Runs | Kestrin wall s | Yardstick wall s | Kestrin / yardstick | Kestrin CPU s | Yardstick CPU s | Kestrin peak RSS MiB | Yardstick peak RSS MiB | Other work |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    printf '%s\n' "${yard_rows[@]}"
    echo
    echo "Kestrin: \`kestrin-cli -q -y -l L -n 300\`; yardstick: \`kestrin-sol -l L -n 300\`; medians of the runs."
    echo "Other work: CPU time of other processes while the pair ran, as a share of all $cores cores."
    if ((${#repair_rows[@]})); then
        echo
        echo "| Corpus | Codes | Re-Pair encoding, bytes (saved) | Expansions as entries, best parse (saved) | Greedy longest match (saved) | Dictionary cost, bytes | Wall s | Peak RSS MiB |"
        echo "|---|---:|---:|---:|---:|---:|---:|---:|"
        printf '%s\n' "${repair_rows[@]}"
        echo
        echo "\`kestrin-repair -k CODES -c 1\`, one run: codes of one byte each."
    fi
}

print_tables() {
    print_header
    if ((!yardsticks_only)); then print_cli_tables; fi
    print_yardstick_tables
}

if [[ -n $output ]]; then
    print_tables | tee "$output"
else
    print_tables
fi
