# The whole program under load, against a silent server, and ended while
# busy: one CTest test per case, each with its own X session and sandbox.
# Figures are printed as "[figure]" lines (ctest -V shows them).
set(reliability_cases
  "reliability_load\;ReliabilityTest.test_load"
  "reliability_silent_server\;ReliabilityTest.test_silent_server"
  "reliability_close_glyph_busy\;ReliabilityTest.test_close_glyph_while_busy"
  "reliability_wm_close_busy\;ReliabilityTest.test_window_manager_close_while_busy")
if(NOT YK_FUZZ AND TARGET yarrowlit-kestrune2019)
  foreach(entry IN LISTS reliability_cases)
    list(GET entry 0 name)
    list(GET entry 1 case)
    add_test(NAME ${name}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/reliability_test.py ${case}
             WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
    set_tests_properties(${name} PROPERTIES
      LABELS e2e TIMEOUT 300 SKIP_RETURN_CODE 77
      ENVIRONMENT "YK_BINARY=$<TARGET_FILE:yarrowlit-kestrune2019>;PYTHONDONTWRITEBYTECODE=1")
  endforeach()
endif()
