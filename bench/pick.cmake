yk_bench(pick_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/pick_bench.cpp LIBS yk_fetch)
