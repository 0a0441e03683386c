# The difference encoder: whatever it writes must decode to the new file.
slv2_fuzzer(diff_roundtrip SOURCES ${CMAKE_CURRENT_LIST_DIR}/diff_roundtrip.cpp DEPS slv2_patch)
