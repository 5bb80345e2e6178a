# Cross build for 32-bit ARM phones (Debian arch armhf: ARMv7, hard float) with Debian's
# multiarch packages: crossbuild-essential-armhf, qt6-base-dev:armhf, libarchive-dev:armhf.
# There `long` and `time_t` are 32 bits. scripts/cross.sh sets everything up; by hand:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain/linux-armhf.cmake
set(KIVO_CROSS_TRIPLET arm-linux-gnueabihf)
set(KIVO_CROSS_PROCESSOR arm)
set(KIVO_CROSS_DEB_ARCH armhf)
set(KIVO_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
