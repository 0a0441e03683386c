# The decoding copy of stream elements over arbitrary element bytes.
slv2_fuzzer(decompress SOURCES ${CMAKE_CURRENT_LIST_DIR}/decompress.cpp DEPS slv2_storage)
