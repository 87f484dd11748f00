# The picture server, the private-network sandbox, and the whole-program
# tests that stand on them. Python scripts run with Debian's interpreter;
# "e2e" keeps them to the plain build.
set(YK_PYTHON /usr/bin/python3)

add_test(NAME picture_server
         COMMAND ${YK_PYTHON} ${CMAKE_SOURCE_DIR}/tools/picture_server_test.py)
set_tests_properties(picture_server PROPERTIES LABELS "e2e;tools" TIMEOUT 120)

add_test(NAME sandbox COMMAND ${YK_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/sandbox_test.py)
set_tests_properties(sandbox PROPERTIES LABELS e2e TIMEOUT 300 SKIP_RETURN_CODE 77)
