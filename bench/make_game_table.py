#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes a game's character table (Thingy format, UTF-8, CR LF) for a Japanese or Russian corpus, and
copies of corpora with the table's tags put in, so that kestrin-cli --game-table has a realistic table to
encode the scripts through. See bench/README.md ("Counting in the game's characters").

  ru: a one-byte fan font: ASCII 20-7E as themselves, А-я on C0-FF and Ё ё on A8 and B8 (as Windows-1251
      has them), every other character of the corpora on 84-BF by falling frequency, then on two-byte
      codes 10xx-1Fxx.
  ja: ASCII 20-7E on one byte; every other character of the corpora on two bytes, lead bytes 88-EF and
      trail bytes 40-7E, 80-FC (as Shift JIS has them), by falling frequency; two ligatures (ます, した)
      on two-byte codes of their own.
  both: the tags 01=<LINE>, 02=<WAIT> and the end code /00=<END>. CR and LF are not in the table.

No code begins with another whole code: the one-byte codes are never lead bytes, and 80-83 stay free for
the dictionary codes 8000-83FF that the benchmarks ask for.

usage: make_game_table.py --lang ja|ru --table OUT.tbl [--tag IN OUT]... CORPUS...
The table maps every character of each CORPUS and of each tagged copy OUT (made from IN first).
"""
import argparse
import collections
import sys

TAGS = [("01", "<LINE>"), ("02", "<WAIT>")]
END = ("00", "<END>")


def tag_text(text, lang):
    """Puts <LINE> inside every third line, <WAIT> before every seventh and <END> after every fifth."""
    lines = text.split("\r\n")
    out = []
    for i, line in enumerate(lines):
        if line and i % 3 == 0:
            # Where a line break would go in the game: after a sentence end, or at a space past column 20.
            mark = line.find("。", 0, len(line) - 1) if lang == "ja" else line.find(" ", 20)
            if mark >= 0:
                line = line[: mark + 1] + "<LINE>" + line[mark + 1 :] if lang == "ja" else (
                    line[:mark] + "<LINE>" + line[mark + 1 :])
        if line and i % 7 == 0:
            line = "<WAIT>" + line
        if line and i % 5 == 0:
            line += "<END>"
        out.append(line)
    return "\r\n".join(out)


def two_byte_codes(leads):
    for lead in leads:
        for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFD)):
            yield "%02X%02X" % (lead, trail)


def make_table(counts, lang):
    entries = [("%02X" % c, chr(c)) for c in range(0x20, 0x7F)]
    mapped = {text for _, text in entries}
    rest = [ch for ch, _ in sorted(counts.items(), key=lambda kv: (-kv[1], ord(kv[0]))) if ch not in mapped]
    rest = [ch for ch in rest if ch not in "\r\n"]
    if lang == "ru":
        cyrillic = {chr(0x410 + i): 0xC0 + i for i in range(64)}
        cyrillic.update({"Ё": 0xA8, "ё": 0xB8})
        entries += sorted((("%02X" % code, ch) for ch, code in cyrillic.items()), key=lambda e: e[0])
        rest = [ch for ch in rest if ch not in cyrillic]
        free = ["%02X" % c for c in range(0x84, 0xC0) if c not in (0xA8, 0xB8)]
        codes = iter(free + list(two_byte_codes(range(0x10, 0x20))))
    else:
        codes = two_byte_codes(range(0x88, 0xF0))
        for ligature in ("ます", "した"):
            entries.append((next(codes), ligature))
    for ch in rest:
        entries.append((next(codes), ch))
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lang", choices=("ja", "ru"), required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--tag", nargs=2, action="append", default=[], metavar=("IN", "OUT"))
    parser.add_argument("corpus", nargs="*")
    args = parser.parse_args()
    counts = collections.Counter()
    for path in args.corpus:
        with open(path, "rb") as f:
            counts.update(f.read().decode("utf-8"))
    for source, target in args.tag:
        with open(source, "rb") as f:
            tagged = tag_text(f.read().decode("utf-8"), args.lang)
        with open(target, "wb") as f:
            f.write(tagged.encode("utf-8"))
        counts.update(tagged)
    entries = make_table(counts, args.lang)
    lines = ["%s=%s" % e for e in entries + TAGS] + ["/%s=%s" % END]
    with open(args.table, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("utf-8"))
    two = sum(len(code) == 4 for code, _ in entries)
    print("%s: %d entries (%d of two bytes), %d tags, 1 end code" % (args.table, len(entries), two, len(TAGS)),
          file=sys.stderr)


if __name__ == "__main__":
    main()
