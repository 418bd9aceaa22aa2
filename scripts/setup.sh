#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root,
# or with sudo available). Installs only what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ git python3 python3-pefile osslsigncode openssl
    clang libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-i686-dev mingw-w64-x86-64-dev
    wine wine64 xvfb xauth x11-utils imagemagick fonts-ipafont-gothic fonts-wine locales
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
# (wine32:i386) beside wine64 in the same 64-bit prefix. Where the kernel runs
# 32-bit programs, they run natively; where it refuses them, a user-mode
# emulator registered for i386 programs runs them (and Wine's 32-bit half,
# whose package scripts run i386 programs too, is installed only after it).
# UPDATER_I386=emulated takes the emulated way on any machine, so that both
# ways can be tried on either kind; UPDATER_I386=native never emulates.
i386_mode=${UPDATER_I386:-auto}
case "$i386_mode" in auto|native|emulated) ;; *)
    echo "setup: UPDATER_I386 must be auto, native or emulated, not '$i386_mode'" >&2; exit 2 ;;
esac

binfmt=/proc/sys/fs/binfmt_misc
emulator_entry=$binfmt/updater-i386
emulator_dir=/usr/local/lib/updater-i386
emulator=$emulator_dir/qemu-i386
# Debian 12's own emulator (7.2) spins about a minute in every Wine process's
# address-space reservation; the one from bookworm-backports (10.0) does not.
emulator_suite=bookworm-backports
emulator_package=qemu-user

set_emulation() {  # 1 or 0: whether our registered emulator takes i386 programs
    if [ -e "$emulator_entry" ]; then echo "$1" | as_root tee "$emulator_entry" >/dev/null; fi
}

# A three-instruction static i386 program tells whether 32-bit programs run.
runs_i386() {
    local dir rc=0
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/exit42.s"
    if as --32 -o "$dir/exit42.o" "$dir/exit42.s" && ld -m elf_i386 -o "$dir/exit42" "$dir/exit42.o"; then
        "$dir/exit42" 2>/dev/null || rc=$?
    fi
    rm -rf "$dir"
    [ "$rc" -eq 42 ]
}

# The emulator alone, unpacked from the backports suite's package: that suite
# is never added to the machine's sources.
install_emulator() {
    [ -x "$emulator" ] && return 0
    echo "setup: fetching qemu-i386 from Debian's $emulator_suite ($emulator_package)"
    local dir mirror
    dir=$(mktemp -d)
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
    # The machine's own Debian mirror, as its sources name it.
    mirror=$(grep -hoE '(deb|URIs:) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list \
                 /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
             grep -oE 'https?://[^ ]+' | head -n 1 || true)
    echo "deb ${mirror:-http://deb.debian.org/debian} $emulator_suite main" >"$dir/sources.list"
    local apt=(apt-get -q -o "Dir::Etc::SourceList=$dir/sources.list" -o Dir::Etc::SourceParts=-
               -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -o APT::Sandbox::User=root)
    local ok=no
    if "${apt[@]}" update >/dev/null && (cd "$dir" && "${apt[@]}" download "$emulator_package" >/dev/null) &&
       dpkg-deb -x "$dir/${emulator_package}"_*.deb "$dir/unpacked" &&
       "$dir/unpacked/usr/bin/qemu-i386" --version >/dev/null; then
        as_root mkdir -p "$emulator_dir" && as_root install -m 755 "$dir/unpacked/usr/bin/qemu-i386" "$emulator" &&
            ok=yes
    fi
    rm -rf "$dir"
    [ "$ok" = yes ] || echo "setup: could not fetch $emulator_package from $emulator_suite"
    [ "$ok" = yes ]
}

# Registered in binfmt_misc for i386 ELF executables, static or not, with the
# emulator opened at registration (F), so that every 32-bit process, those
# that Wine starts included, runs under it.
register_emulator() {
    [ -e "$binfmt/register" ] || as_root mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    if [ -e "$emulator_entry" ] && ! grep -qx "interpreter $emulator" "$emulator_entry"; then
        echo -1 | as_root tee "$emulator_entry" >/dev/null
    fi
    if [ ! -e "$emulator_entry" ]; then
        printf '%s' ':updater-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':F' |
            as_root tee "$binfmt/register" >/dev/null || return 1
    fi
    set_emulation 1
}

set_emulation 0  # the kernel answers for itself first
if runs_i386; then
    i386_way=native
    [ "$i386_mode" = emulated ] && i386_way=emulated
else
    i386_way=none
    [ "$i386_mode" = native ] || i386_way=emulated
fi
if [ "$i386_way" = emulated ]; then
    if install_emulator && register_emulator && runs_i386; then
        echo "setup: 32-bit programs run under user-mode emulation: $("$emulator" --version | head -n 1)"
    else
        set_emulation 0
        i386_way=none
        runs_i386 && i386_way=native
        echo "setup: WARNING: no user-mode emulator for 32-bit programs could be set up"
    fi
fi

if [ "$i386_way" = none ]; then
    echo "setup: WARNING: 32-bit programs cannot run here, so Wine cannot run the shipped 32-bit UPDATE.EXE:" \
         "the end-to-end tests and the demo run the 64-bit build (build/win64) in its place"
elif ! installed wine32:i386; then
    echo "setup: installing wine32:i386, Wine's 32-bit half, to run the shipped 32-bit UPDATE.EXE"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    if ! { as_root apt-get update -q &&
           as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends wine32:i386; }; then
        echo "setup: WARNING: could not install wine32:i386: the end-to-end tests and the demo run the 64-bit" \
             "build (build/win64) in place of the shipped 32-bit UPDATE.EXE"
    fi
fi
echo "setup: ready"
