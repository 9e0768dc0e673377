# Tests of the foundation area.
vault_test(NAME foundation_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/NodeConfig_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/VaultLog_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/FileServices_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/ConfigFile_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/GlobalSettings_test.cpp
  DEPS Shared)

# Several threads logging and reading settings while the file changes.
vault_test(NAME foundation_threads_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/tests/Concurrency_test.cpp
  DEPS Shared
  LABELS tsan)
