# The X11 desktop backend: XCB (with Composite and Damage) for windows and pixels, Tesseract for text.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-composite xcb-damage)
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
# Tesseract runs on OpenMP; the recogniser limits it to the calling thread through its API.
find_package(OpenMP REQUIRED COMPONENTS CXX)

file(GLOB PLATFORM_LINUX_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/linux/*.cpp)
add_library(platform_linux STATIC ${PLATFORM_LINUX_SOURCES})
# Public: the backend's own headers are included as "platform/linux/..." by its tests.
target_include_directories(platform_linux PUBLIC ${PROJECT_SOURCE_DIR}/platform/include ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_linux PUBLIC platform_api PkgConfig::XCB
                      PRIVATE PkgConfig::TESSERACT OpenMP::OpenMP_CXX)
