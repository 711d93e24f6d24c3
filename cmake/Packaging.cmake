# Installation of the three programs with their manual pages, and a Debian package made by CPack
# (cpack -G DEB in the build folder).
include(GNUInstallDirs)

install(TARGETS linewarden tabroster linewarden-inspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages carry the version and are installed compressed, as Debian ships them.
find_program(GZIP_PROGRAM gzip)
foreach(page linewarden tabroster linewarden-inspect)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.1)
  set(page_file ${PROJECT_BINARY_DIR}/man/${page}.1)
  configure_file(${source} ${page_file} @ONLY)
  if(GZIP_PROGRAM)
    add_custom_command(OUTPUT ${page_file}.gz
                       COMMAND ${GZIP_PROGRAM} -9nkf ${page_file}
                       DEPENDS ${page_file}
                       COMMENT "Compressing ${page}(1)")
    list(APPEND MAN_PAGES ${page_file}.gz)
  else()
    list(APPEND MAN_PAGES ${page_file})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${MAN_PAGES})
install(FILES ${MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME linewarden)
set(CPACK_PACKAGE_VENDOR "linewarden")
set(CPACK_PACKAGE_CONTACT "linewarden maintainers <maintainers@linewarden.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tells a host, line by line, whether the user is in a call on a sales dialer")
set(CPACK_PACKAGE_DESCRIPTION
    "linewarden watches a sales dialer (Zoom, or Kixie PowerCall, RingCentral for Google or Trellus in a \
browser tab) on an X11 desktop, recognises the text of its call-state region and prints status lines \
on standard output. tabroster lists the window titles of the running browsers. linewarden-inspect \
runs one scan and writes pictures of what it saw, for when a call is not detected.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The shared libraries (Tesseract, Leptonica, libxcb with Composite and Damage, ICU, the C++ runtime)
# are found in the binaries by dpkg-shlibdeps; the English recognition data is no library, so it is
# named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tesseract-ocr-eng")
include(CPack)
