# tests of the storage area
vault_test(NAME shared_storage_test
  SOURCES
    src/storage/tests/crc32c_test.cpp
    src/storage/tests/synch_files_test.cpp
    src/storage/tests/vsynchset_test.cpp
    src/storage/tests/index_file_test.cpp
  DEPS Shared)
target_include_directories(shared_storage_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/storage/tests)
