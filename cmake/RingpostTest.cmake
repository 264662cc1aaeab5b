# ringpost_add_test(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l] [PROPERTIES p v ...])
# Test programs live outside the home directory so an installed tree stays clean.
function(ringpost_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                                            BUILD_RPATH "${RINGPOST_HOME_DIR}")
  # Where the built home directory and the sources are, for tests that run deliverables.
  target_compile_definitions(${name} PRIVATE RINGPOST_HOME_DIR="${RINGPOST_HOME_DIR}/"
                                             RINGPOST_SOURCE_DIR="${CMAKE_SOURCE_DIR}/")
  set(props "")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("threads" IN_LIST T_LABELS)
    add_dependencies(threaded_tests ${name})
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props} ${T_PROPERTIES})
endfunction()
