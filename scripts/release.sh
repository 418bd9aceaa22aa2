#!/usr/bin/env bash
# Builds the program a user receives from the commit checked out here (in a
# fresh folder, from that commit alone) and writes dist/:
#   dist/FirmwareUpdate/       the folder as a user receives it: UPDATE.EXE, and
#                              the firmware file and link library when given
#   dist/FirmwareUpdate.zip    that folder, zipped
#   dist/SHA256SUMS            the SHA-256 of each file of the folder and of the zip
# The same commit gives the same UPDATE.EXE, byte for byte, wherever, whenever
# and by whomever it is built; the hash of the program as built is printed
# (before signing, which adds a signature to it).
#
# usage: release.sh [--firmware FILE] [--link-library DLL] [--sign CERT KEY [--timestamp URL]]
#   --firmware FILE       the one firmware file, named as the wizard expects (KM500_V300.x)
#   --link-library DLL    the plotter maker's link library; the folder holds it as ZEPLPRNP.DLL
#   --sign CERT KEY       Authenticode-sign UPDATE.EXE (SHA-256) with osslsigncode
#   --timestamp URL       have the signature time-stamped by this RFC 3161 server
#
# Everything given is checked before anything is built. A refusal is one line
# and a non-zero exit; it, and any later failure, leaves dist/ as it was.
set -euo pipefail
umask 022
root=$(cd "$(dirname "$0")/.." && pwd)
folder=FirmwareUpdate
library_name=ZEPLPRNP.DLL  # the name the wizard loads the library by
python=/usr/bin/python3    # Debian's, which has pefile

refuse() {
    echo "release: $*" >&2
    exit 1
}
usage="usage: release.sh [--firmware FILE] [--link-library DLL] [--sign CERT KEY [--timestamp URL]]"

firmware=() library="" cert="" key="" timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
        --firmware)
            [ $# -ge 2 ] || refuse "--firmware needs a file; $usage"
            firmware+=("$2")
            shift 2
            # Plain arguments after it are further files, as "--firmware *.x" gives when several match.
            while [ $# -gt 0 ] && [[ "$1" != -* ]]; do
                firmware+=("$1")
                shift
            done
            ;;
        --link-library)
            [ $# -ge 2 ] || refuse "--link-library needs a file; $usage"
            [ -z "$library" ] || refuse "more than one link library given"
            library=$2
            shift 2
            ;;
        --sign)
            [ $# -ge 3 ] || refuse "--sign needs a certificate and a key; $usage"
            cert=$2 key=$3
            shift 3
            ;;
        --timestamp)
            [ $# -ge 2 ] || refuse "--timestamp needs a server URL; $usage"
            timestamp=$2
            shift 2
            ;;
        -h | --help)
            sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
            exit 0
            ;;
        *) refuse "unknown argument \"$1\"; $usage" ;;
    esac
done

work=$(mktemp -d)
stage=""
trap 'rm -rf "$work" ${stage:+"$stage"}' EXIT

# The firmware file: exactly one, and one the wizard would take.
if [ ${#firmware[@]} -gt 1 ]; then
    refuse "more than one firmware file given (${firmware[*]}): the wizard refuses a folder with more than one"
fi
if [ ${#firmware[@]} -eq 1 ]; then
    fw=${firmware[0]}
    [ -f "$fw" ] && [ -r "$fw" ] || refuse "firmware file not found or not readable: $fw"
    [ -s "$fw" ] || refuse "the firmware file is empty: $fw"
    # The wizard's own decoding of the name, built from its sources.
    if ! g++ -std=c++17 -O1 -I"$root" -o "$work/firmware_name_check" "$root/release/firmware_name_check.cpp" \
        "$root/package/firmware_name.cpp" "$root/package/model_table.cpp" \
        "$root/platform/cstring.cpp" "$root/platform/paths.cpp" >"$work/check.log" 2>&1; then
        refuse "could not build the firmware name check: $(head -n 1 "$work/check.log")"
    fi
    why=$("$work/firmware_name_check" "$(basename -- "$fw")") ||
        refuse "the wizard would not take \"$(basename -- "$fw")\" as its firmware: $why"
fi

if [ -n "$library" ]; then
    [ -f "$library" ] && [ -r "$library" ] || refuse "link library not found or not readable: $library"
    why=$("$python" "$root/release/link_library_check.py" "$library") ||
        refuse "\"$library\" cannot be the link library: $why"
fi

if [ -n "$timestamp" ] && [ -z "$cert" ]; then
    refuse "--timestamp goes with --sign"
fi
if [ -n "$cert" ]; then
    command -v osslsigncode >/dev/null || refuse "osslsigncode is not installed (bash scripts/setup.sh installs it)"
    [ -f "$cert" ] && [ -r "$cert" ] || refuse "certificate not found or not readable: $cert"
    [ -f "$key" ] && [ -r "$key" ] || refuse "key not found or not readable: $key"
fi

# A release is a commit: the version block names it, and anyone can build it again.
commit=$(git -C "$root" rev-parse --verify -q HEAD) || refuse "not a git checkout with a commit: a release is built from one"
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
    refuse "tracked files differ from commit ${commit:0:12}: commit or stash the changes first"
epoch=$(git -C "$root" log -1 --format=%ct HEAD)

echo "release: building commit $commit"
mkdir "$work/src"
git -C "$root" archive --format=tar HEAD | tar -x -C "$work/src"
# Where a date is needed (the zip's entries; the compiler's, if asked), the commit's.
export SOURCE_DATE_EPOCH=$epoch
if ! (cd "$work/src" && cmake --preset win32 -DUPDATER_COMMIT="$commit" &&
    cmake --build --preset win32 --target UPDATE) >"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log" >&2
    refuse "the build failed (above: the end of its log)"
fi
built=$work/src/build/win32/UPDATE.EXE
echo "release: UPDATE.EXE as built: $(sha256sum "$built" | cut -d' ' -f1)"

# Staged beside dist/, so that it takes dist/'s place by renames only.
stage=$(mktemp -d "$root/.dist.XXXXXX")
chmod 0755 "$stage"
mkdir "$stage/$folder"
if [ -n "$cert" ]; then
    signing=(osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Firmware Update")
    [ -z "$timestamp" ] || signing+=(-ts "$timestamp")
    # A key with a pass phrase is asked for on the terminal.
    "${signing[@]}" -in "$built" -out "$stage/$folder/UPDATE.EXE" >"$work/sign.log" ||
        refuse "signing failed: $(tail -n 1 "$work/sign.log")"
    echo "release: UPDATE.EXE signed: $(sha256sum "$stage/$folder/UPDATE.EXE" | cut -d' ' -f1)"
else
    cp "$built" "$stage/$folder/UPDATE.EXE"
fi
[ ${#firmware[@]} -eq 0 ] || cp -- "${firmware[0]}" "$stage/$folder/$(basename -- "${firmware[0]}")"
[ -z "$library" ] || cp -- "$library" "$stage/$folder/$library_name"
chmod 0644 "$stage/$folder"/*
"$python" "$root/release/package.py" "$stage" "$folder" "$epoch"

old="$stage.old"
[ ! -e "$root/dist" ] || mv "$root/dist" "$old"
if ! mv "$stage" "$root/dist"; then
    [ ! -e "$old" ] || mv "$old" "$root/dist"
    refuse "could not put the new dist/ in place"
fi
rm -rf "$old"
echo "release: dist/ written ($folder/, $folder.zip, SHA256SUMS):"
sed 's/^/  /' "$root/dist/SHA256SUMS"
