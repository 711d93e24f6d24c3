# The X11 desktop backend: XCB (with Composite and Damage) for windows and pixels, Tesseract for text.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-composite xcb-damage)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
# The Wayland desktop: the accessibility bus (libatspi, GDBus), sway's IPC replies (json-glib), and
# wlroots' screencopy protocol (wayland-client, code generated from the protocol's XML).
pkg_check_modules(WAYLAND_DESKTOP REQUIRED IMPORTED_TARGET atspi-2 gio-2.0 json-glib-1.0 wayland-client)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
set(SCREENCOPY_XML ${PROJECT_SOURCE_DIR}/platform/linux/wayland/protocol/wlr-screencopy-unstable-v1.xml)
set(SCREENCOPY_DIR ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${SCREENCOPY_DIR})
add_custom_command(OUTPUT ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-client-protocol.h
                   COMMAND ${WAYLAND_SCANNER} client-header ${SCREENCOPY_XML}
                           ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-client-protocol.h
                   DEPENDS ${SCREENCOPY_XML} VERBATIM)
add_custom_command(OUTPUT ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-protocol.c
                   COMMAND ${WAYLAND_SCANNER} private-code ${SCREENCOPY_XML}
                           ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-protocol.c
                   DEPENDS ${SCREENCOPY_XML} VERBATIM)
# Generated C: built apart, without the project's warnings.
enable_language(C)
add_library(wlr_screencopy_protocol STATIC ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-protocol.c)
set_target_properties(wlr_screencopy_protocol PROPERTIES LINKER_LANGUAGE C POSITION_INDEPENDENT_CODE ON)
target_link_libraries(wlr_screencopy_protocol PRIVATE PkgConfig::WAYLAND_DESKTOP)
# Tesseract runs on OpenMP; the recogniser limits it to the calling thread through its API.
find_package(OpenMP REQUIRED COMPONENTS CXX)
# The ScreenCast portal (GNOME, KDE Plasma on Wayland): sessions through libportal over GLib,
# frames through libpipewire.
pkg_check_modules(PORTAL REQUIRED IMPORTED_TARGET libportal gio-2.0)
pkg_check_modules(PIPEWIRE REQUIRED IMPORTED_TARGET libpipewire-0.3)

add_library(platform_linux STATIC
  # shared by the sessions: the session choice, application matching, pixel conversion
  ${PROJECT_SOURCE_DIR}/platform/linux/ApplicationTable.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/LinuxDesktop.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/PixelConversion.cpp
  # the text recogniser
  ${PROJECT_SOURCE_DIR}/platform/linux/ocr/ImageFile.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/ocr/LeptonicaQuiet.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/ocr/LineText.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/ocr/Preprocess.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/ocr/TesseractRecognizer.cpp
  # the ScreenCast portal's route to native Wayland windows
  ${PROJECT_SOURCE_DIR}/platform/linux/portal/ConsentToken.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/portal/FramePixels.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/portal/PipeWireStream.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/portal/PortalCapture.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/portal/PortalSession.cpp
  # the X11 desktop
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/ClientWindows.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/TextProperty.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/WindowCapture.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/X11Desktop.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/XConnection.cpp
  # the Wayland desktop
  ${PROJECT_SOURCE_DIR}/platform/linux/wayland/AccessibilityBus.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/wayland/SwayCapture.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/wayland/SwayTree.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/wayland/WaylandDesktop.cpp
  ${SCREENCOPY_DIR}/wlr-screencopy-unstable-v1-client-protocol.h)
# Public is only the entry point (platform/LinuxDesktop.h). The backend's own headers, included as
# "platform/linux/...", are private: the programs and the core never see them, the backend's tests
# add the path themselves.
target_include_directories(platform_linux
                           PUBLIC ${PROJECT_SOURCE_DIR}/platform/linux/include
                           PRIVATE ${PROJECT_SOURCE_DIR} ${SCREENCOPY_DIR})
target_link_libraries(platform_linux PUBLIC platform_api
                      PRIVATE PkgConfig::XCB PkgConfig::TESSERACT OpenMP::OpenMP_CXX PkgConfig::WAYLAND_DESKTOP
                              wlr_screencopy_protocol PkgConfig::PORTAL PkgConfig::PIPEWIRE)
