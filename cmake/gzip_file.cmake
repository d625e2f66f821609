# gzip_file(<source> <variable>): compresses <source> into the current binary
# folder at build time and sets <variable> to the compressed file's path.
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
  message(FATAL_ERROR "gzip is needed to compress the manual pages and the changelog")
endif()

function(gzip_file source variable)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  # -n keeps the name and time out of the file, so that the same text gives the same bytes.
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${compressed}
    DEPENDS ${source}
    VERBATIM)
  set(${variable} ${compressed} PARENT_SCOPE)
endfunction()
