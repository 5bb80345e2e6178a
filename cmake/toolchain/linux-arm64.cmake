# Cross build for 64-bit ARM phones (Debian arch arm64) with Debian's multiarch packages:
# crossbuild-essential-arm64, qt6-base-dev:arm64, libarchive-dev:arm64. The Qt host tools
# (moc, rcc, uic) are the build machine's own from qt6-base-dev-tools. scripts/cross.sh sets
# everything up; by hand:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain/linux-arm64.cmake
set(KIVO_CROSS_TRIPLET aarch64-linux-gnu)
set(KIVO_CROSS_PROCESSOR aarch64)
set(KIVO_CROSS_DEB_ARCH arm64)
set(KIVO_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
