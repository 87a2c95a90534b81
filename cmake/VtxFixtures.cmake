# The target `fixtures`: DjVu files made by the DjVuLibre encoders in ${PROJECT_BINARY_DIR}/fixtures,
# rebuilt when a generator script changes. Tests and benchmarks both read them.
if(TARGET fixtures)
  return()
endif()
set(VTX_FIXTURE_SCRIPTS)
foreach(script make_fixtures gen_bzz gen_container gen_imaging gen_iw44 gen_jb2 gen_kinds gen_mmr gen_render gen_sources
               gen_stored gen_text)
  list(APPEND VTX_FIXTURE_SCRIPTS ${PROJECT_SOURCE_DIR}/tests/fixtures/${script}.sh)
endforeach()
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/fixtures/.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/tests/fixtures/make_fixtures.sh ${PROJECT_BINARY_DIR}/fixtures
  DEPENDS ${VTX_FIXTURE_SCRIPTS}
  COMMENT "Generating DjVu test fixtures"
  VERBATIM)
add_custom_target(fixtures ALL DEPENDS ${PROJECT_BINARY_DIR}/fixtures/.stamp)
