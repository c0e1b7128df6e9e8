# Installation: the library, its headers, the CMake package and pkg-config. The tools install
# themselves (cli/, sim/). debian/ splits the result into the Debian packages.
include(CMakePackageConfigHelpers)

# The headers keep their folders (json/, host/, isilon/) under one of the project's own, so that
# such common names do not land in the include directory itself.
set(ISILON_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/isilonclient)
set(ISILON_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/isilonclient)

# The version header is written from the project's version when the build is configured; it
# sits in the build tree next to the source headers' folders and is installed with them.
set(ISILON_GENERATED_INCLUDEDIR ${CMAKE_BINARY_DIR}/include)
configure_file(${CMAKE_SOURCE_DIR}/isilon/Version.h.in ${ISILON_GENERATED_INCLUDEDIR}/isilon/Version.h @ONLY)
target_include_directories(isilonclient_core PRIVATE ${ISILON_GENERATED_INCLUDEDIR})
target_include_directories(isilonclient_internal PUBLIC $<BUILD_INTERFACE:${ISILON_GENERATED_INCLUDEDIR}>)
target_include_directories(isilonclient PUBLIC $<BUILD_INTERFACE:${ISILON_GENERATED_INCLUDEDIR}>
                                               $<INSTALL_INTERFACE:${ISILON_INSTALL_INCLUDEDIR}>)
install(TARGETS isilonclient EXPORT isilonclientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# File by file, so that a folder without headers is not installed empty.
file(GLOB_RECURSE ISILON_PUBLIC_HEADERS RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/json/*.h ${CMAKE_SOURCE_DIR}/host/*.h ${CMAKE_SOURCE_DIR}/isilon/*.h)
# The JSON module's page reader, whole-reply reader and number helpers are the library's own:
# no public header includes them and none of their symbols is exported.
list(REMOVE_ITEM ISILON_PUBLIC_HEADERS json/Cursor.h json/DocumentData.h json/Locale.h json/Reader.h json/Numbers.h json/Whole.h)
foreach(header ${ISILON_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/${header} DESTINATION ${ISILON_INSTALL_INCLUDEDIR}/${dir})
endforeach()
install(FILES ${ISILON_GENERATED_INCLUDEDIR}/isilon/Version.h DESTINATION ${ISILON_INSTALL_INCLUDEDIR}/isilon)

install(EXPORT isilonclientTargets NAMESPACE isilonclient:: DESTINATION ${ISILON_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/isilonclientConfig.cmake.in
  ${CMAKE_BINARY_DIR}/isilonclientConfig.cmake
  INSTALL_DESTINATION ${ISILON_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/isilonclientConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/isilonclientConfig.cmake ${CMAKE_BINARY_DIR}/isilonclientConfigVersion.cmake
  DESTINATION ${ISILON_INSTALL_CMAKEDIR})

# pkg-config: absolute paths (a cross pkg-config prepends its sysroot to them), written at install
# time so that they name the prefix actually installed to (cmake --install --prefix).
set(ISILON_PC_PREFIX "@ISILON_PC_PREFIX@")
configure_file(${CMAKE_SOURCE_DIR}/cmake/isilonclient.pc.in ${CMAKE_BINARY_DIR}/isilonclient.pc.in @ONLY)
install(CODE "
  set(ISILON_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_BINARY_DIR}/isilonclient.pc.in\" \"${CMAKE_BINARY_DIR}/isilonclient.pc\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/isilonclient.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
