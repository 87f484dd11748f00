# The address, header and cookie routines of yk_http, their tests and their
# fuzz targets.
target_sources(yk_http PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/url.cpp
  ${CMAKE_CURRENT_LIST_DIR}/headers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cookies.cpp)

foreach(name url headers cookies)
  yk_test(${name}_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}_test.cpp
          LIBS yk_http LABELS threads)
endforeach()

foreach(name normalize_headers text_between url merge_cookies)
  yk_fuzz(${name}_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/${name}_fuzz.cpp
          LIBS yk_http CORPUS ${CMAKE_CURRENT_LIST_DIR}/fuzz/${name}_seeds)
endforeach()
