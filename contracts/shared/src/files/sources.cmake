# Sources of the file layer (VaultFiles.h): the POSIX file system and the
# helpers built on it.
list(APPEND SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/src/files/PosixFileSystem.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/files/FileHelpers.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/files/Announcer.cpp)
