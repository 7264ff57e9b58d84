# The fuzz run as one host test: run.sh builds the "fuzz" preset itself and
# runs every target for 30 s. Skipped (77) where clang or libFuzzer is missing.
add_test(NAME fuzz.all COMMAND bash ${CMAKE_SOURCE_DIR}/tests/fuzz/run.sh 30)
# Long, so started early, on the job the two Wine slots leave free.
set_tests_properties(fuzz.all PROPERTIES LABELS fuzz SKIP_RETURN_CODE 77 TIMEOUT 900 COST 5000)
