#!/usr/bin/env bash
# The Debian package of this build and what it installs:
#   package_test.sh SOURCE_DIR BUILD_DIR PANE_PROBE VERSION
# The package builds and passes lintian (scripts/package); unpacked into a
# temporary root, zefa lists an archive and zefa-archiver starts offscreen with
# it and shows its entries; the desktop entry validates; the MIME package
# merges with freedesktop.org's and names .lzh, .bh and .arj files; both manual
# pages render without warnings and name every option --help shows; the
# bash completion completes commands, option values and archive names.
set -euo pipefail
src=$1 build=$2 probe=$3 version=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$("$src/scripts/package" "$build" | tail -1)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no library dependencies: $(dpkg-deb -f "$deb" Depends)"
root=$tmp/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
for f in usr/bin/zefa usr/bin/zefa-archiver usr/share/man/man1/zefa.1.gz usr/share/man/man1/zefa-archiver.1.gz \
         usr/share/applications/zefa-archiver.desktop usr/share/mime/packages/zefa-archiver.xml \
         usr/share/bash-completion/completions/zefa usr/share/icons/hicolor/scalable/apps/zefa-archiver.svg \
         usr/share/doc/zefa-archiver/copyright usr/share/doc/zefa-archiver/changelog.gz; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$share/icons/hicolor/${size}x${size}/apps/zefa-archiver.png" ] || fail "no ${size}x${size} icon"
done

# The programs, on an archive made by a peer.
mkdir "$tmp/work" && cd "$tmp/work"
printf 'first\n' > alpha.txt && printf 'second\n' > beta.txt
zip -q sample.zip alpha.txt beta.txt
"$root/usr/bin/zefa" l sample.zip > list.txt || fail "zefa l failed"
grep -q alpha.txt list.txt && grep -q beta.txt list.txt || fail "zefa l: $(cat list.txt)"
cd /
QT_QPA_PLATFORM=offscreen LD_PRELOAD=$probe timeout 120 "$root/usr/bin/zefa-archiver" "$tmp/work/sample.zip" \
  > "$tmp/pane.txt" || fail "zefa-archiver did not start with an archive"
printf '%s\nalpha.txt\nbeta.txt\n' "$tmp/work/sample.zip" | cmp -s - <(grep . "$tmp/pane.txt") \
  || fail "the window's pane shows: $(cat "$tmp/pane.txt")"

desktop-file-validate "$share/applications/zefa-archiver.desktop" || fail "desktop entry"

# The MIME package, merged with freedesktop.org's database as update-mime-database does on a system.
xmllint --noout "$share/mime/packages/zefa-archiver.xml"
mkdir -p "$tmp/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$share/mime/packages/zefa-archiver.xml" "$tmp/mime/packages/"
XDG_DATA_HOME=$tmp update-mime-database "$tmp/mime" 2> "$tmp/mime.err" || fail "update-mime-database: $(cat "$tmp/mime.err")"
[ ! -s "$tmp/mime.err" ] || fail "update-mime-database: $(cat "$tmp/mime.err")"
type_of() { awk -F: -v p="*.$1" '$3 == p { print $2 }' "$tmp/mime/globs2"; }
for pair in lzh:application/x-lha bh:application/x-bh arj:application/x-arj ha:application/x-ha arc:application/x-arc; do
  [ "$(type_of "${pair%%:*}")" = "${pair#*:}" ] || fail "x.${pair%%:*} is '$(type_of "${pair%%:*}")', not ${pair#*:}"
done
# Every type the desktop entry offers the window for is one the database knows.
for t in $(sed -n 's/^MimeType=//p' "$share/applications/zefa-archiver.desktop" | tr ';' ' '); do
  grep -qx "$t" "$tmp/mime/types" || fail "the desktop entry's $t is no MIME type"
done

# The manual pages render without a warning and name every command and option --help shows.
for page in zefa zefa-archiver; do
  LC_ALL=C.UTF-8 MANWIDTH=250 man --warnings -l "$share/man/man1/$page.1.gz" > "$tmp/$page.txt" 2> "$tmp/man.err"
  [ ! -s "$tmp/man.err" ] || fail "man $page: $(cat "$tmp/man.err")"
  grep -q 'EXIT STATUS' "$tmp/$page.txt" || fail "man $page has no EXIT STATUS"
done
for cmd in $("$root/usr/bin/zefa" --help | awk '/^Subcommands:/ { on = 1; next } on && !NF { exit } on { print $1 }'); do
  grep -q "zefa $cmd \[options\]" "$tmp/zefa.txt" || fail "zefa(1) lacks the command $cmd"
  for opt in $("$root/usr/bin/zefa" "$cmd" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$opt" "$tmp/zefa.txt" || fail "zefa(1) lacks $cmd $opt"
  done
done

for opt in $("$root/usr/bin/zefa-archiver" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$opt" "$tmp/zefa-archiver.txt" || fail "zefa-archiver(1) lacks $opt"
done

# The completion: commands, the values of -f, archive names by their extension.
cd "$tmp/work" && mkdir docs && touch old.LZH notes.txt
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _zefa zefa "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
           for w in "${COMPREPLY[@]}"; do echo "$w"; done | sort | tr "\n" " "' _ "$share/bash-completion/completions/zefa" "$@"
}
expect() { local want=$1; shift; local got; got=$(complete_words "$@"); [ "$got" = "$want" ] || fail "completing '$*': '$got', not '$want'"; }
expect 'l ' zefa l
expect 'bh cab jar lha tar zip ' zefa a -f ''
expect 'docs old.LZH sample.zip ' zefa x ''
expect '' zefa x sample.zip ''
expect '--skip-existing ' zefa x --sk
echo "package test passed: $deb"
