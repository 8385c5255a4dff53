# Imported targets for every library we build on.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
pkg_check_modules(GST REQUIRED IMPORTED_TARGET
    gstreamer-1.0 gstreamer-base-1.0 gstreamer-app-1.0 gstreamer-audio-1.0 gstreamer-video-1.0)
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)
find_package(JPEG REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)

find_path(XVID_INCLUDE_DIR xvid.h REQUIRED)
find_library(XVID_LIBRARY xvidcore REQUIRED)
if(NOT TARGET Xvid::xvidcore)
    add_library(Xvid::xvidcore UNKNOWN IMPORTED)
    set_target_properties(Xvid::xvidcore PROPERTIES
        IMPORTED_LOCATION ${XVID_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${XVID_INCLUDE_DIR})
endif()

# Helper for one GoogleTest program per module.
function(vidora_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${ARG_LABELS}"
                   ENVIRONMENT "TZ=UTC;QT_QPA_PLATFORM=offscreen;VIDORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
