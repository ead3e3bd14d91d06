# qb_library(<name> <folder> [DEPS <targets>...] [PRIVATE_DEPS <targets>...])
# One static library per source folder; every .cc in the folder (and its
# subfolders) belongs to it, so adding a file needs no CMake change. Each
# library joins the installed package (export set QuillborneTargets); inside
# the build it sees src/ and include/, once installed only the public headers.
function(qb_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${folder}/*.cc")
  set(includes
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
      $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(NOT srcs)
    # A folder with no code yet still gives a target, so dependents link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${includes})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  else()
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${includes})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  endif()
  install(TARGETS ${name} EXPORT QuillborneTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# qb_test(<folder> [DEPS <targets>...])
# One GoogleTest binary per folder under tests/, registered with ctest and
# labelled with the folder name.
function(qb_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/${folder}/*.cc")
  if(NOT srcs)
    return()
  endif()
  set(bin test_${folder})
  add_executable(${bin} ${srcs})
  target_link_libraries(${bin} PRIVATE ${ARG_DEPS} qb_test_support qb_test_main GTest::gtest GTest::gmock)
  qb_test_precompiled_headers(${bin})
  if(QB_UNITY_TESTS)
    # A few files per compiler run: the test headers and the templates they
    # instantiate are compiled a handful of times per folder, not once per file.
    set_target_properties(${bin} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
  add_test(NAME ${folder} COMMAND ${bin} --gtest_brief=1)
  set_tests_properties(${folder} PROPERTIES LABELS ${folder} TIMEOUT 600)
  qb_sanitizer_environment(${folder})
endfunction()

# The headers nearly every test parses (GoogleTest, GoogleMock, the JSON
# library): compiled once per build instead of once per test file. The first
# test program builds them, the others reuse its result.
function(qb_test_precompiled_headers target)
  get_property(first GLOBAL PROPERTY QB_TEST_PCH_TARGET)
  if(first)
    target_precompile_headers(${target} REUSE_FROM ${first})
  else()
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <nlohmann/json.hpp>)
    set_property(GLOBAL PROPERTY QB_TEST_PCH_TARGET ${target})
  endif()
endfunction()

# qb_sanitizer_environment(<test>...): the sanitizer options every test
# program of a sanitizer build runs with.
function(qb_sanitizer_environment)
  if(QB_SANITIZE STREQUAL "thread")
    set(tsan "halt_on_error=1 second_deadlock_stack=1 suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp")
    # JavaScriptCore's concurrent collector stops the threads that used the
    # engine with a signal and waits for each to answer. Under the thread
    # sanitizer that hand-shake now and then never completes (about one run
    # in twenty of the platform tests hung in the engine's heap access).
    # Without the concurrent collector the engine collects on the thread
    # that runs the script.
    set_tests_properties(${ARGN} PROPERTIES ENVIRONMENT "TSAN_OPTIONS=${tsan};JSC_useConcurrentGC=0")
  elseif(QB_SANITIZE STREQUAL "address")
    set(ubsan "print_stacktrace=1 suppressions=${PROJECT_SOURCE_DIR}/tests/ubsan.supp")
    set_tests_properties(${ARGN} PROPERTIES ENVIRONMENT "UBSAN_OPTIONS=${ubsan}")
  endif()
endfunction()

# qb_fuzz(<name> <source> [DEPS <targets>...])
# A libFuzzer target fuzz_<name> (QB_BUILD_FUZZ builds only). Its seed corpus
# is fuzz/corpus/<name>/ and its dictionary, when there is one,
# fuzz/dict/<name>.dict. ctest replays the corpus once (label "fuzz");
# scripts/fuzz.sh runs every target listed in <build>/fuzz/targets.txt.
function(qb_fuzz name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  set(bin fuzz_${name})
  add_executable(${bin} ${source})
  target_link_libraries(${bin} PRIVATE ${ARG_DEPS} qb_fuzz_support)
  target_link_options(${bin} PRIVATE -fsanitize=fuzzer)
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "qb_fuzz(${name}): no seed corpus folder ${corpus}")
  endif()
  add_test(NAME ${bin} COMMAND ${bin} -runs=0 ${corpus})
  set_tests_properties(${bin} PROPERTIES LABELS fuzz TIMEOUT 600)
  qb_sanitizer_environment(${bin})
  set_property(GLOBAL APPEND PROPERTY QB_FUZZ_TARGETS ${name})
endfunction()
