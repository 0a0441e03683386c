slv2_fuzzer(cfb SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfb.cpp DEPS slv2_storage)
