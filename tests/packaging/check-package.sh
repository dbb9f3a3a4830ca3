#!/usr/bin/env bash
# Builds the Debian package of a build tree into a temporary folder, then checks its files, its
# control fields, that its files agree with each other, that the desktop entry and the
# AppStream metainfo pass their validators, and that lintian finds no error or warning.
# Usage: check-package.sh <cpack> <build folder> <project version>
set -euo pipefail

cpack=$1
build=$2
version=$3
app_id=org.quarb.FileSplitter

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The package ------------------------------------------------------------------------------------
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
shopt -s nullglob
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    echo "FAIL: expected one .deb, found ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}
echo "Built $(basename "$deb")"

# Its files: exactly these, with these modes ------------------------------------------------------
expected="-rwxr-xr-x ./usr/bin/quarb
-rwxr-xr-x ./usr/bin/quarb-splitter
-rw-r--r-- ./usr/share/applications/$app_id.desktop
-rw-r--r-- ./usr/share/bash-completion/completions/quarb
-rw-r--r-- ./usr/share/doc/quarb-file-splitter/changelog.Debian.gz
-rw-r--r-- ./usr/share/doc/quarb-file-splitter/copyright
-rw-r--r-- ./usr/share/icons/hicolor/16x16/apps/$app_id.png
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/$app_id.svg
-rw-r--r-- ./usr/share/lintian/overrides/quarb-file-splitter
-rw-r--r-- ./usr/share/man/man1/quarb-splitter.1.gz
-rw-r--r-- ./usr/share/man/man1/quarb.1.gz
-rw-r--r-- ./usr/share/metainfo/$app_id.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $6 }' | sort)
if [ "$actual" != "$(sort <<< "$expected")" ]; then
    fail "package files differ from the expected list"
    diff <(sort <<< "$expected") <(echo "$actual") | sed 's/^/    /' || true
fi

# Its control fields ------------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quarb-file-splitter ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)', not utils"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "Architecture is '$(field Architecture)'"
[[ "$(field Version)" == "$version"-* ]] || fail "Version '$(field Version)' is not $version-<release>"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
    fail "Maintainer '$(field Maintainer)' is not 'Name <email>'"
# dpkg-shlibdeps writes versioned library packages; every program needs the C library.
[[ "$(field Depends)" =~ (^|,\ )libc6\ \(\>=\ [0-9.]+\) ]] ||
    fail "Depends '$(field Depends)' was not worked out from the binary (no versioned libc6)"
# The window tells the desktop through Qt D-Bus.
[[ "$(field Depends)" =~ (^|,\ )libqt6dbus6\  ]] || fail "Depends '$(field Depends)' lacks libqt6dbus6"

# Its files agree with each other -----------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
png=$root/usr/share/icons/hicolor/16x16/apps/$app_id.png
svg=$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = "Quarb's File Splitter" ] || fail "desktop Name is '$(entry Name)'"
# The file manager hands over the one file opened with the program.
[ "$(entry Exec)" = "quarb-splitter %f" ] || fail "desktop Exec is '$(entry Exec)', not 'quarb-splitter %f'"
[ -x "$root/usr/bin/$(entry Exec | cut -d' ' -f1)" ] || fail "desktop Exec '$(entry Exec)' is not in usr/bin"
[ "$(entry Icon)" = "$app_id" ] || fail "desktop Icon is '$(entry Icon)', not $app_id"
[[ ";$(entry Categories)" == *";Utility;"* ]] || fail "desktop Categories lack Utility"
file -b "$png" | grep -q '^PNG image data, 16 x 16,' || fail "16x16 icon is $(file -b "$png")"
file -b "$svg" | grep -q '^SVG' || fail "scalable icon is $(file -b "$svg")"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $app_id.desktop"
grep -Eq '<image( [^>]*)?>https?://[^<]+</image>' "$metainfo" || fail "metainfo has no screenshot"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    fail "metainfo does not give the project's license"
newest=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n 1 | sed 's/.*version="//; s/"$//')
[ "$newest" = "$version" ] || fail "newest release in metainfo is '$newest', the program is $version"

# The command line: runs without Qt, knows its version, has its manual and completion ---------------
quarb=$root/usr/bin/quarb
if objdump -p "$quarb" | grep -q 'NEEDED.*libQt'; then
    fail "quarb links Qt"
fi
[ "$("$quarb" --version)" = "quarb (Quarb's File Splitter) $version" ] ||
    fail "quarb --version says '$("$quarb" --version)'"
for page in quarb quarb-splitter; do
    # man prints the page's roff problems on standard error; -Z stops before the formatting.
    problems=$(LC_ALL=C.UTF-8 man --warnings -l -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$problems" ] || fail "man page $page.1: $problems"
done
# The completion offers the commands, and for a join only folders.
completion=$(mkdir "$work/completion" && cd "$work/completion" && mkdir folder && touch file && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    ask() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            COMPREPLY=(); _quarb quarb "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"; echo "${COMPREPLY[*]}"; }
    ask quarb sp; ask quarb split file --no; ask quarb join ""' _ "$root/usr/share/bash-completion/completions/quarb")
[ "$completion" = "split
--no-checksums --note --no-note
folder" ] || fail "bash completion offers '$completion'"
head -n 1 "$root/usr/share/doc/quarb-file-splitter/copyright" |
    grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "copyright file is not in the machine-readable format"

# The validators ----------------------------------------------------------------------------------
# desktop-file-validate exits 0 even on errors: any output is a failure.
report=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$report" ] || fail "desktop-file-validate: $report"
appstreamcli validate --no-net --strict "$metainfo" > "$work/validate.log" 2>&1 ||
    { fail "appstreamcli validate"; cat "$work/validate.log"; }
# The installed tree as a whole: the metainfo's launchable must find its desktop entry.
appstreamcli validate-tree --no-net --strict "$root" > "$work/validate-tree.log" 2>&1 ||
    { fail "appstreamcli validate-tree"; cat "$work/validate-tree.log"; }

# Lintian: no error and no warning. The package ships one override, with its reason, in
# data/debian/lintian-overrides. What is left are informational tags, kept on purpose:
# binary-has-unneeded-section (CPack strips the programs without removing the .comment
# section, which only names the compiler). Lintian refuses to run as root unless told.
if ! lintian --fail-on error,warning --allow-root "$deb" > "$work/lintian.log" 2>&1; then
    fail "lintian"
    cat "$work/lintian.log"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Package checks passed"
