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

# Helper for one GoogleTest program per module. The shared test entry fixes the time zone (UTC)
# and the Qt platform (offscreen). Tests find the source tree through VIDORA_SOURCE_DIR (a
# compile definition) and write below the build tree or temporary folders.
add_library(vidora_test_main STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/test_main.cpp)
target_link_libraries(vidora_test_main PUBLIC GTest::gtest GTest::gmock)

function(vidora_add_test name)
    cmake_parse_arguments(ARG "" "LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vidora_test_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE
        VIDORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VIDORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
    # One label per program (a list would not survive the discovery script): "threads" marks
    # the programs that the ThreadSanitizer build runs.
    list(LENGTH ARG_LABELS label_count)
    if(label_count GREATER 1)
        message(FATAL_ERROR "vidora_add_test(${name}): give at most one label")
    endif()
    # LOCK names a resource that the program's tests never share with other tests at once (the
    # programs' single-instance guard, for tests that start vidora-demo).
    if(ARG_LOCK)
        set(properties RESOURCE_LOCK ${ARG_LOCK})
        if(ARG_LABELS)
            list(APPEND properties LABELS ${ARG_LABELS})
        endif()
        gtest_discover_tests(${name}
            DISCOVERY_TIMEOUT 60
            PROPERTIES ${properties})
    else()
        gtest_discover_tests(${name}
            DISCOVERY_TIMEOUT 60
            PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
