# The WinINet stand-in over libcurl, and its tests against servers the tests
# start on 127.0.0.1.
target_sources(yk_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/wininet.cpp)
target_link_libraries(yk_platform PRIVATE CURL::libcurl)

yk_test(wininet_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/wininet_test.cpp
        LIBS yk_platform yk_test_servers LABELS threads TIMEOUT 300)
