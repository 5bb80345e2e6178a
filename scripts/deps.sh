#!/usr/bin/env bash
# Installs the Debian 12 packages KIVO needs that are missing:
#   deps.sh build|test|demo|fuzz|memcheck
#   deps.sh packages NAME...    (just these, for the other scripts: cross.sh)
# Runs apt-get as root, or through sudo.
set -euo pipefail

build_pkgs=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libarchive-dev libsystemd-dev dpkg-dev)
# The tests and kivo-tour draw with fonts-dejavu-core alone (tools/tour/kivo-fonts.conf). The
# tests of the kivo program on screen need an X server, the accessibility bus and XTEST.
test_pkgs=(dbus-daemon dbus-bin fonts-dejavu-core systemd-journal-remote xvfb at-spi2-core
    libxtst-dev)
demo_pkgs=(dbus-daemon dbus-bin xvfb x11vnc xauth fonts-dejavu-core)
fuzz_pkgs=(clang-14 libclang-rt-14-dev)
memcheck_pkgs=(valgrind dbus-daemon dbus-bin fonts-dejavu-core)

wanted=("${build_pkgs[@]}")
case "${1:-build}" in
    build) ;;
    packages) shift; wanted=("$@") ;;
    test) wanted+=("${test_pkgs[@]}") ;;
    demo) wanted+=("${demo_pkgs[@]}") ;;
    fuzz) wanted+=("${fuzz_pkgs[@]}") ;;
    memcheck) wanted+=("${memcheck_pkgs[@]}") ;;
    *) echo "usage: $0 build|test|demo|fuzz|memcheck | packages NAME..." >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "Missing packages (${missing[*]}) and neither root nor sudo to install them." >&2
    exit 1
fi
# One mirror index that fails to come need not stop the install: apt then says itself what it
# cannot resolve.
"${sudo[@]}" apt-get update -qq || echo "apt-get update reported errors; trying on" >&2
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
