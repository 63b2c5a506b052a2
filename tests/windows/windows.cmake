# The tests of the Windows build, included by tests/CMakeLists.txt in a cross
# build: GoogleTest is compiled from its sources with the cross compiler, and
# the unit tests and the end-to-end cases run the Windows binaries under Wine.

set(TARVO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the cross compiler")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARVO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TARVO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# Every unit test: those of the POSIX side only are left out by the
# preprocessor, tests/windows/platform_windows_test.cpp holds the Windows side.
file(GLOB_RECURSE TARVO_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)

add_executable(tarvo_tests ${TARVO_UNIT_TESTS})
target_link_libraries(tarvo_tests PRIVATE tarvo_core GTest::gtest GTest::gtest_main)
target_include_directories(tarvo_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

# Every Wine process of one build shares one prefix (made on first use).
set(TARVO_WINE_ENVIRONMENT
  WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all LC_ALL=C.UTF-8)

# One Wine process for all unit tests: starting one per test would cost a
# third of a second each.
add_test(NAME unit_windows COMMAND ${TARVO_WINE} $<TARGET_FILE:tarvo_tests> --gtest_brief=1)
# The shared end-to-end cases, each with its Windows console text where it
# differs, then the cases that only Windows has (attributes, drive and stream names).
add_test(NAME golden_windows
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/golden/run_golden.py
                 --windows --wrapper ${TARVO_WINE}
                 --binary $<TARGET_FILE:tarvo> ${CMAKE_CURRENT_SOURCE_DIR}/golden/cases)
add_test(NAME golden_windows_only
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/golden/run_golden.py
                 --windows --wrapper ${TARVO_WINE}
                 --binary $<TARGET_FILE:tarvo> ${CMAKE_CURRENT_SOURCE_DIR}/windows/cases)
set_tests_properties(unit_windows golden_windows golden_windows_only PROPERTIES
  ENVIRONMENT "${TARVO_WINE_ENVIRONMENT}" TIMEOUT 900)
