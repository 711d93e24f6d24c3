# The X11 desktop backend: XCB (with Composite and Damage) for windows and pixels, Tesseract for text.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-composite xcb-damage)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
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
  ${PROJECT_SOURCE_DIR}/platform/linux/x11/XConnection.cpp)
# Public is only the entry point (platform/LinuxDesktop.h). The backend's own headers, included as
# "platform/linux/...", are private: the programs and the core never see them, the backend's tests
# add the path themselves.
target_include_directories(platform_linux
                           PUBLIC ${PROJECT_SOURCE_DIR}/platform/linux/include
                           PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_linux PUBLIC platform_api
                      PRIVATE PkgConfig::XCB PkgConfig::TESSERACT OpenMP::OpenMP_CXX PkgConfig::PORTAL PkgConfig::PIPEWIRE)
