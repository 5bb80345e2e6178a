# What the ARM toolchain files share; they set KIVO_CROSS_TRIPLET (the GNU triplet, which is
# also Debian's multiarch folder), KIVO_CROSS_PROCESSOR, KIVO_CROSS_DEB_ARCH and
# KIVO_CROSS_QEMU before including it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${KIVO_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${KIVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KIVO_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${KIVO_CROSS_TRIPLET})

# The target's libraries and CMake packages are the multiarch ones under /usr, or those of a
# sysroot given as KIVO_CROSS_SYSROOT (a folder with the architecture's Debian packages
# unpacked, for a machine where apt cannot install them beside its own). The programs found
# (moc and friends through QT_HOST_PATH, dpkg-shlibdeps, dbus-run-session) are the build
# machine's.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KIVO_CROSS_SYSROOT)
if(KIVO_CROSS_SYSROOT)
    set(CMAKE_SYSROOT ${KIVO_CROSS_SYSROOT})
    set(CMAKE_FIND_ROOT_PATH ${KIVO_CROSS_SYSROOT})
    list(APPEND CMAKE_PREFIX_PATH /usr/lib/${KIVO_CROSS_TRIPLET}/cmake)
    set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
    set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
    set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
    set(ENV{PKG_CONFIG_SYSROOT_DIR} ${KIVO_CROSS_SYSROOT})
    set(ENV{PKG_CONFIG_LIBDIR}
        ${KIVO_CROSS_SYSROOT}/usr/lib/${KIVO_CROSS_TRIPLET}/pkgconfig:${KIVO_CROSS_SYSROOT}/usr/share/pkgconfig)
else()
    set(CMAKE_FIND_ROOT_PATH /usr/lib/${KIVO_CROSS_TRIPLET} /usr/${KIVO_CROSS_TRIPLET})
    list(APPEND CMAKE_PREFIX_PATH /usr/lib/${KIVO_CROSS_TRIPLET}/cmake)
    set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
    set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
    set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
    set(PKG_CONFIG_EXECUTABLE ${KIVO_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, for moc, rcc and uic")
endif()

# CTest starts the test programs through this; the programs they start in turn run through the
# kernel's binfmt_misc registration of the same emulator (scripts/cross.sh).
find_program(KIVO_CROSS_EMULATOR ${KIVO_CROSS_QEMU})
if(KIVO_CROSS_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KIVO_CROSS_EMULATOR})
endif()

# The packages' Architecture field (cmake/Packaging.cmake).
set(KIVO_DEB_ARCH ${KIVO_CROSS_DEB_ARCH})
