# Install rules and the exported CMake package: after
#   cmake --install <build> --prefix <p>
# a host finds the library with find_package(qvzfix 1.0) (target
# qvzfix::qvzfix) or with pkg-config (qvzfix.pc), and gets qvzcheck and qvzsim.
include(CMakePackageConfigHelpers)

set(QVZ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvzfix)

# The library: libqvzfix.so.1.0.0 with its SONAME link (runtime) and the
# development link libqvzfix.so; on Windows the DLL in bin/ and its import
# library in lib/.
install(TARGETS qvzfix EXPORT qvzfixTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

foreach(program qvzcheck qvzsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET qvzcheck AND NOT WIN32 AND NOT APPLE)
  # qvzcheck finds the library installed beside it under any prefix.
  file(RELATIVE_PATH QVZ_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(qvzcheck PROPERTIES INSTALL_RPATH "$ORIGIN/${QVZ_BIN_TO_LIB}")
endif()

install(EXPORT qvzfixTargets
  NAMESPACE qvzfix::
  FILE qvzfixTargets.cmake
  DESTINATION ${QVZ_CMAKE_PACKAGE_DIR})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/templates/qvzfixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qvzfixConfig.cmake
  INSTALL_DESTINATION ${QVZ_CMAKE_PACKAGE_DIR})
# 1.x hosts keep working with any later 1.y; 2.0 would break the ABI.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/qvzfixConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/qvzfixConfig.cmake
  ${PROJECT_BINARY_DIR}/qvzfixConfigVersion.cmake
  DESTINATION ${QVZ_CMAKE_PACKAGE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so the
# installed tree may be moved (or installed with --prefix elsewhere).
file(RELATIVE_PATH QVZ_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QVZ_PC_TO_PREFIX "${QVZ_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/templates/qvzfix.pc.in
  ${PROJECT_BINARY_DIR}/qvzfix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qvzfix.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES
  ${PROJECT_SOURCE_DIR}/README.md
  ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/docs/networks.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${CMAKE_INSTALL_DOCDIR})
