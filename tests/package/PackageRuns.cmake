# Makes the Debian packages of this build as a packager does and checks what a user and Debian's
# checker see:
# - lintian reports no error and no warning on the package or on its debug-symbols package;
# - the package holds the three programs and their manual pages, and Depends on zlib, which
#   linewarden-inspect writes its pictures with (found in the binary by dpkg-shlibdeps);
# - the debug package holds each program's debug information under the program's build id;
# - installed with apt-get, /usr/bin/linewarden without arguments writes its usage line on standard
#   error, nothing on standard output, and exits with 1.
# The package is removed again at the end, so that no program of a test build stays in /usr/bin for
# later tests or users to find. Installing needs root (CI runs as root); without it that step is
# skipped, and the test says so.
# Usage: cmake -DCPACK_CONFIG=<CPackConfig.cmake> -DSCRATCH=<folder> -P PackageRuns.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND cpack -G DEB --config ${CPACK_CONFIG} -B ${SCRATCH}/out
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB package ${SCRATCH}/out/*.deb)
file(GLOB debug_package ${SCRATCH}/out/*-dbgsym_*.ddeb)
list(LENGTH package packages)
if(NOT status EQUAL 0 OR NOT packages EQUAL 1 OR NOT debug_package)
  message(FATAL_ERROR "cpack made no package and debug package (status ${status}):\n${output}")
endif()

execute_process(COMMAND lintian --fail-on error,warning --display-info --no-tag-display-limit ${package} ${debug_package}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian found errors or warnings (status ${status}):\n${output}")
endif()

execute_process(COMMAND dpkg-deb -x ${package} ${SCRATCH}/root COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-deb -x ${debug_package} ${SCRATCH}/debug-root COMMAND_ERROR_IS_FATAL ANY)
foreach(program linewarden tabroster linewarden-inspect)
  foreach(file usr/bin/${program} usr/share/man/man1/${program}.1.gz)
    if(NOT EXISTS ${SCRATCH}/root/${file})
      message(FATAL_ERROR "the package lacks /${file}")
    endif()
  endforeach()
  execute_process(COMMAND readelf --notes ${SCRATCH}/root/usr/bin/${program} OUTPUT_VARIABLE notes)
  if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
    message(FATAL_ERROR "/usr/bin/${program} has no build id:\n${notes}")
  endif()
  set(debug_file ${SCRATCH}/debug-root/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
  execute_process(COMMAND readelf --section-headers ${debug_file} OUTPUT_VARIABLE sections ERROR_VARIABLE sections)
  if(NOT sections MATCHES "\\.debug_info")
    message(FATAL_ERROR "the debug package has no debug information for /usr/bin/${program} at ${debug_file}:\n${sections}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -f ${package} Depends OUTPUT_VARIABLE depends)
if(NOT depends MATCHES "zlib1g")
  message(FATAL_ERROR "the package does not depend on zlib1g: ${depends}")
endif()

execute_process(COMMAND id -u OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT user STREQUAL "0")
  message(STATUS "not root: the package was not installed")
  file(REMOVE_RECURSE ${SCRATCH})
  return()
endif()
# Recommended services are the user's choice (README, Install) and not needed to run; the lock
# timeout waits out any other apt or dpkg run on the machine.
execute_process(COMMAND apt-get install -y --reinstall --no-install-recommends -o DPkg::Lock::Timeout=300 ${package}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "apt-get could not install ${package} (status ${status}):\n${output}")
endif()
execute_process(COMMAND /usr/bin/linewarden RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
execute_process(COMMAND apt-get purge -y -o DPkg::Lock::Timeout=300 linewarden
                RESULT_VARIABLE purged OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT purged EQUAL 0)
  message(FATAL_ERROR "apt-get could not remove the installed package (status ${purged}):\n${output}")
endif()
set(usage "Usage: linewarden --dialer=<zoom|kixie|ringcentral>\n")
if(NOT status EQUAL 1 OR NOT out STREQUAL "" OR NOT err STREQUAL usage)
  message(FATAL_ERROR "the installed linewarden answered status ${status}, stdout [${out}], stderr [${err}]")
endif()
file(REMOVE_RECURSE ${SCRATCH})
