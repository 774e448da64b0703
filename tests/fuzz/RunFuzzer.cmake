# Runs a libFuzzer binary for CTest:
#   cmake -DMODE=fuzz -DFUZZER=BIN -DCORPUS=DIR -DWORK=DIR -P RunFuzzer.cmake
#     fuzzes a fresh copy of CORPUS (WORK/corpus) for a bounded time; a crash,
#     leak, timeout or out-of-memory input is written to WORK/artifacts/
#   cmake -DMODE=replay -DFUZZER=BIN -DINPUTS=DIR -P RunFuzzer.cmake
#     runs every file of INPUTS (but its README) through BIN, one run each
# The -D options must come before -P.

# The fuzzers' memory limit is for the code under test: AddressSanitizer's
# quarantine of freed memory (256 MB unless told) would take half of it and
# a long run of large inputs could pass it on the quarantine alone.
if(DEFINED ENV{ASAN_OPTIONS} AND NOT "$ENV{ASAN_OPTIONS}" STREQUAL "")
  set(ENV{ASAN_OPTIONS} "$ENV{ASAN_OPTIONS}:quarantine_size_mb=64")
else()
  set(ENV{ASAN_OPTIONS} "quarantine_size_mb=64")
endif()

if(MODE STREQUAL "fuzz")
  file(REMOVE_RECURSE ${WORK})
  file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
  file(GLOB seeds LIST_DIRECTORIES false ${CORPUS}/*)
  if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK}/corpus)
  endif()
  if(NOT SECONDS)
    set(SECONDS 60)
  endif()
  execute_process(
    COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=512 -malloc_limit_mb=64 -timeout=10
            -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the fuzzer stopped with ${result}; its input is in ${WORK}/artifacts/ "
                        "(commit it to tests/fuzz/inputs/ with the fix)")
  endif()
elseif(MODE STREQUAL "replay")
  file(GLOB inputs LIST_DIRECTORIES false ${INPUTS}/*)
  list(FILTER inputs EXCLUDE REGEX "/README[^/]*$")
  if(NOT inputs)
    message(STATUS "no reproducers in ${INPUTS}")
    return()
  endif()
  # One run per file, so that one failing reproducer does not hide the next.
  set(failing)
  foreach(input IN LISTS inputs)
    execute_process(COMMAND ${FUZZER} -rss_limit_mb=512 -malloc_limit_mb=64 -timeout=10 ${input}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      get_filename_component(name ${input} NAME)
      list(APPEND failing ${name})
    endif()
  endforeach()
  if(failing)
    list(JOIN failing ", " names)
    message(FATAL_ERROR "reproducers in ${INPUTS} still fail: ${names}")
  endif()
else()
  message(FATAL_ERROR "MODE must be fuzz or replay")
endif()
