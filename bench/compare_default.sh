#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs two kestrin-cli programs with the same settings, in the default mode (no text encoding, no game
# table) and in the game's characters (UTF-8, game tables), and compares what each writes: standard
# output and the report file without their "Elapsed time" line, standard error, the exit status and the
# table file. Prints "same" or "DIFF" a setting and thread count;
# exit status 1 when any differs. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/compare_default.sh --base PROGRAM --new PROGRAM [--data-dir DIR] [--out DIR] [--quick]
  --base PROGRAM  the kestrin-cli to compare with (such as a build of the commit before a change)
  --new PROGRAM   the kestrin-cli to check
  --data-dir DIR  where the corpora are (default build/bench-data; made with make_corpus.sh)
  --out DIR       where the outputs go (default DATA_DIR/compare)
  --quick         the 1 MiB and smaller corpora only
EOF
}

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
base="" new="" data_dir="$root/build/bench-data" out="" quick=0
while (($#)); do
    case "$1" in
    --base) base=$2; shift ;;
    --new) new=$2; shift ;;
    --data-dir) data_dir=$2; shift ;;
    --out) out=$2; shift ;;
    --quick) quick=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done
[[ -x $base && -x $new ]] || { usage >&2; exit 2; }
base=$(realpath "$base") new=$(realpath "$new") data_dir=$(realpath -m "$data_dir")
out=$(realpath -m "${out:-$data_dir/compare}")
rm -rf "$out"
mkdir -p "$out"
cd "$out"

for lang in it ja ru; do
    "$root/bench/make_corpus.sh" --data-dir "$data_dir" --lang "$lang" >/dev/null 2>&1 ||
        echo "compare_default.sh: no $lang corpus; its settings are left out" >&2
done
real="$data_dir/real"
# An exclusion table: a few strings common in the corpora, in the table-file style (CR LF, comments).
printf '; strings that have codes already\r\n80=e \r\n81=la\r\n82=の\r\n83=\xd0\xbe\xd0\xb2\r\n84= di \r\n' >exclude.tbl

fails=0
# A setting: its name and the options and files (the table file is t.tbl, the report file r.txt, both in
# the output folder, where the runs start).
compare() {
    local name=$1; shift
    local file
    for file in "$@"; do
        [[ $file == "$real"/* && ! -f $file ]] && { echo "skip  $name (no $file)"; return; }
    done
    local threads which program
    for threads in 1 0; do
        for which in base new; do
            program=$base
            [[ $which == new ]] && program=$new
            local stem="$name.t$threads.$which"
            printf 'FE=kept\r\n' >t.tbl
            rm -f r.txt
            local status=0
            "$program" -q --threads "$threads" "$@" >"$stem.out" 2>"$stem.err" </dev/null || status=$?
            { grep -av '^Elapsed time' "$stem.out" || true; echo "exit status $status"; } >"$stem.cmp"
            mv t.tbl "$stem.tbl"
            if [[ -f r.txt ]]; then grep -av '^Elapsed time' r.txt >"$stem.report" || true; rm r.txt; fi
        done
        local same=1 part
        for part in cmp err tbl report; do
            [[ -f $name.t$threads.base.$part || -f $name.t$threads.new.$part ]] || continue
            cmp -s "$name.t$threads.base.$part" "$name.t$threads.new.$part" || same=0
        done
        if ((same)); then echo "same  $name threads $threads"; else echo "DIFF  $name threads $threads"; fails=1; fi
    done
}

tab=(-t t.tbl)
sav=(--real-savings -y)
compare it1-count -l 2-16 -n 255 "$real/real-1M.txt"
compare it1-savings -l 2-16 -n 255 "${sav[@]}" "$real/real-1M.txt"
compare it1-tsv -l 1-4 -n 100 --format tsv "$real/real-1M.txt"
compare it1-json -l 3 -n 50 --format json -o r.txt "$real/real-1M.txt"
compare it1-filters -l 2-6 -n 400 --ignore-space --ignore-return --ignore-tab -x exclude.tbl "${tab[@]}" \
    -r '&H80-&HFF' "$real/real-1M.txt"
compare it1-comments -l 1-6 -n 300 -c custom --begin '$' --end '|' -i -o r.txt "$real/real-1M.txt"
compare it128-cpp -l 2-8 -n 300 -c cpp "${tab[@]}" -r '&H100-&H1FF' "$real/real-128K.txt"
compare it-two-files -l 3,5,9 -n 500 "${sav[@]}" "${tab[@]}" -r '&H80-&HFF,&H8000-&H80FF' "$real/real-128K.txt" \
    "$real/real-256K.txt"
compare ja-count -l 2-8 -n 1000 "$real/real-ja-256K.txt"
compare ja-savings -l 2-8 -n 1000 "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' -o r.txt "$real/real-ja-256K.txt"
compare ru-savings -l 2-8 -n 1000 "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' -x exclude.tbl "$real/real-ru-256K.txt"
compare ru-count-table -l 1-4 -n 500 "${tab[@]}" -r '&H80-&HFF' "$real/real-ru-256K.txt"
compare bad-lengths -l 0-3 "$real/real-128K.txt"
compare missing-file -l 2 "$out/no-such-file.txt"
compare long-length -l 201 -n 5 -y "$real/real-128K.txt"
# The game's characters: UTF-8, and game tables made for the corpora by make_game_table.py.
utf=(--encoding utf-8)
python3 "$root/bench/make_game_table.py" --lang ja --table ja.tbl "$real/real-ja-1M.txt" >/dev/null 2>&1
python3 "$root/bench/make_game_table.py" --lang ru --table ru.tbl "$real/real-ru-1M.txt" >/dev/null 2>&1
compare ja-utf8-count -l 1-6 -n 500 "${utf[@]}" "$real/real-ja-256K.txt"
compare ru-utf8-savings -l 2-8 -n 1000 "${utf[@]}" "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' --dictionary-bytes 3000 \
    "$real/real-ru-256K.txt"
compare it-utf8-json -l 2-5 -n 200 "${utf[@]}" --format json -x exclude.tbl "$real/real-256K.txt"
compare ja-game-count -l 2-8 -n 300 "${utf[@]}" --game-table ja.tbl "${tab[@]}" -r '&H8000-&H83FF' --format tsv \
    "$real/real-ja-256K.txt"
compare ja-game-savings -l 2-8 -n 1000 "${utf[@]}" --game-table ja.tbl "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' \
    -o r.txt "$real/real-ja-256K.txt"
compare ru-game-savings -l 1-6 -n 800 "${utf[@]}" --game-table ru.tbl "${sav[@]}" "${tab[@]}" -r '&H80-&HBF,&H8000-&H80FF' \
    -c custom --begin '<' --end '>' "$real/real-ru-256K.txt"
if ((!quick)); then
    compare it4-savings-table -l 2-8 -n 1023 "${sav[@]}" "${tab[@]}" -r '&H8000-&HFFFF' "$real/real-4M.txt"
    compare it4-table -l 2-8 -n 300 "${tab[@]}" -r '&H80-&HFF' --ignore-space "$real/real-4M.txt"
    compare it16-savings -l 2-8 -n 1023 "${sav[@]}" "${tab[@]}" -r '&H8000-&HFFFF' "$real/real-16M.txt"
    compare ja1-savings -l 2-8 -n 1000 "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' "$real/real-ja-1M.txt"
    compare ru1-count -l 2-16 -n 1000 "${tab[@]}" -r '&H8000-&H83FF' "$real/real-ru-1M.txt"
    compare ja1-game-savings -l 2-8 -n 1000 "${utf[@]}" --game-table ja.tbl "${sav[@]}" "${tab[@]}" -r '&H8000-&H83FF' \
        --dictionary-bytes 4000 "$real/real-ja-1M.txt"
    compare ru1-utf8-count -l 2-8 -n 300 "${utf[@]}" "$real/real-ru-1M.txt"
    compare it16-utf8-count -l 2-8 -n 300 "${utf[@]}" "$real/real-16M.txt"
fi
exit $fails
