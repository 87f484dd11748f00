target_sources(yk_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/process.cpp)
yk_test(process_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/process_test.cpp
        LIBS yk_platform)
