# The address, header and cookie routines of yk_http, their tests and their
# fuzz targets.
target_sources(yk_http PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/url.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headers.cpp)

yk_test(url_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/url_test.cpp
        LIBS yk_http LABELS threads)
yk_test(headers_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/headers_test.cpp
        LIBS yk_http LABELS threads)
