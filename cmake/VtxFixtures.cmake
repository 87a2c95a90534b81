# The target `fixtures`: DjVu files made by the DjVuLibre encoders in ${PROJECT_BINARY_DIR}/fixtures,
# rebuilt when a generator script changes. Tests and benchmarks both read them.
if(TARGET fixtures)
  return()
endif()
file(GLOB VTX_FIXTURE_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fixtures/*.sh)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/fixtures/.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/tests/fixtures/make_fixtures.sh ${PROJECT_BINARY_DIR}/fixtures
  DEPENDS ${VTX_FIXTURE_SCRIPTS}
  COMMENT "Generating DjVu test fixtures"
  VERBATIM)
add_custom_target(fixtures ALL DEPENDS ${PROJECT_BINARY_DIR}/fixtures/.stamp)
