# Tests of the maintenance services: sessions, task naming, task settings, the
# job queue (with second processes and kills), and index files.
vault_test(NAME services_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests/VaultCommandSession_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests/LocalSettings_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests/JobSubmission_test.cpp
  DEPS Shared)
target_include_directories(services_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests)

# The session and the task settings used by several threads at once.
vault_test(NAME services_threads_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests/ServicesThreads_test.cpp
  DEPS Shared
  LABELS tsan)
target_include_directories(services_threads_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/services/tests)
