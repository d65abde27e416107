# Cross-building for 64-bit ARM (Raspberry Pi OS 64-bit, Debian arm64) on a
# Debian amd64 machine (tools/cross-arm64). The arm64 libraries come from
# Debian's multiarch packages (/usr/lib/aarch64-linux-gnu, found through the
# compiler's library architecture); Qt's moc and rcc are the host's own.
# Programs built here run under qemu-user: ctest and the test discovery
# start them through the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for arm64")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 CACHE STRING "Runs arm64 programs on the build machine")
