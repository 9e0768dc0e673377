# Sources of the database area: the interfaces' anchors and stubs, the
# interface manager and the database-backed global settings.
list(APPEND SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/src/database/InterfaceAnchors.cpp)
