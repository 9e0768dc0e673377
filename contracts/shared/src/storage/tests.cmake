# tests of the storage area
