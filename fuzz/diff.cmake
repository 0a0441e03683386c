# The difference decoder on arbitrary differences and old files.
slv2_fuzzer(diff SOURCES ${CMAKE_CURRENT_LIST_DIR}/diff.cpp DEPS slv2_patch)
