# Cross-builds for a Cortex-M4 with Debian's gcc-arm-none-eabi and newlib. Use:
#   cmake -S device/cortex-m -B build-cortex-m -DCMAKE_TOOLCHAIN_FILE=cmake/arm-none-eabi.cmake
# scripts/test-device builds the device applier this way and runs it under qemu-system-arm.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(QUARNEL_ARM_TRIPLET arm-none-eabi)
set(CMAKE_C_COMPILER ${QUARNEL_ARM_TRIPLET}-gcc)
set(CMAKE_ASM_COMPILER ${QUARNEL_ARM_TRIPLET}-gcc)
set(CMAKE_AR ${QUARNEL_ARM_TRIPLET}-ar)
set(CMAKE_RANLIB ${QUARNEL_ARM_TRIPLET}-ranlib)
set(CMAKE_SIZE ${QUARNEL_ARM_TRIPLET}-size)
set(CMAKE_NM ${QUARNEL_ARM_TRIPLET}-nm)

# A bare-metal program needs a linker script and a C library choice, so the
# compiler checks build a static library instead of linking a program.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Soft-float ABI: the applier uses no floating point, and the nofp newlib multilib matches.
set(CMAKE_C_FLAGS_INIT "-mcpu=cortex-m4 -mthumb -Os -ffunction-sections -fdata-sections")
set(CMAKE_ASM_FLAGS_INIT "-mcpu=cortex-m4 -mthumb")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-mcpu=cortex-m4 -mthumb -Wl,--gc-sections")

# Headers and libraries come from newlib's tree, programs from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/lib/${QUARNEL_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
