# The X11 desktop backend: XCB for windows and pixels, Tesseract for text.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-composite xcb-shm xcb-ewmh xcb-icccm)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)

file(GLOB PLATFORM_LINUX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/linux/*.cpp)
add_library(platform_linux STATIC ${PLATFORM_LINUX_SOURCES})
target_include_directories(platform_linux PUBLIC ${PROJECT_SOURCE_DIR}/platform/include)
target_link_libraries(platform_linux PUBLIC platform_api PRIVATE PkgConfig::XCB PkgConfig::TESSERACT)
