# Reads the module's identifiers from tools/src/nimbrel/nimbrel_guids.h into NIMBREL_CLSID,
# NIMBREL_APPID, NIMBREL_LIBID and NIMBREL_IID, so that generated scripts use the same values.
file(STRINGS ${PROJECT_SOURCE_DIR}/tools/src/nimbrel/nimbrel_guids.h NIMBREL_GUID_LINES REGEX "^#define NIMBREL_[A-Z]+_TEXT ")
foreach(line IN LISTS NIMBREL_GUID_LINES)
  if(line MATCHES "^#define NIMBREL_([A-Z]+)_TEXT \"([0-9A-F-]+)\"")
    set(NIMBREL_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT NIMBREL_CLSID OR NOT NIMBREL_APPID OR NOT NIMBREL_LIBID OR NOT NIMBREL_IID)
  message(FATAL_ERROR "nimbrel_guids.h: an identifier is missing")
endif()
