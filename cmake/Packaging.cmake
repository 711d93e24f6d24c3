# Installation of the three programs with their manual pages, copyright and changelog, and Debian
# packages made by CPack (cpack -G DEB in the build folder): linewarden_<version>_amd64.deb with the
# stripped programs, and linewarden-dbgsym_<version>_amd64.ddeb with their debug information under
# /usr/lib/debug/.build-id, where gdb and the crash tools look for it by the programs' build ids.
include(GNUInstallDirs)

# Installed directories are 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(programs linewarden tabroster linewarden-inspect)
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The toolchain's version notes (.comment) serve no one in a shipped program; Debian's strip drops
# them too.
foreach(program IN LISTS programs)
  add_custom_command(TARGET ${program} POST_BUILD
                     COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${program}>)
endforeach()

# The newest changelog entry names the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^linewarden \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()

# Manual pages carry the version; they and the changelog are installed compressed as Debian ships
# them (gzip -9n: no name or time stamp in the header, so the same text gives the same bytes).
find_program(GZIP_PROGRAM gzip REQUIRED)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
function(linewarden_gzip source output_variable)
  get_filename_component(name ${source} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${GZIP_PROGRAM} -9n < ${source} > ${compressed}
                     DEPENDS ${source}
                     COMMENT "Compressing ${name}")
  set(${output_variable} ${compressed} PARENT_SCOPE)
endfunction()

foreach(page IN LISTS programs)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  linewarden_gzip(${PROJECT_BINARY_DIR}/man/${page}.1 compressed)
  list(APPEND MAN_PAGES ${compressed})
endforeach()
linewarden_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog CHANGELOG)
add_custom_target(compressed_docs ALL DEPENDS ${MAN_PAGES} ${CHANGELOG})
install(FILES ${MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME linewarden)
set(CPACK_PACKAGE_VENDOR "linewarden")
set(CPACK_PACKAGE_CONTACT "linewarden maintainers <maintainers@linewarden.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The synopsis, then the extended description as apt shows it: paragraphs of lines under 80
# columns, an empty line between paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
monitor telling a host whether the user is in a call on a sales dialer
linewarden watches a sales dialer on an X11 or Wayland desktop: the Zoom
application, or Kixie PowerCall, RingCentral for Google or Trellus in a
browser tab. It recognises the text of the dialer's call-state region and
prints, line by line on standard output, whether a call is active.

tabroster lists the window titles of the running browsers.
linewarden-inspect runs one scan and writes pictures of what it saw, for
when a call is not detected.]])
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The shared libraries the programs link are found in the binaries by dpkg-shlibdeps; the English
# recognition data is no library, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tesseract-ocr-eng")
# Services the programs talk to over D-Bus without linking them (README, Install): the
# accessibility bus for window titles on Wayland, the screen-cast portal for pixels on GNOME and
# KDE, whose desktop backend a desktop installs with itself.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, xdg-desktop-portal")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal-gnome | xdg-desktop-portal-kde")
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/FixDebugPackage.cmake)
include(CPack)
