# tests of the database area: the interface manager is tested through a real
# plug-in, in plugins/sqlcatalogue/tests (loading, errors, sharing).
