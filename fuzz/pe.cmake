slv2_fuzzer(pe SOURCES ${CMAKE_CURRENT_LIST_DIR}/pe.cpp DEPS slv2_sys)
