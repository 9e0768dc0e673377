# sources of the foundation area: list(APPEND SHARED_SOURCES ...)
