# The libFuzzer harness of the CH376 command stream (clang only; run by `make test-fuzz`).
vantorel_fuzzer(fuzz_ch376 ${CMAKE_CURRENT_LIST_DIR}/fuzz_ch376.cpp)
