# keywarden_add_test(<name> COMMAND <target> [args...] [WATCHED_KEYS] [GUI])
#
# Runs a test executable under Wine (CMAKE_CROSSCOMPILING_EMULATOR) inside the
# fixture that keeps one wineserver and one idle GUI process alive for the run.
# WATCHED_KEYS: the test changes the autostart keys, so it never runs at the
# same time as another such test. GUI: the test creates windows.
function(keywarden_add_test name)
    cmake_parse_arguments(KWT "WATCHED_KEYS;GUI" "" "COMMAND" ${ARGN})
    if(NOT KWT_COMMAND)
        message(FATAL_ERROR "keywarden_add_test(${name}): COMMAND is required")
    endif()
    add_test(NAME ${name} COMMAND ${KWT_COMMAND})
    set(locks "")
    if(KWT_WATCHED_KEYS)
        list(APPEND locks watched_keys)
    endif()
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine
        TIMEOUT 300)
    if(KWT_GUI)
        # Tests with windows share one X screen: clicks, focus, screenshots
        # and the tray would interfere, so they take turns.
        list(APPEND locks display)
        set_tests_properties(${name} PROPERTIES LABELS gui)
    endif()
    if(locks)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
    endif()
endfunction()
