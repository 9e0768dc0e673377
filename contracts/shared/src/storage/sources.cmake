# sources of the storage area: list(APPEND SHARED_SOURCES ...)
list(APPEND SHARED_SOURCES
  src/storage/Crc32c.cpp
  src/storage/SynchFiles.cpp
  src/storage/TaskStorageDescriptor.cpp
  src/storage/VSynchSet.cpp)
# Index files and the file error of the Shared file classes.
list(APPEND SHARED_SOURCES
  src/storage/FileError.cpp
  src/storage/IndexFile.cpp)
