# Fails unless every external name the archive defines begins with FotaApply, so that the library links
# beside firmware whatever its own names are. The Cortex-M build runs it on every build, the host as a test.
#   cmake -DNM=nm -DARCHIVE=libquarnel_apply.a -P exported_names.cmake
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${NM} -g --defined-only ${ARCHIVE} OUTPUT_VARIABLE defined RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" definitions "${defined}")
if(NOT definitions)
  message(FATAL_ERROR "${NM} lists no external name in ${ARCHIVE}")
endif()
set(names)
set(foreign)
foreach(definition IN LISTS definitions)
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" symbol "${definition}")
  list(APPEND names ${symbol})
  # AddressSanitizer adds an ODR indicator beside each external variable, and mingw-w64 a .refptr entry
  # for each one another object refers to, both named after it.
  if(NOT symbol MATCHES "^(__odr_asan[._]|\\.refptr\\.)?FotaApply")
    list(APPEND foreign ${symbol})
  endif()
endforeach()
list(LENGTH names count)
if(foreign)
  string(REPLACE ";" " " foreign_text "${foreign}")
  message(FATAL_ERROR "external names without the FotaApply prefix in ${ARCHIVE}: ${foreign_text}")
endif()
message(STATUS "library's external names: ${count}, each beginning with FotaApply")
