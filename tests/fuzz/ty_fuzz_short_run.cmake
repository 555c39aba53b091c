# One short fuzzing run for ctest: a fresh working corpus, the seeds and the
# kept regression inputs, a fixed seed so that a failure can be repeated, and
# a non-zero libFuzzer result (crash, leak, timeout, out of memory) as the
# test's failure.
#   cmake -DFUZZER=... -DWORK=... -DINPUTS="dir|dir" -DARGS="-runs=...;..." -P ty_fuzz_short_run.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
execute_process(
  COMMAND "${FUZZER}" ${ARGS} "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus" ${INPUTS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB artifacts "${WORK}/artifacts/*")
  message(FATAL_ERROR "${FUZZER} ended with ${result}; inputs kept: ${artifacts}")
endif()
