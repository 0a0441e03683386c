# One product update exactly as the updater runs it (class reference, real
# registry, storage, Execute), which bench/update.sh times against cp -r.
add_executable(update_tool ${CMAKE_CURRENT_LIST_DIR}/update_tool.cpp)
target_link_libraries(update_tool PRIVATE slv2_updater)
