# Test plumbing shared by every build.
#  native: tests run directly.
#  win64:  tests run under wine64 in a prefix inside the build tree (tools/wine-run).
#  win32:  the static checks of the binaries run here (label "host"); every other test runs
#          under 32-bit Wine in an emulated machine (tools/lane32), all in one boot started by
#          the test "lane32". This machine runs no 32-bit process itself.
include(CTest)

option(KORVALE_LANE32 "32-bit Windows: run the tests in an emulated machine (tools/lane32)" ON)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(KORVALE_CAN_RUN ${KORVALE_LANE32})
  set(KORVALE_IN_GUEST ${KORVALE_LANE32})
else()
  set(KORVALE_CAN_RUN ON)
  set(KORVALE_IN_GUEST OFF)
endif()

if(KORVALE_IN_GUEST)
  # Made with the guest's image; each boot starts from it afresh.
  set(KORVALE_WINEPREFIX /root/wine32)
  # The tests' scripts run in the guest, whose Python is Debian's.
  set(Python3_EXECUTABLE /usr/bin/python3)
elseif(WIN32)
  set(KORVALE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()
if(WIN32)
  # add_test() prefixes target executables with this automatically.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-run ${KORVALE_WINEPREFIX})
endif()

# The page's tests run in browsers (tests/web), without GoogleTest.
if(BUILD_TESTING AND KORVALE_CAN_RUN AND NOT KORVALE_WEB)
  if(WIN32)
    # Debian ships GoogleTest's sources; build them with the cross compiler.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# korvale_add_gtest(<name> SOURCES <files...> [LIBRARIES <targets...>])
# One GoogleTest program, registered as one test; on win64 it runs under wine64.
function(korvale_add_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT KORVALE_CAN_RUN)
    return()
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock ${arg_LIBRARIES})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()

# korvale_add_display_test(<name> <target> [args...])
# A Windows program that opens windows, run on a private Xvfb display (tools/with-xvfb) in a
# prefix of its own: a Wine session started by a program without a display (any console test)
# leaves later windows in it unable to open. Such programs take turns in it.
function(korvale_add_display_test name target)
  if(NOT WIN32 OR NOT KORVALE_CAN_RUN)
    return()
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tools/with-xvfb ${CMAKE_SOURCE_DIR}/tools/wine-run
            ${KORVALE_WINEPREFIX}-display $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK korvale_display_prefix)
endfunction()
