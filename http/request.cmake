# HttpRequest over the WinINet stand-in, the test servers its tests start,
# and its tests.
add_library(yk_test_servers STATIC ${CMAKE_CURRENT_LIST_DIR}/testing/test_servers.cpp)
target_compile_definitions(yk_test_servers
                           PRIVATE YK_TESTING_DIR="${CMAKE_CURRENT_LIST_DIR}/testing")

target_sources(yk_http PRIVATE ${CMAKE_CURRENT_LIST_DIR}/http_request.cpp)
target_link_libraries(yk_http PUBLIC yk_platform)

yk_test(http_request_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_request_test.cpp
        LIBS yk_http yk_test_servers LABELS threads TIMEOUT 300)

# The Set-Cookie harvest reads what a server sends: fuzzed like the other
# parsers of server data.
yk_fuzz(harvest_cookies_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/harvest_cookies_fuzz.cpp
        LIBS yk_http CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/harvest_cookies_seeds)
