# The main window under Xvfb and icewm: one CTest test per case, each with
# an X session of its own, so they may run side by side.
set(window_cases
  "window_comes_up_centred\;WindowTest.test_comes_up_centred_undecorated_showing_its_face"
  "window_taskbar_button\;WindowTest.test_has_a_taskbar_button_with_its_title"
  "window_keys\;WindowTest.test_keys_change_nothing"
  "window_drag\;WindowTest.test_dragging_does_not_move_it"
  "window_minimize\;WindowTest.test_release_over_minimize_glyph_iconifies"
  "window_wm_close\;WindowTest.test_window_manager_close_ends_with_zero"
  "window_close_glyph\;WindowTest.test_close_glyph_ends_with_zero"
  "window_no_display\;NoDisplayTest.test_exits_with_minus_one_and_says_why"
  "window_writes\;WritesTest.test_worker_writes_reach_the_screen")
if(NOT YK_FUZZ)
  add_executable(window_writes_probe window_writes_probe.cpp)
  target_link_libraries(window_writes_probe PRIVATE yk_window)
  foreach(entry IN LISTS window_cases)
    list(GET entry 0 name)
    list(GET entry 1 case)
    add_test(NAME ${name}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/window_test.py ${case}
             WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_tests_properties(${name} PROPERTIES
      LABELS e2e TIMEOUT 180
      ENVIRONMENT "YK_BINARY=$<TARGET_FILE:yarrowlit-kestrune2019>;YK_PROBE=$<TARGET_FILE:window_writes_probe>;YK_FACE=${CMAKE_SOURCE_DIR}/app/assets/face.png;YK_ICON=${CMAKE_SOURCE_DIR}/app/assets/yarrowlit-kestrune2019.png;PYTHONDONTWRITEBYTECODE=1")
  endforeach()
endif()
