# Fails unless the library needs nothing from outside beyond memcpy, memset,
# memcmp and the compiler's integer and block-move helpers.
#   cmake -DNM=arm-none-eabi-nm -DARCHIVE=libquarnel_apply.a -P library_imports.cmake
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${NM} -g --defined-only ${ARCHIVE} OUTPUT_VARIABLE defined RESULT_VARIABLE failed_defined)
execute_process(COMMAND ${NM} -u ${ARCHIVE} OUTPUT_VARIABLE undefined RESULT_VARIABLE failed_undefined)
if(failed_defined OR failed_undefined)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()

# Symbols one object of the archive takes from another are not imports.
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" definitions "${defined}")
set(own)
foreach(definition IN LISTS definitions)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" symbol "${definition}")
  list(APPEND own ${symbol})
endforeach()

string(REGEX MATCHALL "U [^\n]+" references "${undefined}")
set(imports)
set(forbidden)
foreach(reference IN LISTS references)
  string(REGEX REPLACE "^U " "" symbol "${reference}")
  if(symbol IN_LIST own OR symbol IN_LIST imports)
    continue()
  endif()
  list(APPEND imports ${symbol})
  # Integer division, 64-bit shifts and block moves only: a float helper would mean floating point.
  if(NOT symbol MATCHES "^(memcpy|memset|memcmp|__aeabi_u?[il]div(mod)?|__aeabi_(llsl|llsr|lasr|lmul|u?lcmp)|__aeabi_mem(cpy|set|clr)[48]?)$")
    list(APPEND forbidden ${symbol})
  endif()
endforeach()
list(SORT imports)
string(REPLACE ";" " " import_text "${imports}")
message(STATUS "library's imports: ${import_text}")
if(forbidden)
  string(REPLACE ";" " " forbidden_text "${forbidden}")
  message(FATAL_ERROR "the library needs more than memcpy, memset and memcmp: ${forbidden_text}")
endif()
