# Installation and release packages: a .deb on Linux, a .zip on Windows.
# Every program of the release is named once here; a new program joins the
# release by adding its target to SLV2_RELEASE_PROGRAMS.
set(SLV2_RELEASE_PROGRAMS slv2update slv2pack)
if(NOT WIN32)
  # Windows brings its own registry editor.
  list(APPEND SLV2_RELEASE_PROGRAMS regedit)
endif()

foreach(program IN LISTS SLV2_RELEASE_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION $<IF:$<BOOL:${WIN32}>,.,bin>)
  endif()
endforeach()

set(CPACK_PACKAGE_NAME slv2update)
set(CPACK_PACKAGE_VENDOR "Zarvik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Update package of the Zarvik:Solvane 2.x family")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Debugging information stays in the build tree.
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zarvik release team")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # Library dependencies as dpkg-shlibdeps finds them in the programs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
