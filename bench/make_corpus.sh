#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the real-text corpora: the Italian translations shipped in a fixed list of Debian packages, one
# message a line with CR LF line ends, cut or repeated to the benchmark sizes. With --lang ja or ru, the
# Japanese or Russian translations of the Wesnoth campaigns instead: UTF-8 with multi-byte characters,
# cut only at line ends. The result is cached under DATA_DIR/real/ and made again only when the package
# list or this script changes. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/make_corpus.sh [--data-dir DIR] [--lang it|ja|ru] [--force]
  --data-dir DIR  the corpora go to DIR/real/ (default build/bench-data)
  --lang LANG     it (default): real-SIZE.txt from Italian translations; ja or ru: real-LANG-SIZE.txt
                  from the Japanese or Russian translations of the Wesnoth campaigns (UTF-8 corpora)
  --force         download and build again even when the cached corpora are current
Needs apt-get with Debian's package lists (apt-get update), dpkg-deb, msgunfmt and msgconv (gettext),
perl and sha256sum. Exit status 0 when the corpora are ready, 1 when they could not be made.
EOF
}

# The order belongs to the corpus: the game dialogue of the Wesnoth campaigns comes first, so that the
# small prefixes are game text; program messages follow. Packages without Italian messages are left out.
packages=(
    wesnoth-1.16-httt wesnoth-1.16-tsg wesnoth-1.16-nr wesnoth-1.16-did wesnoth-1.16-dm wesnoth-1.16-low
    wesnoth-1.16-sof wesnoth-1.16-sotbe wesnoth-1.16-l wesnoth-1.16-ei wesnoth-1.16-dw freeciv-data
    coreutils tar bash gettext binutils-common util-linux-locales e2fsprogs-l10n libc-l10n findutils grep
    sed diffutils wget apt dpkg aptitude-common debconf-i18n gnupg-l10n iso-codes libglib2.0-data
    libgtk-3-common gnucash-common vlc-l10n gimp-data evolution-common gramps inkscape libreoffice-l10n-it
)
sizes=(128K 256K 1M 4M 16M)
# The UTF-8 corpora: game dialogue only, the campaigns in the order above.
utf8_packages=(
    wesnoth-1.16-httt wesnoth-1.16-tsg wesnoth-1.16-nr wesnoth-1.16-did wesnoth-1.16-dm wesnoth-1.16-low
    wesnoth-1.16-sof wesnoth-1.16-sotbe wesnoth-1.16-l wesnoth-1.16-ei wesnoth-1.16-dw
)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data_dir="$root/build/bench-data"
force=0
lang=it
while (($#)); do
    case "$1" in
    --data-dir) data_dir=$2; shift ;;
    --lang) lang=$2; shift ;;
    --force) force=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done

say() { printf '%s\n' "$*" >&2; }
die() { say "make_corpus.sh: $*"; exit 1; }

case $lang in
it) prefix=real; language=Italian ;;
ja) prefix=real-ja; language=Japanese; packages=("${utf8_packages[@]}") ;;
ru) prefix=real-ru; language=Russian; packages=("${utf8_packages[@]}") ;;
*) usage >&2; exit 2 ;;
esac

# A PO file (UTF-8) on standard input; each translation (every msgstr, plural forms included, but not the
# header entry) goes out as lines ending in CR LF. Line breaks inside a message become CR LF too, and those
# at its start and end are dropped, so a message is never an empty line. Escapes are undone, so the bytes
# are the translation's own.
# shellcheck disable=SC2016 # Perl code: its $ signs are Perl's
po_filter='
use strict;
use warnings;
binmode STDIN;
binmode STDOUT;
my %escape = (n => "\n", t => "\t", r => "\r", a => "\a", b => "\b", f => "\f", v => "\x0b");
my ($state, $msgid, $context, @texts) = ("", "", undef);
sub Unquote {
    my $s = shift;
    $s =~ s/\\(?:([0-7]{1,3})|x([0-9a-fA-F]{1,2})|(.))/
        defined $1 ? chr(oct $1) : defined $2 ? chr(hex $2) : (exists $escape{$3} ? $escape{$3} : $3)/ge;
    return $s;
}
sub Flush {
    if (!($msgid eq "" && !defined $context)) {
        for my $text (@texts) {
            $text =~ s/\r\n?/\n/g;
            $text =~ s/^\n+//;
            $text =~ s/\n+$//;
            next if $text eq "";
            $text =~ s/\n/\r\n/g;
            print "$text\r\n";
        }
    }
    ($msgid, $context, @texts) = ("", undef);
}
while (my $line = <STDIN>) {
    chomp $line;
    if ($line =~ /^msgctxt "(.*)"$/) { Flush(); $context = Unquote($1); $state = "c"; }
    elsif ($line =~ /^msgid "(.*)"$/) { Flush() if $state eq "s"; $msgid = Unquote($1); $state = "i"; }
    elsif ($line =~ /^msgid_plural "/) { $state = "p"; }
    elsif ($line =~ /^msgstr(?:\[\d+\])? "(.*)"$/) { push @texts, Unquote($1); $state = "s"; }
    elsif ($line =~ /^"(.*)"$/) {
        if ($state eq "s") { $texts[-1] .= Unquote($1); }
        elsif ($state eq "i") { $msgid .= Unquote($1); }
    }
}
Flush();
'

out_dir="$data_dir/real"
# The Italian corpora keep the names (and the cache key) they had before the other languages came.
suffix=${prefix#real}
manifest="$out_dir/manifest$suffix.txt"
sums="SHA256SUMS$suffix"
# The cache key: the package list, the sizes, the filter and the version of the assembly below (raise it
# when the way the corpora are put together changes).
assembly=1
recipe=$(printf '%s\n' "${packages[@]}" "${sizes[@]}" "$po_filter" "$assembly")
if [[ $lang != it ]]; then recipe+=$'\n'"utf8 $lang"; fi
recipe_sha=$(printf '%s' "$recipe" | sha256sum | cut -d' ' -f1)

corpus_ready() {
    [[ -f $manifest ]] && grep -qx "recipe: $recipe_sha" "$manifest" || return 1
    local size
    for size in "${sizes[@]}"; do
        [[ -f $out_dir/$prefix-$size.txt ]] || return 1
    done
    (cd "$out_dir" && sha256sum --quiet -c "$sums" >/dev/null 2>&1)
}

if ((!force)) && corpus_ready; then
    say "Real-text corpora in $out_dir are current:"
    cat "$out_dir/$sums" >&2
    exit 0
fi

for tool in apt-get dpkg-deb msgunfmt msgconv perl sha256sum; do
    command -v "$tool" >/dev/null || die "'$tool' is missing (msgunfmt and msgconv come with Debian's gettext package)"
done

mkdir -p "$out_dir"
work=$(mktemp -d "$out_dir/work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- Download ---------------------------------------------------------------------------------------------
say "Downloading ${#packages[@]} Debian packages into $work"
apt_options=()
# As root, apt hands the download to the user _apt, which cannot write into this folder.
if ((EUID == 0)); then apt_options+=(-o APT::Sandbox::User=root); fi
if ! (cd "$work" && apt-get "${apt_options[@]}" -q download "${packages[@]}") >"$work/apt.log" 2>&1; then
    tail -n 5 "$work/apt.log" >&2
    die "apt-get download failed: no network, or Debian's package lists are missing or old ('apt-get update'). The real-text corpora cannot be made."
fi

# --- Extract ----------------------------------------------------------------------------------------------

all="$work/all.txt"
: >"$all"
package_lines=()
for package in "${packages[@]}"; do
    debs=("$work/${package}"_*.deb)
    [[ -f ${debs[0]} ]] || die "apt-get did not deliver $package"
    deb=${debs[0]}
    version=$(dpkg-deb -f "$deb" Version)
    tree="$work/tree"
    rm -rf "$tree"
    dpkg-deb -x "$deb" "$tree"
    mapfile -t catalogs < <(find "$tree" -type f -path "*/$lang/LC_MESSAGES/*.mo" | LC_ALL=C sort)
    ((${#catalogs[@]})) || die "$package $version holds no $language message catalog ($lang/LC_MESSAGES/*.mo)"
    before=$(stat -c %s "$all")
    for catalog in "${catalogs[@]}"; do
        # msgunfmt warns about escapes such as \a that some translations hold; only its status counts.
        msgunfmt "$catalog" 2>>"$work/gettext.log" | msgconv -t UTF-8 2>>"$work/gettext.log" |
            perl -e "$po_filter" >>"$all" ||
            { tail -n 5 "$work/gettext.log" >&2; die "could not convert ${catalog#"$tree"/} of $package"; }
    done
    added=$(($(stat -c %s "$all") - before))
    package_lines+=("$(printf '%-22s %-26s %3d catalogs %9d bytes' "$package" "$version" "${#catalogs[@]}" "$added")")
    rm -rf "$tree" "$deb"
done

# --- The corpora ------------------------------------------------------------------------------------------
bytes_of() { # 256K -> 262144
    local n=${1%[KM]}
    case $1 in
    *K) echo $((n * 1024)) ;;
    *M) echo $((n * 1024 * 1024)) ;;
    *) echo "$1" ;;
    esac
}
total=$(stat -c %s "$all")
((total > 0)) || die "the packages gave no $language text"
size_lines=()
for size in "${sizes[@]}"; do
    want=$(bytes_of "$size")
    file="$out_dir/$prefix-$size.txt"
    # A size beyond the real text repeats it from the start (cut wherever the size falls).
    copies=$(((want + total - 1) / total))
    {
        for ((i = 1; i < copies; i++)); do cat "$all"; done
        head -c $((want - (copies - 1) * total)) "$all"
    } >"$file.tmp"
    if [[ $lang != it ]]; then
        # A cut inside a character would make the corpus invalid UTF-8: cut after the last whole line.
        perl -0777 -i -pe 's/[^\n]*\z//' "$file.tmp"
    fi
    mv "$file.tmp" "$file"
    if ((copies > 1)); then
        size_lines+=("$prefix-$size.txt: the real text $(awk -v w="$want" -v t="$total" 'BEGIN { printf "%.2f", w / t }') times over")
    else
        size_lines+=("$prefix-$size.txt: the first $(stat -c %s "$file") bytes of the real text")
    fi
done

(cd "$out_dir" && sha256sum "$prefix"-[0-9]*.txt >"$sums")
{
    echo "$language translations from Debian packages, one message a line, CR LF line ends, UTF-8."
    echo "Made $(date -u '+%Y-%m-%d %H:%M UTC') by bench/make_corpus.sh."
    echo "recipe: $recipe_sha"
    echo "distinct text: $total bytes"
    echo
    printf '%s\n' "${package_lines[@]}"
    echo
    printf '%s\n' "${size_lines[@]}"
    echo
    cat "$out_dir/$sums"
} >"$manifest"
say "Real-text corpora written to $out_dir ($total bytes of distinct text):"
cat "$out_dir/$sums" >&2
