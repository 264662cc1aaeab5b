# ringpost_add_fuzzer(NAME SOURCES a.cpp ... LIBS x ... CORPUS dir ...)
#
# A fuzz target is a source file defining LLVMFuzzerTestOneInput. Every build
# gets the test NAME_replay, which feeds the target every saved input below
# the CORPUS folders (the first one holds the target's own seeds and, in its
# `regressions` folder, the inputs that once made it fail). A build configured
# with RINGPOST_FUZZ=ON (clang only) also gets the libFuzzer program
# NAME_fuzzer; scripts/fuzz runs each such program for a while from the same
# folders. The list of fuzzers is written to fuzzers.txt in the build tree.
function(ringpost_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT F_CORPUS)
    message(FATAL_ERROR "ringpost_add_fuzzer(${name}): CORPUS is required")
  endif()
  list(GET F_CORPUS 0 seeds)

  add_executable(${name}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/FuzzReplay.cpp)
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  target_include_directories(${name}_replay PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                                                  BUILD_RPATH "${RINGPOST_HOME_DIR}")
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_CORPUS} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})

  if(RINGPOST_FUZZ)
    add_executable(${name}_fuzzer ${F_SOURCES})
    target_link_libraries(${name}_fuzzer PRIVATE ${F_LIBS})
    target_include_directories(${name}_fuzzer PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name}_fuzzer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers
                                                    BUILD_RPATH "${RINGPOST_HOME_DIR}")
    add_dependencies(fuzzers ${name}_fuzzer)
    string(JOIN " " dirs ${F_CORPUS})
    file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt "${name} ${seeds} ${dirs}\n")
  endif()
endfunction()
