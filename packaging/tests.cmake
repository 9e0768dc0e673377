# Tests of an installed prefix. `cmake --install` of this build folder into
# test-install/ is the fixture; the installed programs scan a demo vault, and
# a program outside the tree builds against the prefix with find_package.
set(_prefix ${CMAKE_BINARY_DIR}/test-install)
add_test(NAME install_into_prefix
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${_prefix} -P ${CMAKE_CURRENT_SOURCE_DIR}/tests/install_into_prefix.cmake)
add_test(NAME install_remove_prefix COMMAND ${CMAKE_COMMAND} -E rm -rf ${_prefix})
set_tests_properties(install_into_prefix PROPERTIES FIXTURES_SETUP vault_install LABELS install)
set_tests_properties(install_remove_prefix PROPERTIES FIXTURES_CLEANUP vault_install LABELS install)

add_test(NAME install_scan_test COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/installed_scan_test.sh ${_prefix})

# The consumer is built with this build's compiler and, under sanitizers, with
# the same sanitizers (the installed libraries need their run-time).
set(_consumer_args -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER})
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND _consumer_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()
if(VAULT_SANITIZE)
  string(REPLACE ";" "," _san "${VAULT_SANITIZE}")
  list(APPEND _consumer_args "-DCMAKE_CXX_FLAGS=-fsanitize=${_san}")
endif()
add_test(NAME install_find_package_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/find_package_test.sh ${_prefix} ${_consumer_args})
set_tests_properties(install_scan_test install_find_package_test PROPERTIES
  FIXTURES_REQUIRED vault_install LABELS install TIMEOUT 300)

# The manual pages against the programs' --help (and groff's warnings).
add_test(NAME manual_pages_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/manual_pages_test.sh ${CMAKE_SOURCE_DIR}/docs/man ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(manual_pages_test PROPERTIES LABELS install TIMEOUT 120)

# The README's walkthroughs, run as a reader would paste them. It compares
# everything the programs print, so it runs in the plain build only: there a
# sanitizer's report would be a difference of the text, not of the README.
if(NOT VAULT_SANITIZE)
  add_test(NAME readme_walkthrough_test
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/readme_walkthrough_test.sh ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR})
  set_tests_properties(readme_walkthrough_test PROPERTIES LABELS docs TIMEOUT 300)
endif()

# The node configuration's keys: documents, example and manual page agree.
add_test(NAME node_conf_keys_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/node_conf_keys_test.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(node_conf_keys_test PROPERTIES LABELS docs TIMEOUT 120)

# .ci/install-packages.sh as root, with sudo and without it (stand-ins for
# apt-get and sudo; needs root, else skipped).
add_test(NAME install_packages_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/install_packages_test.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(install_packages_test PROPERTIES LABELS ci SKIP_RETURN_CODE 77 TIMEOUT 120)
