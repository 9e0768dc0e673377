# The file layer's test double: a wrapper of the real file system that fails
# chosen calls. Tests of every component link it to test their fault paths.
add_library(VaultFilesTesting STATIC ${CMAKE_CURRENT_SOURCE_DIR}/testing/FaultInjectingFileSystem.cpp)
target_compile_options(VaultFilesTesting PRIVATE ${VAULT_WARNINGS})
target_include_directories(VaultFilesTesting PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/testing)
target_link_libraries(VaultFilesTesting PUBLIC Shared)

# Tests of the file layer: real files, links, FIFOs and injected faults.
vault_test(NAME vault_files_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/files/tests/VaultFiles_test.cpp
  DEPS Shared VaultFilesTesting)

# The announcer's thread: descriptors it holds, a fork while it works.
vault_test(NAME announcer_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/files/tests/Announcer_test.cpp
  DEPS Shared
  LABELS tsan)
