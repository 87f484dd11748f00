# The whole program in its private network with the picture server: one
# CTest test per case, each with an X session and a sandbox of its own, so
# they may run side by side. Exit code 77 means no private namespace here.
set(whole_program_cases
  "whole_start_up_fetch\;test_start_up_fetches_once_and_shows_the_picture"
  "whole_picture_placing\;test_pictures_sit_centred_and_shrink_to_fit"
  "whole_touch_presses\;test_presses_on_the_touch_area_start_a_fetch_each"
  "whole_presses_elsewhere\;test_presses_outside_the_touch_area_do_nothing"
  "whole_presses_frame_hidden\;test_presses_while_the_frame_is_still_hidden"
  "whole_double_click\;test_double_click_starts_one_fetch"
  "whole_ten_quick_presses\;test_ten_quick_presses_start_five_fetches"
  "whole_draws_past_the_list\;test_about_one_press_in_eight_sends_nothing"
  "whole_empty_draw_plain\;test_a_press_that_sends_nothing_leaves_the_plain_square"
  "whole_last_fetch_decides\;test_the_fetch_that_finishes_last_decides_the_picture"
  "whole_no_picture_bodies\;test_empty_body_and_error_page_leave_the_plain_square"
  "whole_minimize_restore\;test_minimize_then_restore_shows_the_same_picture_without_a_fetch"
  "whole_close_in_flight\;test_close_glyph_ends_at_once_while_fetches_wait"
  "whole_press_release_close\;test_press_on_the_picture_released_over_close_ends"
  "whole_wm_close_in_flight\;test_window_manager_close_ends_while_fetches_wait"
  "whole_close_released_elsewhere\;test_press_on_close_released_elsewhere_does_nothing")
if(NOT YK_FUZZ)
  foreach(entry IN LISTS whole_program_cases)
    list(GET entry 0 name)
    list(GET entry 1 case)
    add_test(NAME ${name}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/whole_program_test.py
                     WholeProgramTest.${case}
             WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_tests_properties(${name} PROPERTIES
      LABELS e2e TIMEOUT 300 SKIP_RETURN_CODE 77
      ENVIRONMENT "YK_BINARY=$<TARGET_FILE:yarrowlit-kestrune2019>;YK_FACE=${CMAKE_SOURCE_DIR}/app/assets/face.png;YK_ADDRESS_LIST=${CMAKE_SOURCE_DIR}/fetch/address_list.txt;PYTHONDONTWRITEBYTECODE=1")
  endforeach()
endif()
