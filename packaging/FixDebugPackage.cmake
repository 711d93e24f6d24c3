# Run by cpack once it has made the packages (CPACK_POST_BUILD_SCRIPTS). CPack 3.25 writes the debug
# package's md5sums with the build folder's paths, leaves the split debug files executable and gives
# the package no copyright or changelog. The package is remade here as Debian's own debug packages
# are: debug files 0644, md5sums of the packaged paths, and its documentation folder a link to the
# main package's, which it depends on at the same version.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(main_package ${CMAKE_MATCH_1})
  set(root ${CPACK_TOPLEVEL_DIRECTORY}/remade-dbgsym)
  file(REMOVE_RECURSE ${root})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${root} COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/lib/debug/*)
  list(SORT debug_files)
  set(md5sums "")
  foreach(file IN LISTS debug_files)
    file(CHMOD ${root}/${file} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 ${root}/${file} sum)
    string(APPEND md5sums "${sum}  ${file}\n")
  endforeach()
  if(NOT debug_files)
    message(FATAL_ERROR "the debug package ${package} holds no debug files")
  endif()
  file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")

  file(MAKE_DIRECTORY ${root}/usr/share/doc)
  file(CREATE_LINK ${main_package} ${root}/usr/share/doc/${main_package}-dbgsym SYMBOLIC)

  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${root} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${root})
endforeach()
