# Fails when a source of the core (linewarden/, tabroster/, inspect/, the platform interface) includes a
# backend's header or a system library only a backend may use. The programs' entry points
# (main.cpp) open the backend and are not part of the core.
# Usage: cmake -DROOT=<source dir> -P CheckCoreIncludes.cmake
file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/linewarden/*.h ${ROOT}/linewarden/*.cpp
     ${ROOT}/tabroster/*.h ${ROOT}/tabroster/*.cpp
     ${ROOT}/inspect/*.h ${ROOT}/inspect/*.cpp
     ${ROOT}/platform/include/*.h ${ROOT}/platform/core/*.cpp)
list(FILTER sources EXCLUDE REGEX "(^|/)main\\.cpp$")
set(forbidden
    "#[ \t]*include[ \t]*[<\"](platform/linux/|platform/scripted/|platform/LinuxDesktop\\.h|platform/ScriptedDesktop\\.h|xcb/|tesseract/|leptonica/|allheaders\\.h|X11/|Cocoa/|ApplicationServices/)")
set(offences "")
foreach(source ${sources})
  file(STRINGS ${ROOT}/${source} lines REGEX "${forbidden}")
  foreach(line ${lines})
    string(APPEND offences "  ${source}: ${line}\n")
  endforeach()
endforeach()
list(LENGTH sources count)
if(offences)
  message(FATAL_ERROR "the core includes backend headers:\n${offences}")
endif()
message(STATUS "${count} core sources, none includes a backend header")
