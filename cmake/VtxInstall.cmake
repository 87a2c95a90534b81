# The library as others use it: the two libraries, a CMake package (find_package(Tessaline)
# gives Tessaline::djvu) and a pkg-config file (tessaline.pc). The headers install with their
# targets.
include(CMakePackageConfigHelpers)

set(VTX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessaline)
install(TARGETS djvu_sdk vtx_baselib EXPORT TessalineTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT TessalineTargets NAMESPACE Tessaline:: DESTINATION ${VTX_CMAKE_PACKAGE_DIR})

set(VTX_PACKAGE_SHARED ${BUILD_SHARED_LIBS})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TessalineConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TessalineConfig.cmake INSTALL_DESTINATION ${VTX_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TessalineConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TessalineConfig.cmake ${PROJECT_BINARY_DIR}/TessalineConfigVersion.cmake
  DESTINATION ${VTX_CMAKE_PACKAGE_DIR})

# A static library leaves zlib and the threads library to the program that links it.
set(VTX_PC_LIBS_PRIVATE "")
if(NOT BUILD_SHARED_LIBS)
  set(VTX_PC_LIBS_PRIVATE "Libs.private: -lz -pthread")
endif()
# The prefix is found from the file's own place, so that `cmake --install --prefix` works too.
file(RELATIVE_PATH VTX_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VTX_PC_UP "${VTX_PC_UP}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tessaline.pc.in ${PROJECT_BINARY_DIR}/tessaline.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessaline.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
