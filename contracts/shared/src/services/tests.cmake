# Tests of the maintenance services.
