#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, only what is missing.
# Safe to run again; needs root (or sudo) for the installs.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

log() { printf '[setup] %s\n' "$*"; }

apt_updated=0
apt_update_once() {
    if [ "$apt_updated" -eq 0 ]; then
        log "apt-get update"
        $SUDO apt-get update -q >/dev/null
        apt_updated=1
    fi
}

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
    done
}

install_packages() {
    local need
    need=$(missing_packages "$@")
    [ -z "$need" ] && return 0
    apt_update_once
    log "installing: $(echo $need)"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $need >/dev/null
}

# wine32 needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
    apt_updated=0
    apt_update_once
fi

install_packages cmake ninja-build make g++ clang googletest \
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix \
    wine wine32 wine64 openssl locales file binutils-mingw-w64-i686 binutils-mingw-w64-x86-64

# The agent's texts are GBK: run Wine with a Chinese (PRC) locale so its ANSI code page is 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    log "generating the zh_CN.UTF-8 locale"
    $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi

# Some kernels here cannot execute 32-bit ELF programs (Wine's 32-bit loader among them).
# Then the 32-bit loader runs under qemu's user-mode emulator; qemu before 8 lacks
# MAP_FIXED_NOREPLACE and makes every Wine start take about a minute, so take a newer one.
runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
if ! runs_i386; then
    qemu_ok=0
    if [ -x /usr/bin/qemu-i386 ]; then
        v=$(/usr/bin/qemu-i386 --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -1)
        [ -n "$v" ] && [ "$v" -ge 8 ] && qemu_ok=1
    fi
    if [ "$qemu_ok" -eq 0 ]; then
        if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
            log "adding Debian's bookworm-backports for a current qemu-user"
            $SUDO tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        fi
        apt_updated=0
        apt_update_once
        log "installing qemu-user from bookworm-backports"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user >/dev/null
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] || $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # Register (again) so that the fixed interpreter is the current qemu-i386.
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 | $SUDO tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
    log "running 32-bit programs through qemu-i386"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
        | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
    runs_i386 || { echo "setup: 32-bit programs still cannot run" >&2; exit 1; }
fi
log "ready"
