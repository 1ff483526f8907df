#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
# nsis builds the installer; x11vnc, novnc and websockify serve run.sh's
# screen to a browser, and chromium is the browser its test uses;
# debootstrap and qemu-system-x86 make and run the machine for the 32-bit
# tests (scripts/i686-vm.sh); clang-format checks the layout of the code
# (scripts/check-style.sh); libgcrypt (for mingw) is the authenticated
# container's crypto, and python3-cryptography and python3-argon2 run the
# tests' independent reader of it.
PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix clang-format
          binutils-mingw-w64 googletest wine wine64 xvfb x11-utils imagemagick openssl
          nsis x11vnc novnc websockify chromium debootstrap qemu-system-x86
          libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev python3-cryptography python3-argon2)
missing=()
for p in "${PACKAGES[@]}"; do
    [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
