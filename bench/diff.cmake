# Binary differences: encoder and decoder throughput on synthetic data
# (Google Benchmark), and diff_tool, which bench/diff.sh uses to measure
# difference sizes (adaptive and fixed blocks, raw and as stored) and to apply
# a difference exactly as the updater does.
add_executable(bench_diff ${CMAKE_CURRENT_LIST_DIR}/diff_bench.cpp)
target_link_libraries(bench_diff PRIVATE slv2_patch benchmark::benchmark benchmark::benchmark_main)

add_executable(diff_tool ${CMAKE_CURRENT_LIST_DIR}/diff_tool.cpp)
target_link_libraries(diff_tool PRIVATE slv2_patch ZLIB::ZLIB)
# The updater ships as one executable and applies differences in its own
# process; with the C++ runtime linked in, the timed runs of diff_tool do not
# spend milliseconds loading it, which would swamp the small pairs.
target_link_options(diff_tool PRIVATE -static-libstdc++ -static-libgcc)
