# Installation, the CMake package, pkg-config and the Debian packages.
include(CMakePackageConfigHelpers)

install(TARGETS isilonclient EXPORT isilonclientTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(dir json host isilon)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${dir}
    COMPONENT dev FILES_MATCHING PATTERN "*.h")
endforeach()
install(EXPORT isilonclientTargets NAMESPACE isilonclient::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/isilonclient COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/isilonclientConfig.cmake.in
  ${CMAKE_BINARY_DIR}/isilonclientConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/isilonclient)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/isilonclientConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/isilonclientConfig.cmake ${CMAKE_BINARY_DIR}/isilonclientConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/isilonclient COMPONENT dev)
file(RELATIVE_PATH ISILON_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" ISILON_PC_TO_PREFIX "${ISILON_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/isilonclient.pc.in ${CMAKE_BINARY_DIR}/isilonclient.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/isilonclient.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
if(TARGET isilon-sim)
  install(TARGETS isilon-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# Two Debian packages: the library with its headers, and the tools.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME isilonclient)
set(CPACK_PACKAGE_VENDOR "isilonclient developers")
set(CPACK_PACKAGE_CONTACT "isilonclient developers <dev@isilonclient.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client library for managing an Isilon NAS cluster over HTTPS")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tools link against the library of this very build, not an installed one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libisilonclient1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_PACKAGE_DEPENDS "libboost-dev")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME isilonclient-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libisilonclient1 (= ${PROJECT_VERSION})")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
cpack_add_component_group(lib DESCRIPTION "The isilonclient library and its headers")
cpack_add_component_group(tools DESCRIPTION "isilonctl and isilon-sim")
cpack_add_component(library GROUP lib)
cpack_add_component(dev GROUP lib)
cpack_add_component(tools GROUP tools)
