#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root,
# or with sudo available). Installs only what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3 python3-pefile
    clang libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-i686-dev mingw-w64-x86-64-dev
    wine wine64 xvfb xauth x11-utils imagemagick fonts-ipafont-gothic locales
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine picks the Japanese string table under a Japanese locale, which Linux must have.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    as_root sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen
fi

# The program that ships is 32-bit. Wine runs it with its 32-bit half
# (wine32:i386) beside wine64 in the same 64-bit prefix, provided the kernel
# runs 32-bit programs at all: a three-instruction static i386 program tells.
kernel_runs_i386() {
    local dir rc=0
    dir=$(mktemp -d)
    cat >"$dir/exit42.s" <<'EOF'
.globl _start
_start:
    movl $1, %eax    # exit
    movl $42, %ebx   # with 42
    int $0x80
EOF
    if as --32 -o "$dir/exit42.o" "$dir/exit42.s" && ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o"; then
        "$dir/exit42" 2>/dev/null || rc=$?
    fi
    rm -rf "$dir"
    [ "$rc" -eq 42 ]
}

if ! kernel_runs_i386; then
    echo "setup: this machine's kernel does not run 32-bit programs, so Wine cannot run the shipped" \
         "32-bit UPDATE.EXE: the end-to-end tests and the demo run the 64-bit build (build/win64) in its place"
elif ! installed wine32:i386; then
    echo "setup: installing wine32:i386, Wine's 32-bit half, to run the shipped 32-bit UPDATE.EXE"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    if ! { as_root apt-get update -q &&
           as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends wine32:i386; }; then
        echo "setup: could not install wine32:i386: the end-to-end tests and the demo run the 64-bit build" \
             "(build/win64) in place of the shipped 32-bit UPDATE.EXE"
    fi
fi
echo "setup: ready"
