# Helpers that declare every library, program, test, benchmark and fuzz target the same way.

set(SALVORA_WARNINGS -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(SALVORA_WARNINGS -Wall -Wextra -Wshadow-uncaptured-local -Wnon-virtual-dtor -Wno-missing-field-initializers)
endif()
if(SALVORA_WERROR)
  list(APPEND SALVORA_WARNINGS -Werror)
endif()

if(SALVORA_SANITIZE)
  string(REPLACE "," ";" _san_list "${SALVORA_SANITIZE}")
  set(_san_flags -fsanitize=${SALVORA_SANITIZE} -fno-omit-frame-pointer)
  if("undefined" IN_LIST _san_list)
    list(APPEND _san_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_san_flags})
  add_link_options(${_san_flags})
endif()

function(_salvora_common target)
  target_compile_options(${target} PRIVATE ${SALVORA_WARNINGS})
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# salvora_library(name SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
# Declares salvora_<name> with the alias salvora::<name>; headers are included as "<name>/x.h"
# relative to src/.
function(salvora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(salvora_${name} STATIC ${ARG_SOURCES})
  add_library(salvora::${name} ALIAS salvora_${name})
  target_include_directories(salvora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(salvora_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  _salvora_common(salvora_${name})
endfunction()

# salvora_program(name SOURCES ... [DEPS ...]): a program built into bin/.
function(salvora_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  _salvora_common(${name})
endfunction()

# salvora_test(name SOURCES ... [DEPS ...]): a GoogleTest program registered with CTest.
# Tests find the real fixtures through SALVORA_FIXTURES_DIR and the build's bin/ folder
# through SALVORA_BIN_DIR.
function(salvora_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    SALVORA_FIXTURES_DIR="${SALVORA_FIXTURES_DIR}"
    SALVORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    SALVORA_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SALVORA_TEST_OUTPUT_DIR})
  _salvora_common(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES LABELS ${name})
endfunction()

# salvora_bench(name SOURCES ... [DEPS ...]): a program in bin/bench/ that prints figures.
function(salvora_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/bench)
  _salvora_common(${name})
endfunction()

# salvora_fuzz(name SOURCES ... [DEPS ...]): a fuzz entry point (LLVMFuzzerTestOneInput).
# With SALVORA_FUZZ it is a libFuzzer program; otherwise it links a small driver that runs
# the entry point over every file of fuzz/corpus/<name>/, registered as a test.
function(salvora_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  _salvora_common(${name})
  if(SALVORA_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_link_libraries(${name} PRIVATE salvora_fuzz_driver)
    add_test(NAME fuzz_corpus.${name}
             COMMAND ${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(fuzz_corpus.${name} PROPERTIES LABELS fuzz)
  endif()
endfunction()
