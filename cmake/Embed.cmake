# yk_embed(TARGET target SYMBOL name FILE path)
# Turns a data file into a constant byte array compiled into `target`, so the
# program reads no file at run time. The generated source defines
#   extern const unsigned char name[];  extern const unsigned long name_size;
function(yk_embed)
  cmake_parse_arguments(ARG "" "TARGET;SYMBOL;FILE" "" ${ARGN})
  get_filename_component(input ${ARG_FILE} ABSOLUTE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embed_${ARG_SYMBOL}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${ARG_SYMBOL}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${ARG_FILE} as ${ARG_SYMBOL}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE ${output})
endfunction()
