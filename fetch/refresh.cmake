# The fetch-and-show worker: ties the pick, the HTTP request and the frame's
# property writes together.
target_sources(yk_fetch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/refresh.cpp)
target_link_libraries(yk_fetch PUBLIC yk_http yk_window)
