# CPack packages of everything the install rules put in place:
#   Linux:   cpack -G DEB  -> qvzfix_<version>_<arch>.deb (installs under /usr)
#   Windows: cpack -G ZIP  -> qvzfix-<version>-win64.zip (from the MinGW build)
set(CPACK_PACKAGE_NAME qvzfix)
set(CPACK_PACKAGE_VENDOR "qvzfix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "qvzfix developers <qvzfix@localhost>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Packages carry stripped binaries (the build tree keeps its symbols).
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # CPack puts the summary line first and indents these lines itself.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The plug-in library (libqvzfix.so.${PROJECT_VERSION_MAJOR}), its headers, CMake and pkg-config\nfiles, the demonstration client qvzcheck and the analyzer emulator qvzsim.")
  # The C and C++ runtime dependencies come from dpkg-shlibdeps; the shlibs
  # file lets packages built against libqvzfix depend on it, and the ldconfig
  # trigger registers the library when the package is installed.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
endif()

include(CPack)
