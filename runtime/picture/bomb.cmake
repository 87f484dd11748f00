# Decompression bombs of every format, made by the test, through the path a
# fetched body takes to the picture frame.
yk_test(bomb_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bomb_test.cpp ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp
  LIBS yk_picture PNG::PNG JPEG::JPEG GIF::GIF TIMEOUT 300)
