# HttpRequest over the WinINet stand-in, the test servers its tests start,
# and its tests.
add_library(yk_test_servers STATIC ${CMAKE_CURRENT_LIST_DIR}/testing/test_servers.cpp)
target_compile_definitions(yk_test_servers
                           PRIVATE YK_TESTING_DIR="${CMAKE_CURRENT_LIST_DIR}/testing")
