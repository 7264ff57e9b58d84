# The unit tests under valgrind memcheck, from a build without sanitizers
# (preset "valgrind"; tests/valgrind.sh builds it). Skipped (77) where
# valgrind is missing.
add_test(NAME valgrind.unit COMMAND bash ${CMAKE_SOURCE_DIR}/tests/valgrind.sh)
# Long, so started early, on the job the two Wine slots leave free.
set_tests_properties(valgrind.unit PROPERTIES LABELS valgrind SKIP_RETURN_CODE 77 TIMEOUT 1500 COST 4000)
