#!/usr/bin/env bash
# Cross-builds KIVO for a phone's ARM processor and runs the whole test suite there under
# qemu-user, then makes the Debian packages for that architecture:
#   cross.sh arm64|armhf
# Installs the Debian packages it misses (the architecture's multiarch Qt and libarchive, the
# cross compiler, qemu-user-static), registers the emulator with the kernel's binfmt_misc where
# the machine allows it, configures and builds build-ARCH/ (or $KIVO_CROSS_BUILD_DIR) with the
# toolchain file cmake/toolchain/linux-ARCH.cmake, runs ctest there and cpack -G DEB. At the end
# it checks that kivo-panic on the sample data prints the same bytes as the build machine's
# own build (build/, or $KIVO_BUILD_DIR, whose two programs it builds when missing) and as the
# other ARM build when that one is there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

arch=${1:-}
case "$arch" in
    arm64) triplet=aarch64-linux-gnu qemu_name=aarch64 ;;
    armhf) triplet=arm-linux-gnueabihf qemu_name=arm ;;
    *) echo "usage: $0 arm64|armhf" >&2; exit 2 ;;
esac
build=${KIVO_CROSS_BUILD_DIR:-$top/build-$arch}
host_build=${KIVO_BUILD_DIR:-$top/build}
jobs=${KIVO_JOBS:-$(nproc)}
started=$(date +%s)
step() { printf '\n== %s (%ds)\n' "$*" $(($(date +%s) - started)); }

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    sudo=(false)
fi

# --- Packages -----------------------------------------------------------------------------
# The architecture's Qt and libarchive come as Debian multiarch packages beside the machine's
# own. apt can refuse them: a multiarch library must have the same version on both
# architectures, and a mirror may lack the update that the machine already has. Then, or when
# KIVO_CROSS_SYSROOT names a folder, they are unpacked into that folder instead (a sysroot,
# default build-ARCH-sysroot/, made once with mmdebstrap from the release and its updates).
step "Packages for $arch"
"$top/scripts/deps.sh" test
install_missing() {
    "$top/scripts/deps.sh" packages "$@"
}
install_missing "crossbuild-essential-$arch" qemu-user-static binfmt-support
sysroot=${KIVO_CROSS_SYSROOT:-}
if [ -z "$sysroot" ]; then
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        "${sudo[@]}" dpkg --add-architecture "$arch"
    fi
    if ! install_missing "qt6-base-dev:$arch" "libarchive-dev:$arch" "libsystemd-dev:$arch"; then
        sysroot=$top/build-$arch-sysroot
        echo "apt cannot install the $arch libraries beside this machine's own;" \
            "unpacking them into $sysroot instead" >&2
    fi
fi
if [ -n "$sysroot" ]; then
    install_missing mmdebstrap
    if [ ! -e "$sysroot/var/lib/kivo-cross/complete" ]; then
        . /etc/os-release
        "${sudo[@]}" rm -rf "$sysroot"
        # Only unpacked, no package scripts run. The shlibs control files of the unpacked
        # libraries are kept for dpkg-shlibdeps, which cannot read a sysroot's package
        # database. dev/ and tmp/ go: the emulator would take them for the machine's own.
        "${sudo[@]}" mmdebstrap --variant=extract --arch="$arch" \
            --include=qt6-base-dev,libarchive-dev,libsystemd-dev,libstdc++-12-dev,libc6-dev \
            --aptopt='Acquire::Languages "none"' \
            --extract-hook='mkdir -p "$1/var/lib/kivo-cross"; for deb in "$1"/var/cache/apt/archives/*.deb; do dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs 2>/dev/null || true; done >"$1/var/lib/kivo-cross/shlibs.local"' \
            "$VERSION_CODENAME" "$sysroot" \
            "deb http://deb.debian.org/debian $VERSION_CODENAME main" \
            "deb http://deb.debian.org/debian $VERSION_CODENAME-updates main"
        "${sudo[@]}" rm -rf "$sysroot/dev" "$sysroot/tmp"
        # moc and the other Qt tools run on this machine, as with the multiarch packages.
        for tools in bin libexec; do
            "${sudo[@]}" rm -rf "$sysroot/usr/lib/qt6/$tools"
            "${sudo[@]}" ln -s "/usr/lib/qt6/$tools" "$sysroot/usr/lib/qt6/$tools"
        done
        "${sudo[@]}" touch "$sysroot/var/lib/kivo-cross/complete"
    fi
    # The emulator looks first in the sysroot for the ARM C library and every file the
    # programs open.
    export QEMU_LD_PREFIX=$sysroot
fi

# --- The emulator for ARM programs ------------------------------------------------------------
# Test programs start KIVO, the tools and the simulators, and dbus-run-session starts the test
# programs: every ARM program must start by itself, through binfmt_misc. The registration must
# carry the F flag (the kernel opens the emulator once, so it also works in other mount
# namespaces) and needs no -L: the multiarch packages put the ARM C library where the ARM
# programs look for it (/lib/ld-linux-*.so*).
step "binfmt_misc registration for $qemu_name"
binfmt=/proc/sys/fs/binfmt_misc
emulator=/usr/libexec/qemu-binfmt/$qemu_name-binfmt-P
register_emulator() {
    [ -e "$binfmt/register" ] ||
        "${sudo[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 1
    [ -e "$binfmt/qemu-$qemu_name" ] && return 0
    "${sudo[@]}" update-binfmts --enable "qemu-$qemu_name" >/dev/null 2>&1 || true
    [ -e "$binfmt/qemu-$qemu_name" ] && return 0
    # update-binfmts defers to systemd where it runs; write the definition directly.
    local def=/usr/share/binfmts/qemu-$qemu_name magic mask
    magic=$(sed -n 's/^magic //p' "$def")
    mask=$(sed -n 's/^mask //p' "$def")
    printf ':qemu-%s:M::%s:%s:%s:FP\n' "$qemu_name" "$magic" "$mask" "$emulator" |
        "${sudo[@]}" tee "$binfmt/register" >/dev/null 2>&1 || return 1
    [ -e "$binfmt/qemu-$qemu_name" ]
}
if ! register_emulator; then
    cat >&2 <<EOF
Cannot register qemu-$qemu_name with binfmt_misc here, so ARM programs cannot start each
other and the test suite cannot run. Do, as root on this machine (or, in a container, on
its host, whose kernel the container shares):
    mount -t binfmt_misc binfmt_misc $binfmt
    update-binfmts --enable qemu-$qemu_name
or write the definition of /usr/share/binfmts/qemu-$qemu_name with the flags FP to
$binfmt/register; then run $0 $arch again.
EOF
    exit 1
fi
if ! grep -q '^flags:.*F' "$binfmt/qemu-$qemu_name"; then
    echo "note: qemu-$qemu_name is registered without the F flag; if ARM programs do not start," \
        "register it again with flags FP" >&2
fi

# --- Configure and build -------------------------------------------------------------------
step "Configure $build"
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
sysroot_args=()
[ -n "$sysroot" ] && sysroot_args=(-DKIVO_CROSS_SYSROOT="$sysroot")
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain/linux-$arch.cmake" "${launcher[@]}" \
    "${sysroot_args[@]}" >/dev/null
step "Build $build"
cmake --build "$build" -j"$jobs"
if command -v file >/dev/null; then
    file "$build/bin/kivo" | sed "s|$top/||"
fi

# --- Tests ---------------------------------------------------------------------------------
step "Test suite under qemu-$qemu_name"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$(mktemp -d)
scratch=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR" "$scratch"' EXIT
cpack_path=$PATH
if [ -n "$sysroot" ]; then
    # dpkg-shlibdeps (run by cpack, here and in tst_kivo_packages) finds the libraries in the
    # sysroot, and their packages through the shlibs files kept there.
    mkdir -p "$scratch/bin"
    printf '#!/bin/sh\nexec /usr/bin/dpkg-shlibdeps -L"%s" -l"%s" -l"%s" "$@"\n' \
        "$sysroot/var/lib/kivo-cross/shlibs.local" "$sysroot/usr/lib/$triplet" \
        "$sysroot/lib/$triplet" >"$scratch/bin/dpkg-shlibdeps"
    chmod +x "$scratch/bin/dpkg-shlibdeps"
    cpack_path=$scratch/bin:$PATH
fi
tests_rc=0
(cd "$build" && PATH=$cpack_path ctest --output-on-failure -j2 --timeout 1500) || tests_rc=$?

# --- Packages ------------------------------------------------------------------------------
step "Debian packages for $arch"
(cd "$build" && PATH=$cpack_path cpack -G DEB >/dev/null)
packages_rc=0
for deb in "$build"/*_"$arch".deb; do
    [ -e "$deb" ] || { echo "no package for $arch in $build" >&2; packages_rc=1; break; }
    echo "${deb#$top/}:"
    dpkg-deb -f "$deb" Package Version Architecture Depends | sed 's/^/    /'
    if [ "$(dpkg-deb -f "$deb" Architecture)" != "$arch" ]; then
        echo "    wrong Architecture" >&2
        packages_rc=1
    fi
done

# --- The same panic texts on every architecture --------------------------------------------
step "kivo-panic against the build machine's build"
if [ ! -x "$host_build/bin/kivo-panic" ] || [ ! -x "$host_build/bin/kivo-sample-data" ]; then
    cmake -S "$top" -B "$host_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
        >/dev/null
    cmake --build "$host_build" -j"$jobs" --target kivo-panic kivo-sample-data
fi
"$host_build/bin/kivo-sample-data" "$scratch/root" >/dev/null
compare_rc=0
# This build, and the other default ARM build folder when it is there.
arm_builds=("$build")
for other in "$top/build-arm64" "$top/build-armhf"; do
    [ "$other" -ef "$build" ] || arm_builds+=("$other")
done
for command in "--json timeline" "timeline" "--json list bp" "--json list ap" \
    "--json list quirn" "--json list kernel" "show bp 3" "show quirn 1"; do
    read -r -a words <<<"$command"
    KIVO_ROOT=$scratch/root TZ=UTC "$host_build/bin/kivo-panic" --quiet "${words[@]}" \
        >"$scratch/x86-64.out"
    for other in "${arm_builds[@]}"; do
        [ -x "$other/bin/kivo-panic" ] || continue
        name=$(basename "$other")
        # Each ARM build with the libraries it was built against (a sysroot, or none).
        prefix=$(sed -n 's/^KIVO_CROSS_SYSROOT:[A-Z]*=//p' "$other/CMakeCache.txt")
        KIVO_ROOT=$scratch/root TZ=UTC QEMU_LD_PREFIX=$prefix \
            "$other/bin/kivo-panic" --quiet "${words[@]}" >"$scratch/$name.out"
        if cmp -s "$scratch/x86-64.out" "$scratch/$name.out"; then
            printf '  same bytes  %-18s %s (%d bytes)\n' "$command" "$name" \
                "$(stat -c %s "$scratch/x86-64.out")"
        else
            printf '  DIFFERENT   %-18s %s\n' "$command" "$name" >&2
            diff "$scratch/x86-64.out" "$scratch/$name.out" >&2 || true
            compare_rc=1
        fi
    done
done

step "Done"
echo "tests: $([ $tests_rc -eq 0 ] && echo passed || echo FAILED)," \
    "packages: $([ $packages_rc -eq 0 ] && echo made || echo FAILED)," \
    "kivo-panic output: $([ $compare_rc -eq 0 ] && echo identical || echo DIFFERENT)"
[ $tests_rc -eq 0 ] && [ $packages_rc -eq 0 ] && [ $compare_rc -eq 0 ]
