# The shell's rights walk (full control for everyone on a folder tree), which
# bench/rights.sh times against chmod -R over chains of nested folders.
add_executable(rights_tool ${CMAKE_CURRENT_LIST_DIR}/rights_tool.cpp)
target_link_libraries(rights_tool PRIVATE slv2_products)
