slv2_fuzzer(text_replace SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_replace.cpp DEPS slv2_sys)
