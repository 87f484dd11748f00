target_sources(yk_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/memory.cpp)
