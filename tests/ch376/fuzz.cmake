# The libFuzzer harness of the CH376 command stream (clang only). `make test-fuzz` configures
# with -DVANTOREL_FUZZ=ON, clang, ASan+UBSan and -fsanitize=fuzzer-no-link for every library,
# and builds only this target.
add_executable(fuzz_ch376 ${CMAKE_CURRENT_LIST_DIR}/fuzz_ch376.cpp)
target_compile_options(fuzz_ch376 PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_ch376 PRIVATE -fsanitize=fuzzer)
# The machine calls back into the host seam: the seam is named again after the machine so the
# static link resolves it even though the harness itself uses nothing of it.
target_link_libraries(fuzz_ch376 PRIVATE vantorel_headless_host vantorel_machine vantorel_headless_host)
