# Shared build rules for every target of the project.

if(WIN32)
  enable_language(RC)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                          _WIN32_WINNT=0x0A00 WINVER=0x0A00)
endif()

if(DUZAVIDE_SANITIZE)
  # Optimised as the sanitizers advise: unoptimised code under AddressSanitizer
  # runs the fuzz targets several times slower and finds nothing more.
  add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds each listed subdirectory that has a CMakeLists.txt.
function(duzavide_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# delayed_<name>: links the program to DLL through a delay-load import library,
# so DLL leaves the program's import table and is loaded at the first call to it
# (base/delay_load_hook.h says from where). The library is made from
# IMPORT_LIBRARY, the ordinary one (a file, or a target's import library built
# first: DEPENDS). The libraries the system does not always take from its own
# folder (its "known DLLs") are linked this way, and so is the engine, so that
# nothing is loaded from the executable's folder before the folder is checked.
if(WIN32)
  find_program(DUZAVIDE_NM NAMES x86_64-w64-mingw32-nm REQUIRED)
  find_program(DUZAVIDE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
endif()
function(duzavide_delay_import name)
  cmake_parse_arguments(ARG "" "DLL;IMPORT_LIBRARY;DEPENDS" "" ${ARGN})
  if(TARGET delayed_${name})
    return()
  endif()
  if(NOT ARG_IMPORT_LIBRARY)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${name}.a
                    OUTPUT_VARIABLE ARG_IMPORT_LIBRARY OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(output ${CMAKE_BINARY_DIR}/delay_import/lib${name}_delayed.a)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DNM=${DUZAVIDE_NM} -DDLLTOOL=${DUZAVIDE_DLLTOOL}
            -DIMPORT_LIBRARY=${ARG_IMPORT_LIBRARY} -DDLL=${ARG_DLL} -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/delay-import-library.cmake
    DEPENDS ${ARG_IMPORT_LIBRARY} ${ARG_DEPENDS} ${PROJECT_SOURCE_DIR}/cmake/delay-import-library.cmake
    COMMENT "Delay-load import library for ${ARG_DLL}"
    VERBATIM)
  add_custom_target(delayed_${name}_library DEPENDS ${output})
  add_library(delayed_${name} INTERFACE)
  target_link_libraries(delayed_${name} INTERFACE ${output})
  add_dependencies(delayed_${name} delayed_${name}_library)
endfunction()
if(WIN32)
  duzavide_delay_import(dwmapi DLL dwmapi.dll)
  duzavide_delay_import(fwpuclnt DLL fwpuclnt.dll)
  duzavide_delay_import(iphlpapi DLL IPHLPAPI.DLL)
  duzavide_delay_import(wininet DLL WININET.dll)
endif()

# Our own targets compile warning-free.
function(duzavide_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# GoogleTest from the distribution's sources, built with this build's flags.
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
include(GoogleTest)

# Test-only JSON parser. The cross compiler must not see the host's /usr/include,
# so its single folder is copied into the build tree.
if(NOT TARGET nlohmann_json_test_only)
  file(COPY /usr/include/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/test_only_include)
  add_library(nlohmann_json_test_only INTERFACE)
  target_include_directories(nlohmann_json_test_only SYSTEM INTERFACE
                             ${CMAKE_BINARY_DIR}/test_only_include)
endif()

# Every Windows test program refuses to run outside Wine unless told that it may
# change the machine it runs on (tests/support/test_machine_guard.cpp).
if(WIN32 AND NOT TARGET duzavide_test_machine_guard)
  add_library(duzavide_test_machine_guard OBJECT
              ${PROJECT_SOURCE_DIR}/tests/support/test_machine_guard.cpp)
  duzavide_strict_warnings(duzavide_test_machine_guard)
endif()

# duzavide_add_gtest(NAME name SOURCES ... LIBRARIES ...)
# One GoogleTest executable, registered with CTest test by test. Under the Windows
# build CTest runs it through Wine (the crosscompiling emulator).
function(duzavide_add_gtest)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_libraries(${ARG_NAME} PRIVATE duzavide_test_machine_guard)
  endif()
  duzavide_strict_warnings(${ARG_NAME})
  gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# How the code a fuzz target runs is compiled: coverage feedback for libFuzzer
# (the JSON library the configuration target uses only to check results is left
# out), and a failed undefined-behaviour check ends in a trap that libFuzzer
# reports with its stack and saves the input for. The checks stay the same; the
# trap leaves out the runtime's report calls, whose branches would otherwise
# triple the edges libFuzzer tracks on every input.
set(DUZAVIDE_FUZZ_COMPILE_OPTIONS -fsanitize=fuzzer-no-link -fsanitize-trap=undefined
    -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/coverage_ignorelist.txt)

# A copy of `library` built for the fuzz targets (named <library>_fuzzed), so
# the unit tests keep the library as it ships and the sanitizers' full reports.
function(duzavide_fuzzed_copy library)
  if(TARGET ${library}_fuzzed)
    return()
  endif()
  get_target_property(sources ${library} SOURCES)
  get_target_property(source_dir ${library} SOURCE_DIR)
  list(TRANSFORM sources PREPEND ${source_dir}/ REGEX "^[^/]")
  add_library(${library}_fuzzed STATIC EXCLUDE_FROM_ALL ${sources})
  target_include_directories(${library}_fuzzed
      PUBLIC $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
  target_link_libraries(${library}_fuzzed
      PUBLIC $<TARGET_PROPERTY:${library},INTERFACE_LINK_LIBRARIES>)
  target_compile_options(${library}_fuzzed PRIVATE ${DUZAVIDE_FUZZ_COMPILE_OPTIONS})
  duzavide_strict_warnings(${library}_fuzzed)
endfunction()

# duzavide_add_fuzzer(NAME name SOURCES ... LIBRARIES ... [COVERED ...])
# A libFuzzer target (sanitizer build only) plus its bounded smoke run as a CTest
# test. Coverage feedback is compiled into the target's own sources and into
# fuzz copies of the COVERED libraries (the code under test) only, so test
# helpers and checking code do not steer the fuzzer or slow it. Seeds come from
# fuzz/corpus/<name>; new inputs go to the build tree.
function(duzavide_add_fuzzer)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBRARIES;COVERED" ${ARGN})
  if(NOT DUZAVIDE_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/sanitizer_defaults.cpp)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES})
  foreach(library IN LISTS ARG_COVERED)
    duzavide_fuzzed_copy(${library})
    target_link_libraries(${ARG_NAME} PRIVATE ${library}_fuzzed)
  endforeach()
  target_compile_options(${ARG_NAME} PRIVATE ${DUZAVIDE_FUZZ_COMPILE_OPTIONS})
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  duzavide_strict_warnings(${ARG_NAME})
  set(work_corpus ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_corpus)
  file(MAKE_DIRECTORY ${work_corpus})
  add_test(NAME fuzz_smoke.${ARG_NAME}
           COMMAND ${ARG_NAME} -max_total_time=20 -rss_limit_mb=512 -timeout=10
                   -purge_allocator_interval=-1
                   -print_final_stats=1 ${work_corpus}
                   ${PROJECT_SOURCE_DIR}/fuzz/corpus/${ARG_NAME})
  set_tests_properties(fuzz_smoke.${ARG_NAME} PROPERTIES TIMEOUT 120)
endfunction()
