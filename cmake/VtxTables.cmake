# vtx_generate_table(<target> <tsv> <inc name> COLUMNS ... [QUOTE ...]): generates <inc name>
# in the target's build folder from a committed format table, regenerated when the table changes.
function(vtx_generate_table target tsv inc)
  cmake_parse_arguments(ARG "" "" "COLUMNS;QUOTE" ${ARGN})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/generated/${inc}")
  list(JOIN ARG_COLUMNS "," cols)
  list(JOIN ARG_QUOTE "," quote)
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} "-DINPUT=${tsv}" "-DOUTPUT=${out}" "-DCOLUMNS=${cols}" "-DQUOTE=${quote}"
            -P "${PROJECT_SOURCE_DIR}/cmake/tsv_to_table.cmake"
    DEPENDS "${tsv}" "${PROJECT_SOURCE_DIR}/cmake/tsv_to_table.cmake"
    COMMENT "Generating ${inc} from ${tsv}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  target_include_directories(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/generated")
endfunction()
