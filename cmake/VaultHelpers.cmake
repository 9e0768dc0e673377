# Shared build conventions: one warning list for every target, sanitizers from
# VAULT_SANITIZE, and helpers for libraries and tests.

set(VAULT_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)

if(VAULT_SANITIZE)
  string(REPLACE ";" "," _vault_san "${VAULT_SANITIZE}")
  add_compile_options(-fsanitize=${_vault_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_vault_san})
endif()

# vault_library(NAME <name> [SHARED|STATIC] SOURCES ... [PUBLIC_INCLUDE dir...] [DEPS ...] [PRIVATE_DEPS ...])
function(vault_library)
  cmake_parse_arguments(V "SHARED;STATIC" "NAME" "PUBLIC_INCLUDE;SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  set(_kind STATIC)
  if(V_SHARED)
    set(_kind SHARED)
  endif()
  add_library(${V_NAME} ${_kind} ${V_SOURCES})
  add_library(vault::${V_NAME} ALIAS ${V_NAME})
  target_compile_options(${V_NAME} PRIVATE ${VAULT_WARNINGS})
  if(V_PUBLIC_INCLUDE)
    target_include_directories(${V_NAME} PUBLIC ${V_PUBLIC_INCLUDE})
  endif()
  target_link_libraries(${V_NAME} PUBLIC ${V_DEPS} PRIVATE ${V_PRIVATE_DEPS})
endfunction()

# The folder of the throw-away PostgreSQL server that the CTest fixture
# pg_server runs for the tests (plugins/sqlcatalogue/tests/pg-test-server.sh):
# short, since it holds the server's socket, and one per build folder.
string(MD5 _vault_build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_vault_build_hash}" 0 12 _vault_build_hash)
set(VAULT_PG_TEST_DIR "/tmp/vault-pgtest-${_vault_build_hash}")

# vault_test(NAME <name> SOURCES ... DEPS ... [LABELS ...] [FIXTURES ...])
# One GoogleTest program per call, registered with CTest test by test.
# FIXTURES names CTest fixtures every test of the program needs (pg_server).
function(vault_test)
  cmake_parse_arguments(V "" "NAME" "SOURCES;DEPS;LABELS;FIXTURES" ${ARGN})
  add_executable(${V_NAME} ${V_SOURCES})
  target_compile_options(${V_NAME} PRIVATE ${VAULT_WARNINGS})
  target_link_libraries(${V_NAME} PRIVATE ${V_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  include(GoogleTest)
  # The environment reaches each test through a launcher (`cmake -E env`):
  # a list-valued ENVIRONMENT property does not survive test discovery.
  set_target_properties(${V_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;VAULT_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VAULT_PLUGIN_DIR=${CMAKE_BINARY_DIR}/lib;VAULT_PG_TEST_DIR=${VAULT_PG_TEST_DIR}")
  # An empty property value would swallow the next property name.
  set(_properties)
  if(V_LABELS)
    list(APPEND _properties LABELS "${V_LABELS}")
  endif()
  if(V_FIXTURES)
    list(APPEND _properties FIXTURES_REQUIRED "${V_FIXTURES}")
  endif()
  if(_properties)
    gtest_discover_tests(${V_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${_properties})
  else()
    gtest_discover_tests(${V_NAME} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# vault_fuzzer(NAME <name> SOURCES ... DEPS ...): a libFuzzer target (clang only).
function(vault_fuzzer)
  cmake_parse_arguments(V "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_executable(${V_NAME} ${V_SOURCES})
  target_compile_options(${V_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${V_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${V_NAME} PRIVATE ${V_DEPS})
endfunction()

# vault_add_subfolders(): adds every direct subfolder that has a CMakeLists.txt,
# in name order (plug-ins, tools, benchmarks and fuzzers, one folder each).
function(vault_add_subfolders)
  file(GLOB _subdirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _subdirs)
  foreach(_d IN LISTS _subdirs)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_d} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_d}/CMakeLists.txt)
      add_subdirectory(${_d})
    endif()
  endforeach()
endfunction()
