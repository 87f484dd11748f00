# HttpRequest against loopback servers that go silent, break off, reset,
# send too much or redirect forever; the servers run inside the test.
yk_test(fault_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/fault_test.cpp
        LIBS yk_http LABELS threads TIMEOUT 300)
