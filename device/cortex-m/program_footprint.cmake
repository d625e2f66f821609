# Prints the flash and RAM a linked program takes, and fails when it holds any of the signed call's code:
# a program that calls only FotaApplyPack must link none of it once unused sections are collected.
#   cmake -DSIZE=arm-none-eabi-size -DNM=arm-none-eabi-nm -DPROGRAM=example_bootloader.elf -P program_footprint.cmake
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${SIZE} ${PROGRAM} OUTPUT_VARIABLE sizes RESULT_VARIABLE failed)
if(failed OR NOT sizes MATCHES "\n[ \t]*([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)")
  message(FATAL_ERROR "${SIZE} failed on ${PROGRAM}:\n${sizes}")
endif()
math(EXPR flash "${CMAKE_MATCH_1} + ${CMAKE_MATCH_2}")
math(EXPR ram "${CMAKE_MATCH_2} + ${CMAKE_MATCH_3}")
get_filename_component(name ${PROGRAM} NAME_WE)
message(STATUS "${name} on Cortex-M: ${flash} bytes of flash (.text and .data), ${ram} bytes of .data and .bss")

execute_process(COMMAND ${NM} ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${PROGRAM}")
endif()
# BearSSL's names carry the FotaApply_ prefix in the library (src/crypto_names.h).
string(REGEX MATCHALL "[ \t](FotaApply_[A-Za-z0-9_]+|FotaApplySignedPack)\n" crypto "${symbols}")
if(crypto)
  string(REGEX REPLACE "[ \t\n;]+" " " crypto "${crypto}")
  message(FATAL_ERROR "${name} links the signed call's code:${crypto}")
endif()
