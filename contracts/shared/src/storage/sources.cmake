# sources of the storage area: list(APPEND SHARED_SOURCES ...)
