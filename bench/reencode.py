#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""An inserter written apart from Kestrin, to check the sizes that kestrin-cli --real-savings reports.

usage: reencode.py [--encoding latin1|utf-8] [--game-table GAME.tbl] [--table OUT.tbl] [--report REPORT]
                   [--split-check] [-v] FILE...

Encodes the scripts FILE... through the union table, the game table first and then the HEX=text lines of
OUT.tbl (the first line of a text wins), by longest match over the text, as an inserter does, and prints
one line of key=value pairs:

  N        the scripts' size through the game table alone (without one: UTF-8 or Latin-1 bytes)
  M        the size by longest match through the union table
  K        the best parse: the fewest bytes any split of the text into union-table texts allows
  T        the game bytes of the entries of OUT.tbl (what they cost in the game's dictionary)
  entries  the entry lines of OUT.tbl that were used
  split    entries that split a character: through a game table, a text that is not a run of whole codes
           of it (by longest match, without an end code); in UTF-8, a text that is not valid UTF-8; in
           Latin-1 only with --split-check, which counts the entries that are not valid UTF-8 (the bytes of
           a UTF-8 script cut inside a character)
  badhex   result lines of REPORT whose hex is not the game bytes of their string (with --report)

Each character costs its game code's bytes (through a game table), its UTF-8 bytes (utf-8) or one byte
(latin1); an entry costs its code's bytes (8000= is 2). A line end (CR LF, a lone CR or a lone LF) is
never part of a match, and no match crosses from one file into the next. Without a game table each CR and
each LF is one byte. Through a game table a line end costs the bytes of the table's newline code (the first
"*HEX", "*HEX=text" or "HEX=\\n" line), nothing when only line ends stand between it and an end code
before it, and nothing at all when the table names no newline code. Without a game table an entry of a
single character is never used (the character itself comes first). Table files: lines end at CR LF, CR or
LF; an entry line begins with a hex digit (in the game table "/" marks an end code, and "*HEX=text" is an
entry too) and holds an "="; its text is everything after the first "=". Exit status 1 when a script holds
text the game table does not map.
"""
import argparse
import re
import sys

TERMINAL = ""  # the trie key under which a node keeps the cost of the text that ends there


def table_lines(path, encoding):
    """(code hex, text, is end code) of every entry line of a Thingy file, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    for line in re.split(rb"\r\n|\r|\n", data):
        end = line.startswith(b"/")
        body = line[1:] if end or line.startswith(b"*") else line
        if not body[:1] or body[:1].lower() not in b"0123456789abcdef" or b"=" not in body:
            continue
        code, text = body.split(b"=", 1)
        yield code.decode("latin-1").strip(), text.decode(encoding, "surrogateescape"), end


def newline_bytes(path):
    """The bytes of the game table's newline code: of its first "*HEX" or "HEX=\\n" line; None without one."""
    with open(path, "rb") as f:
        data = f.read()
    for line in re.split(rb"\r\n|\r|\n", data):
        r = re.fullmatch(rb"\*((?:[0-9A-Fa-f]{2}){1,4})(=.*)?|((?:[0-9A-Fa-f]{2}){1,4})=\\n", line, re.S)
        if r:
            return len(r.group(1) or r.group(3)) // 2
    return None


def add(trie, text, cost):
    """Adds text to the trie unless it is there already: the first one wins."""
    node = trie
    for ch in text:
        node = node.setdefault(ch, {})
    if TERMINAL in node:
        return False
    node[TERMINAL] = cost
    return True


def matches(trie, s, i, end):
    """(end position, cost) of every trie text that matches s at i, shortest first."""
    node = trie
    k = i
    while k < end:
        node = node.get(s[k])
        if node is None:
            return
        k += 1
        cost = node.get(TERMINAL)
        if cost is not None:
            yield k, cost


class Encoder:
    def __init__(self, encoding, game_trie):
        self.encoding = encoding
        self.game = game_trie  # None: each character stands for itself

    def char_cost(self, ch):
        return len(ch.encode("utf-8", "surrogateescape")) if self.encoding == "utf-8" else 1

    def options(self, trie, s, i, end):
        found = list(matches(trie, s, i, end))
        if self.game is None and not any(k == i + 1 for k, _ in found):
            found.insert(0, (i + 1, self.char_cost(s[i])))
        return found

    def longest(self, trie, s, i, end):
        """Longest-match pieces of s[i:end]: a list of (start, end, cost); raises KeyError at unmapped text."""
        taken = []
        while i < end:
            found = self.options(trie, s, i, end)
            if not found:
                raise KeyError(i)
            k, cost = found[-1]
            taken.append((i, k, cost))
            i = k
        return taken

    def best(self, trie, s, i, end):
        inf = float("inf")
        best = [inf] * (end - i + 1)
        best[0] = 0
        for p in range(i, end):
            if best[p - i] == inf:
                continue
            for k, cost in self.options(trie, s, p, end):
                if best[p - i] + cost < best[k - i]:
                    best[k - i] = best[p - i] + cost
        if best[-1] == inf:
            raise KeyError(i)
        return best[-1]


def pieces(s):
    """The stretches of s between line ends, and the number of CR and LF characters."""
    return [m.span() for m in re.finditer(r"[^\r\n]+", s)], sum(ch in "\r\n" for ch in s)


def line_end_bytes(s, spans, last_taken, newline):
    """What the line ends of s take through a game table: each one (CR LF, CR or LF) the newline code's
    bytes, but none when the text before it, past any line ends, ends with an end code (last_taken[i]
    tells whether spans[i] does), and none without a newline code."""
    if newline is None:
        return 0
    total, after_end, at = 0, False, 0
    ends = dict(zip((a for a, _ in spans), (b for _, b in spans)))
    follows = dict(zip((a for a, _ in spans), last_taken))
    while at < len(s):
        if at in ends:
            after_end = follows[at]
            at = ends[at]
            continue
        total += 0 if after_end else newline
        at += 2 if s.startswith("\r\n", at) else 1
    return total


def where(s, pos):
    line = s.count("\n", 0, pos) + 1
    return line, pos - (s.rfind("\n", 0, pos) + 1) + 1


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--encoding", choices=("latin1", "utf-8"), default="latin1")
    ap.add_argument("--game-table")
    ap.add_argument("--table")
    ap.add_argument("--report")
    ap.add_argument("--split-check", action="store_true")
    ap.add_argument("-v", "--verbose", action="store_true")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    codec = "utf-8" if args.encoding == "utf-8" or args.game_table else "latin-1"

    game, union, ends, codes, newline = None, {}, [], {}, None
    if args.game_table:
        newline = newline_bytes(args.game_table)
        game = {}
        for code, text, end in table_lines(args.game_table, codec):
            if text and add(game, text, len(code) // 2):
                add(union, text, len(code) // 2)
                codes[text] = code.upper()
                if end:
                    ends.append(text)
    enc = Encoder(args.encoding, game)

    def game_bytes(text):
        """The game's bytes of text as hex, or None when it is not a run of whole characters."""
        if "\r" in text or "\n" in text:
            return None
        if game is None:
            try:
                raw = text.encode(codec)
            except UnicodeEncodeError:
                return None
            return raw.hex().upper()
        try:
            taken = enc.longest(game, text, 0, len(text))
        except KeyError:
            return None
        if any(text[a:b] in ends for a, b, _ in taken):
            return None
        return "".join(codes[text[a:b]] for a, b, _ in taken)

    entries = split = table_bytes = 0
    for code, text, _ in (table_lines(args.table, codec) if args.table else []):
        hexes = game_bytes(text)
        bad = hexes is None or (args.encoding == "latin1" and args.split_check and not valid_utf8(text))
        if bad:
            split += 1
            if args.verbose:
                print("splits a character: %s=%s" % (code, text.encode(codec, "surrogateescape").hex().upper()))
        if not text or "\r" in text or "\n" in text or len(text) == 1 and game is None:
            continue
        if add(union, text, (len(code) + 1) // 2):
            entries += 1
            table_bytes += len(hexes) // 2 if hexes else 0

    n = m = k = 0
    for path in args.files:
        with open(path, "rb") as f:
            raw = f.read()
        try:
            s = raw.decode(codec)
        except UnicodeDecodeError as e:
            sys.exit("%s: not valid UTF-8 at byte %d" % (path, e.start))
        spans, line_ends = pieces(s)
        last_taken = []
        for a, b in spans:
            try:
                taken = enc.longest(game, s, a, b) if game else enc.longest({}, s, a, b)
                n += sum(c for _, _, c in taken)
                last_taken.append(s[taken[-1][0]:taken[-1][1]] in ends)
            except KeyError as e:
                pos = e.args[0]
                line, column = where(s, pos)
                print("%s: line %d, column %d: no game code for %r" % (path, line, column, s[pos:pos + 8]))
                sys.exit(1)
            m += sum(c for _, _, c in enc.longest(union, s, a, b))
            k += enc.best(union, s, a, b)
        if game is not None:
            line_ends = line_end_bytes(s, spans, last_taken, newline)
        n += line_ends
        m += line_ends
        k += line_ends

    badhex = 0
    if args.report:
        with open(args.report, "rb") as f:
            for line in re.split(rb"\r\n", f.read()):
                r = re.match(rb"\d+: total space = .*?; string = (.*); hex = ([0-9A-F]*); len = (\d+)$", line, re.S)
                if r and game_bytes(r.group(1).decode(codec, "surrogateescape")) != r.group(2).decode():
                    badhex += 1
                    if args.verbose:
                        print("hex is not the string's game bytes: %s" % line.decode(codec, "replace"))
    print("N=%d M=%d K=%d T=%d entries=%d split=%d badhex=%d" % (n, m, k, table_bytes, entries, split, badhex))


def valid_utf8(text):
    try:
        text.encode("latin-1").decode("utf-8")
        return True
    except (UnicodeDecodeError, UnicodeEncodeError):
        return False


if __name__ == "__main__":
    main()
