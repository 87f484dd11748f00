# The in-process refresh pipeline beside curl + djpeg (pipeline_bench), and
# the X client that sees a program's paints from outside for the
# whole-process figures (paint_watch). Both run by hand from scripts/bench.
yk_bench(pipeline_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipeline_bench.cpp
         ${CMAKE_CURRENT_LIST_DIR}/bench_fixtures.cpp
         LIBS yk_http yk_picture PNG::PNG JPEG::JPEG)

find_package(X11 QUIET)
if(X11_FOUND AND X11_Xdamage_FOUND)
  add_executable(paint_watch ${CMAKE_CURRENT_LIST_DIR}/paint_watch.cpp)
  target_link_libraries(paint_watch PRIVATE X11::X11 X11::Xdamage)
endif()
