# Shared build conventions: one warning list for every target, sanitizers from
# VAULT_SANITIZE, helpers for libraries and tests, and the install helpers.

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
  # Source folders are include folders of the build only; an installed
  # library gets its installed headers instead (vault_install_library).
  foreach(_dir IN LISTS V_PUBLIC_INCLUDE)
    target_include_directories(${V_NAME} PUBLIC $<BUILD_INTERFACE:${_dir}>)
  endforeach()
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
  # A test that hangs fails on its own after 15 minutes, named, instead of
  # holding the whole run until an outer limit ends it without a word. The
  # longest test takes under two minutes in a sanitizer build.
  set(_properties TIMEOUT 900)
  if(V_LABELS)
    list(APPEND _properties LABELS "${V_LABELS}")
  endif()
  if(V_FIXTURES)
    list(APPEND _properties FIXTURES_REQUIRED "${V_FIXTURES}")
  endif()
  gtest_discover_tests(${V_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${_properties})
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

# ---------------------------------------------------------------------------
# Installing. `cmake --install build --prefix P` lays a prefix out as:
#   P/bin                                    programs (vault_install_program)
#   P/<libdir>/vault/lib                     the libraries (vault_install_library)
#   P/<libdir>/vault/plugins                 database plug-ins (vault_install_plugin),
#                                            where libShared looks by default
#   P/include/vault                          public headers
#   P/<libdir>/cmake/VaultMaintenance        the CMake package (find_package)
#   P/share/doc/vault-maintenance            documentation and examples
# Every installed file belongs to one of two components, which are also the two
# Debian packages: `runtime` (programs, plug-ins, shared libraries, documents)
# and `dev` (headers, static libraries, link names, the CMake package).
# Installed programs and libraries find one another through RPATHs relative to
# their own folder ($ORIGIN), so a prefix can be moved or unpacked anywhere.
# The libraries are private to the vault programs: before 1.0 every minor
# version may change their interfaces, so they live in a folder of their own
# that the dynamic linker does not search (no ldconfig, no system-wide
# sonames), found through the RPATHs alone.
include(GNUInstallDirs)
set(VAULT_INSTALL_LIBRARYDIR ${CMAKE_INSTALL_LIBDIR}/vault/lib)
set(VAULT_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/vault/plugins)
set(VAULT_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vault)
set(VAULT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VaultMaintenance)
set(VAULT_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/vault-maintenance)
set(VAULT_EXPORT_SET VaultMaintenanceTargets)

# The relative path from folder `from` to folder `to` (both relative to the
# prefix), for RPATHs and for libShared's default plug-in folder.
function(_vault_relative_folder out from to)
  file(RELATIVE_PATH _rel /prefix/${from} /prefix/${to})
  if(_rel STREQUAL "")
    set(_rel .)
  endif()
  set(${out} ${_rel} PARENT_SCOPE)
endfunction()
# libShared loads plug-ins by default from this folder, taken relative to the
# folder libShared itself was loaded from.
_vault_relative_folder(VAULT_PLUGIN_FOLDER_FROM_LIBDIR ${VAULT_INSTALL_LIBRARYDIR} ${VAULT_INSTALL_PLUGINDIR})

# The version every program reports with --version: VAULT_PACKAGE_VERSION in
# "VaultVersion.h", from target vault::Version.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/VaultVersion.h CONTENT
  "// Generated by CMake: the version of this build of the vault maintenance components.\n#pragma once\n#define VAULT_PACKAGE_VERSION \"@PROJECT_VERSION@\"\n" @ONLY)
add_library(VaultVersion INTERFACE)
add_library(vault::Version ALIAS VaultVersion)
target_include_directories(VaultVersion INTERFACE $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/generated>)

# vault_install_program(<target>...): programs into P/bin.
function(vault_install_program)
  _vault_relative_folder(_rpath ${CMAKE_INSTALL_BINDIR} ${VAULT_INSTALL_LIBRARYDIR})
  foreach(_target IN LISTS ARGN)
    set_target_properties(${_target} PROPERTIES INSTALL_RPATH "$ORIGIN/${_rpath}")
    install(TARGETS ${_target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endforeach()
endfunction()

# vault_install_plugin(<target>...): database plug-ins into the folder the
# interface manager loads them from when nothing else is configured.
function(vault_install_plugin)
  _vault_relative_folder(_rpath ${VAULT_INSTALL_PLUGINDIR} ${VAULT_INSTALL_LIBRARYDIR})
  foreach(_target IN LISTS ARGN)
    set_target_properties(${_target} PROPERTIES INSTALL_RPATH "$ORIGIN/${_rpath}")
    install(TARGETS ${_target} LIBRARY DESTINATION ${VAULT_INSTALL_PLUGINDIR} COMPONENT runtime)
  endforeach()
endfunction()

# Include folders inside the source or build tree serve the build only; the
# installed library's headers are in P/include/vault. Runs once the whole
# project is configured, so that it also covers folders added with plain
# target_include_directories after the install line.
function(_vault_build_only_includes target)
  get_target_property(_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  if(NOT _dirs)
    return()
  endif()
  set(_kept)
  foreach(_dir IN LISTS _dirs)
    set(_inside FALSE)
    if(IS_ABSOLUTE "${_dir}")
      cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${_dir}" NORMALIZE _in_source)
      cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${_dir}" NORMALIZE _in_build)
      if(_in_source OR _in_build)
        set(_inside TRUE)
      endif()
    endif()
    if(_inside)
      list(APPEND _kept "$<BUILD_INTERFACE:${_dir}>")
    else()
      list(APPEND _kept "${_dir}")
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${_kept}")
endfunction()

# vault_install_library(<target> [HEADERS <folder>...]): a library other
# maintenance tools link against, as vault::<target> of
# find_package(VaultMaintenance). Every header under each HEADERS folder
# (relative to the current source folder) goes to P/include/vault with its
# subfolders; a shared library gets a version and an soname (lib<target>.so.0.1
# in the runtime package, the lib<target>.so link name in the dev package).
# Every library it links publicly must be installed this way too.
function(vault_install_library target)
  cmake_parse_arguments(V "" "" "HEADERS" ${ARGN})
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "SHARED_LIBRARY")
    # Before 1.0 a minor version may change the interfaces, so it is part of
    # the soname.
    set(_soversion ${PROJECT_VERSION_MAJOR})
    if(PROJECT_VERSION_MAJOR EQUAL 0)
      set(_soversion ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
    endif()
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${_soversion} INSTALL_RPATH "$ORIGIN")
  endif()
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${VAULT_INSTALL_INCLUDEDIR}>)
  # A deferred call expands its arguments when it runs: pass the name as text.
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL _vault_build_only_includes [[${target}]])")
  install(TARGETS ${target} EXPORT ${VAULT_EXPORT_SET}
    LIBRARY DESTINATION ${VAULT_INSTALL_LIBRARYDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${VAULT_INSTALL_LIBRARYDIR} COMPONENT dev)
  foreach(_dir IN LISTS V_HEADERS)
    install(DIRECTORY ${_dir}/ DESTINATION ${VAULT_INSTALL_INCLUDEDIR} COMPONENT dev
      FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
  endforeach()
endfunction()

# vault_install_docs(<file>... [DESTINATION <subfolder>]): documents into
# P/share/doc/vault-maintenance (or a subfolder of it), in the runtime package.
function(vault_install_docs)
  cmake_parse_arguments(V "" "DESTINATION" "" ${ARGN})
  set(_dest ${VAULT_INSTALL_DOCDIR})
  if(V_DESTINATION)
    set(_dest ${_dest}/${V_DESTINATION})
  endif()
  install(FILES ${V_UNPARSED_ARGUMENTS} DESTINATION ${_dest} COMPONENT runtime)
endfunction()
