# HttpRequest throughput and peak memory on a 256 MiB body from a loopback
# server, beside curl -o /dev/null on the same server.
yk_bench(http_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/http_bench.cpp
         LIBS yk_http yk_test_servers)
