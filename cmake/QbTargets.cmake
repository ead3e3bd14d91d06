# qb_library(<name> <folder> [DEPS <targets>...])
# One static library per source folder; every .cc in the folder (and its
# subfolders) belongs to it, so adding a file needs no CMake change.
function(qb_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${folder}/*.cc")
  if(NOT srcs)
    # A folder with no code yet still gives a target, so dependents link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
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
  target_link_libraries(${bin} PRIVATE ${ARG_DEPS} qb_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${folder} COMMAND ${bin} --gtest_brief=1)
  set_tests_properties(${folder} PROPERTIES LABELS ${folder} TIMEOUT 600)
endfunction()
