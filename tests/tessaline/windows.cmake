# The Windows build of tessaline: its imports, and its PNG files against the Linux build's.

add_test(NAME tessaline_imports
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:tessaline>)
# The check itself must see a DLL that needs the tool chain's runtime.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE VTX_SHARED_LIBSTDCXX OUTPUT_STRIP_TRAILING_WHITESPACE)
if(IS_ABSOLUTE "${VTX_SHARED_LIBSTDCXX}" AND EXISTS "${VTX_SHARED_LIBSTDCXX}")
  add_test(NAME tessaline_imports_control
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports.sh ${CMAKE_OBJDUMP} ${VTX_SHARED_LIBSTDCXX})
  set_tests_properties(tessaline_imports_control PROPERTIES WILL_FAIL TRUE)
endif()

# The Linux program of the release preset, built before this one (scripts/test.sh does).
set(VTX_LINUX_TESSALINE ${PROJECT_SOURCE_DIR}/build/release/tools/tessaline
    CACHE FILEPATH "The Linux tessaline whose PNG files the Windows one must match")
add_test(NAME tessaline_png
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_png.sh $<TARGET_FILE:tessaline> ${VTX_LINUX_TESSALINE}
                 ${PROJECT_BINARY_DIR}/fixtures ${CMAKE_CURRENT_BINARY_DIR}/png)
set_tests_properties(tessaline_png PROPERTIES ENVIRONMENT "${VTX_WINE_ENV}" FIXTURES_REQUIRED wine)
