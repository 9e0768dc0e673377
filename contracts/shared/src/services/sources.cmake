# Sources of the maintenance services: command sessions, task naming, per-task
# settings and the job queue.
list(APPEND SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/src/services/ServiceFiles.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/services/VaultCommandSession.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/services/TaskHierarchy.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/services/LocalSettings.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/services/JobSubmission.cpp)
