#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times kestrin-cli counting in the game's characters (--encoding utf-8, --game-table, --dictionary-bytes)
# against the plain count of the same bytes on the Japanese and Russian corpora, checks the real-savings
# sizes with the re-encoder bench/reencode.py and counts the entries that split a character. Prints a
# Markdown table on standard output, progress on standard error. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/text_characters.sh [--cli PROGRAM] [--data-dir DIR] [--runs N] [--lang ja|ru] [--large] [--no-recheck]
  --cli PROGRAM   the kestrin-cli to time (default build/bench/cli/kestrin-cli, else build/ci/cli/kestrin-cli)
  --data-dir DIR  where the corpora and the reports go (default build/bench-data, as bench/run.sh)
  --runs N        timed runs per row: the median wall time and the largest peak RSS (default 3)
  --lang LANG     only this language (default both)
  --large         also the 16 MiB corpora (the re-encoder checks them only without --no-recheck)
  --no-recheck    leave out the re-encoder on the 16 MiB corpora (about two minutes a row)
  --quick         only the first campaign's translation (about 160 KB), not the 1 MiB corpora
EOF
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=""
data_dir="$root/build/bench-data"
runs=3
langs=(ja ru)
large=0
recheck_large=1
quick=0
while (($#)); do
    case "$1" in
    --cli) cli=$2; shift ;;
    --data-dir) data_dir=$2; shift ;;
    --runs) runs=$2; shift ;;
    --lang) langs=("$2"); shift ;;
    --large) large=1 ;;
    --no-recheck) recheck_large=0 ;;
    --quick) quick=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done

say() { printf '%s\n' "$*" >&2; }
die() { say "text_characters.sh: $*"; exit 1; }

if [[ -z $cli ]]; then
    for candidate in "$root/build/bench/cli/kestrin-cli" "$root/build/ci/cli/kestrin-cli"; do
        [[ -x $candidate ]] && { cli=$candidate; break; }
    done
fi
[[ -x $cli ]] || die "no kestrin-cli: build one or give --cli"
cli=$(realpath "$cli")
data_dir=$(realpath -m "$data_dir")
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package time)"
help=$("$cli" --help)
text_modes=1
for option in --encoding --game-table --dictionary-bytes; do
    grep -q -- "$option" <<<"$help" || { say "text_characters.sh: $cli has no $option"; text_modes=0; }
done

work="$data_dir/text-characters"
reports="$work/reports"
mkdir -p "$reports"

# Times one run RUNS times; sets status (ok or exit:N), wall (median, s) and rss (largest, KiB). The
# report of the last run is $reports/NAME.rep, its table (with -t) $reports/NAME.tbl, made afresh each time.
status="" wall="" rss=""
timed() {
    local name=$1; shift
    local walls=() r line
    rss=0 status=ok
    for ((r = 0; r < runs; r++)); do
        rm -f "$reports/$name.tbl"
        if ! (cd "$reports" && /usr/bin/time -f '%e %M' -o "$name.time" "$cli" -q -y "$@" >"$name.rep" 2>"$name.err"); then
            status="exit:$(tail -n 1 "$reports/$name.time" | sed -n 's/.*exited with non-zero status \([0-9]*\).*/\1/p')"
            say "  $name: $status: $(head -n 1 "$reports/$name.err")"
            wall="" rss=""
            return
        fi
        read -r line <<<"$(tail -n 1 "$reports/$name.time")"
        walls+=("${line% *}")
        ((${line#* } > rss)) && rss=${line#* }
    done
    wall=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    say "  $name: wall $wall s, peak $((rss / 1024)) MiB"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { if (k != "") printf "%.1f", k / 1024 }'; }

rows=()
# One row: corpus label, mode, kind (count or savings), the reference wall and rss (the Latin-1 run of
# the same kind on the same file; empty for that run itself), re-encoder options (empty: no check; "-"
# for none), the report name, the file, then the kestrin-cli options.
row() {
    local label=$1 mode=$2 kind=$3 ref_wall=$4 ref_rss=$5 recheck=$6 name=$7 file=$8
    shift 8
    last_wall="" last_rss=""
    if [[ $mode != Latin-1 ]] && ((!text_modes)); then
        rows+=("| $label | $mode | $kind | **not in this build** | | | | | | | | |")
        return
    fi
    local args=("$@")
    [[ $kind == savings ]] && args=(--real-savings -r '&H8000-&H83FF' -t "$name.tbl" "${args[@]}")
    timed "$name" "${args[@]}" "$file"
    if [[ $status != ok ]]; then
        rows+=("| $label | $mode | $kind | **$status** | | | | | | | | |")
        return
    fi
    local sizes="" table="" check="" split=""
    if [[ $kind == savings ]]; then
        local m k n t e
        read -r m k n <<<"$(sed -n 's/^Encoded size: \([0-9]*\) bytes by longest match, \([0-9]*\) bytes by best parse, from \([0-9]*\) bytes.*/\1 \2 \3/p' "$reports/$name.rep")"
        read -r t e <<<"$(sed -n 's/^Table size: \([0-9]*\) bytes in \([0-9]*\) entries.*/\1 \2/p' "$reports/$name.rep")"
        sizes="$m / $k / $n ($(awk -v n="$n" -v m="$m" 'BEGIN { if (n > 0) printf "%.1f%%", 100 * (n - m) / n }'))"
        table="$t ($e)"
        local i
        for ((i = 0; i + 1 < ${#args[@]}; i++)); do
            [[ ${args[i]} == --dictionary-bytes ]] && ((t > args[i + 1])) && table+=" **over ${args[i + 1]}**"
        done
        if [[ -n $recheck ]]; then
            local options=() out
            [[ $recheck != - ]] && read -ra options <<<"$recheck"
            out=$(python3 "$root/bench/reencode.py" "${options[@]}" --table "$reports/$name.tbl" \
                --report "$reports/$name.rep" "$file" 2>&1 | tail -n 1)
            local rn rm rk rt rsplit rbad
            rn=$(sed -n 's/.*N=\([0-9]*\).*/\1/p' <<<"$out")
            rm=$(sed -n 's/.*M=\([0-9]*\).*/\1/p' <<<"$out")
            rk=$(sed -n 's/.*K=\([0-9]*\).*/\1/p' <<<"$out")
            rt=$(sed -n 's/.*T=\([0-9]*\).*/\1/p' <<<"$out")
            rsplit=$(sed -n 's/.*split=\([0-9]*\).*/\1/p' <<<"$out")
            rbad=$(sed -n 's/.*badhex=\([0-9]*\).*/\1/p' <<<"$out")
            if [[ -z $rm ]]; then
                check="**re-encoder: $out**"
            else
                check="$rm / $rk / $rn"
                if [[ $rm == "$m" && $rk == "$k" && $rn == "$n" && $rt == "$t" && $rbad == 0 ]]; then
                    check+=" same"
                else
                    check+=" **differs** (T $rt, bad hex $rbad)"
                fi
                split="$rsplit of $e"
            fi
        fi
    fi
    rows+=("| $label | $mode | $kind | $wall | $(ratio "$wall" "$ref_wall") | $(mib "$rss") | $(ratio "$rss" "$ref_rss") | $sizes | $table | $check | $split |")
    last_wall=$wall last_rss=$rss
}

last_wall="" last_rss=""
# All the rows of one corpus: FILE as it is, and TAGGED (the same text with the game table's tags).
corpus_rows() {
    local label=$1 file=$2 tagged=$3 table=$4 recheck=$5 tag=$6
    local game=(--encoding utf-8 --game-table "$table")
    local plain=(-l 2-8 -n 1000)
    local re_latin re_utf8 re_game
    re_latin="" re_utf8="" re_game=""
    if ((recheck)); then
        re_latin="--encoding latin1 --split-check" re_utf8="--encoding utf-8"
        re_game="--encoding utf-8 --game-table $table"
    fi
    row "$label" Latin-1 count "" "" "" "$tag-latin1-count" "$file" "${plain[@]}"
    local count_wall=$last_wall count_rss=$last_rss
    row "$label" Latin-1 savings "" "" "$re_latin" "$tag-latin1-savings" "$file" "${plain[@]}"
    local savings_wall=$last_wall savings_rss=$last_rss
    row "$label" UTF-8 count "$count_wall" "$count_rss" "" "$tag-utf8-count" "$file" --encoding utf-8 "${plain[@]}"
    row "$label" UTF-8 savings "$savings_wall" "$savings_rss" "$re_utf8" "$tag-utf8-savings" "$file" \
        --encoding utf-8 "${plain[@]}"
    label+=", tagged"
    row "$label" Latin-1 count "" "" "" "$tag-tags-latin1-count" "$tagged" "${plain[@]}"
    count_wall=$last_wall count_rss=$last_rss
    row "$label" Latin-1 savings "" "" "$re_latin" "$tag-tags-latin1-savings" "$tagged" "${plain[@]}"
    savings_wall=$last_wall savings_rss=$last_rss
    row "$label" "game table" count "$count_wall" "$count_rss" "" "$tag-game-count" "$tagged" "${game[@]}" \
        "${plain[@]}"
    row "$label" "game table" savings "$savings_wall" "$savings_rss" "$re_game" "$tag-game-savings" "$tagged" \
        "${game[@]}" "${plain[@]}"
    row "$label" "game table, 4000 bytes" savings "$savings_wall" "$savings_rss" "$re_game" \
        "$tag-game-dict4000" "$tagged" "${game[@]}" --dictionary-bytes 4000 "${plain[@]}"
}

for lang in "${langs[@]}"; do
    "$root/bench/make_corpus.sh" --data-dir "$data_dir" --lang "$lang" >&2 || die "no $lang corpus"
    real="$data_dir/real"
    # The first campaign's translation alone, the size of a real game's script.
    campaign=$(awk '$1 == "wesnoth-1.16-httt" { print $(NF - 1) }' "$real/manifest-$lang.txt")
    [[ -n $campaign ]] || die "the manifest of the $lang corpus names no wesnoth-1.16-httt"
    head -c "$campaign" "$real/real-$lang-1M.txt" >"$work/$lang-campaign.txt"
    names=(campaign)
    ((quick)) || names+=(1M)
    ((large)) && names+=(16M)
    sources=() tag_args=()
    for name in "${names[@]}"; do
        source="$work/$lang-campaign.txt"
        [[ $name != campaign ]] && source="$real/real-$lang-$name.txt"
        sources+=("$source")
        tag_args+=(--tag "$source" "$work/$lang-$name-tags.txt")
    done
    # The table maps the characters of the whole text (the 4 MiB corpus holds all of it), so that it is
    # the same whichever corpora are timed.
    python3 "$root/bench/make_game_table.py" --lang "$lang" --table "$work/$lang.tbl" "${tag_args[@]}" \
        "$real/real-$lang-4M.txt"
    for i in "${!names[@]}"; do
        name=${names[i]}
        size=$(stat -c %s "${sources[i]}")
        say "$lang $name ($size bytes):"
        recheck=1
        [[ $name == 16M ]] && recheck=$recheck_large
        corpus_rows "$lang $name ($size bytes)" "${sources[i]}" "$work/$lang-$name-tags.txt" "$work/$lang.tbl" \
            "$recheck" "$lang-$name"
    done
done

cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1) ($(nproc) cores), load $(cut -d' ' -f1-3 /proc/loadavg), $runs run(s) a row, $("$cli" --version | head -n 1).
Every run: kestrin-cli -q -y -l 2-8 -n 1000, threads by default; savings rows add --real-savings -r '&H8000-&H83FF' -t TABLE.

| Corpus | Mode | Kind | Wall s | Wall / Latin-1 | Peak MiB | Peak / Latin-1 | Encoded M / K / N (saved) | Table T (entries) | Re-encoder M / K / N | Entries that split a character |
|---|---|---|---:|---:|---:|---:|---|---|---|---|
EOF
printf '%s\n' "${rows[@]}"
