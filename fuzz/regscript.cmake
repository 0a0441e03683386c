slv2_fuzzer(regscript SOURCES ${CMAKE_CURRENT_LIST_DIR}/regscript.cpp DEPS slv2_sys)
