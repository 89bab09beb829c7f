# Helpers that keep every folder's CMakeLists.txt a few lines long.

# Programs of a sanitizer build (the tests, their discovery, and the tools the build runs) start
# through PLYFORM_SANITIZER_RUN (empty in other builds), with leak detection on and undefined
# behaviour reported with its stack (it is fatal there, see plyform_warnings). Leaks that stay
# wholly inside the system's libraries are suppressed by library in lsan.supp. Mesa's driver is
# loaded from the start (after the sanitizer's runtime, which must come first): the GL context
# unloads it at exit, and what it still held would then look leaked from an unknown place.
set(PLYFORM_SANITIZER_RUN "")
if(PLYFORM_SANITIZE)
  set(PLYFORM_SANITIZER_RUN ${CMAKE_COMMAND} -E env
      "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:detect_leaks=1:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(asan_runtime "${asan_runtime}" REALPATH)
  find_file(PLYFORM_MESA_DRIVER swrast_dri.so PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib/dri
            NO_DEFAULT_PATH)
  if(EXISTS "${asan_runtime}" AND PLYFORM_MESA_DRIVER)
    list(APPEND PLYFORM_SANITIZER_RUN "LD_PRELOAD=${asan_runtime}:${PLYFORM_MESA_DRIVER}")
  endif()
endif()

function(plyform_warnings target)
  # No fused multiply-add contraction: several fast paths are held bit for bit
  # against their plain formulas, which needs one rounding per operation.
  target_compile_options(${target} PRIVATE -Wall -Wextra -ffp-contract=off)
  if(PLYFORM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(PLYFORM_SANITIZE)
    # Undefined behaviour ends the program, so a test that meets it fails even when run by hand.
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                             -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(PLYFORM_TSAN)
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()

# plyform_layer(<name> LINKS <libs...> [EXCLUDE <regex>])
# A static library of every source file in the calling folder (recursively),
# but those whose path below that folder matches EXCLUDE (an entry point, a
# build-time tool); matching below the folder keeps where the checkout lies out of it.
# Headers are included by their path from the project root: "mesh/GeomStack.h".
function(plyform_layer name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources INCLUDE REGEX "\\.(cpp|ui|qrc)$")
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  list(TRANSFORM sources PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
  if(sources)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    plyform_warnings(${name})
  else()
    # Nothing to compile yet (or headers only).
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# plyform_tests(LINKS <libs...> [GUI] [TIMEOUTS <file stem> <seconds> ...])
# One test program per *_test.cpp file in the calling folder. GUI programs get a
# QApplication (and need a display: the test script runs ctest under xvfb-run),
# the others a QCoreApplication. Each test may run 300 s unless TIMEOUTS says
# otherwise for its file.
function(plyform_tests)
  cmake_parse_arguments(ARG "GUI" "" "LINKS;EXTRA_SOURCES;TIMEOUTS" ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" folder "${folder}")
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(ARG_GUI)
    set(main plyform_test_main_gui)
  else()
    set(main plyform_test_main_core)
  endif()
  foreach(source ${test_sources})
    get_filename_component(stem ${source} NAME_WE)
    set(target ${folder}_${stem})
    add_executable(${target} ${source} ${ARG_EXTRA_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LINKS} plyform_test_support ${main})
    target_compile_definitions(${target} PRIVATE
      PLYFORM_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
    plyform_warnings(${target})
    set(timeout 300)
    list(FIND ARG_TIMEOUTS ${stem} at)
    if(at GREATER -1)
      math(EXPR at "${at} + 1")
      list(GET ARG_TIMEOUTS ${at} timeout)
    endif()
    if(PLYFORM_SANITIZER_RUN)
      # A launcher, unlike a test property, also reaches the run that lists the tests, and carries
      # several variables (gtest_discover_tests splits a property's list into separate arguments).
      set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${PLYFORM_SANITIZER_RUN}")
    endif()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES TIMEOUT ${timeout})
  endforeach()
endfunction()

# plyform_benchmark(<name> SOURCES <files...> LINKS <libs...>)
function(plyform_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark)
  plyform_warnings(${name})
endfunction()
