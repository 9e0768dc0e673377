# Sources of the database area: the interfaces' anchors and stubs, the
# interface manager and the database-kept global settings.
list(APPEND SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/src/database/InterfaceAnchors.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/database/PluginLibrary.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/database/DbInterfaceManager.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/database/DatabaseSettings.cpp)
