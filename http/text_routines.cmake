target_sources(yk_http PRIVATE ${CMAKE_CURRENT_LIST_DIR}/url.cpp)
