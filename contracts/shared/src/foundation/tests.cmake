# tests of the foundation area
