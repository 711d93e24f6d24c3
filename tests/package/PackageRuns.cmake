# Makes the Debian package of this build, unpacks it into a scratch folder and runs the packaged
# linewarden without arguments: it must write its usage line on standard error, nothing on standard
# output, and exit with 1. The package must also hold tabroster, linewarden-inspect and their manual
# pages, and Depends on zlib, which linewarden-inspect writes its pictures with.
# Usage: cmake -DCPACK_CONFIG=<CPackConfig.cmake> -DSCRATCH=<folder> -P PackageRuns.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND cpack -G DEB --config ${CPACK_CONFIG} -B ${SCRATCH}/out
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB packages ${SCRATCH}/out/*.deb)
if(NOT status EQUAL 0 OR NOT packages)
  message(FATAL_ERROR "cpack made no package (status ${status}):\n${output}")
endif()
execute_process(COMMAND dpkg-deb -x ${packages} ${SCRATCH}/root RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb could not unpack ${packages}")
endif()
foreach(file usr/bin/linewarden usr/bin/tabroster usr/bin/linewarden-inspect usr/share/man/man1/linewarden.1.gz
             usr/share/man/man1/tabroster.1.gz usr/share/man/man1/linewarden-inspect.1.gz)
  if(NOT EXISTS ${SCRATCH}/root/${file})
    message(FATAL_ERROR "the package lacks /${file}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -f ${packages} Depends OUTPUT_VARIABLE depends)
if(NOT depends MATCHES "zlib1g")
  message(FATAL_ERROR "the package does not depend on zlib1g: ${depends}")
endif()
execute_process(COMMAND ${SCRATCH}/root/usr/bin/linewarden
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(usage "Usage: linewarden --dialer=<zoom|kixie|ringcentral>\n")
if(NOT status EQUAL 1 OR NOT out STREQUAL "" OR NOT err STREQUAL usage)
  message(FATAL_ERROR "the packaged linewarden answered status ${status}, stdout [${out}], stderr [${err}]")
endif()
file(REMOVE_RECURSE ${SCRATCH})
