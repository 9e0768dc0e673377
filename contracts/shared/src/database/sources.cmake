# sources of the database area: list(APPEND SHARED_SOURCES ...)
