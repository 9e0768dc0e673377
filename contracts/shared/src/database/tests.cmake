# tests of the database area
