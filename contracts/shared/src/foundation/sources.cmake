# Sources of the foundation area: logging, formatted texts and errors, the node
# configuration and what is read from it, file services, configuration files
# and node-local global settings.
list(APPEND SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/FormatMessage.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/VaultLog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/NodeConfig.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/VaultSettings.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/FileServices.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/ConfigFile.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/GlobalSettingInterface.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/foundation/NodeLocalSettings.cpp)
