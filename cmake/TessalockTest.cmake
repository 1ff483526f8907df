# tl_add_gtest(NAME <exe> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>]
#              [COST <s>] [NO_MAIN])
# One ctest entry per test executable; ctest runs it through Wine. COST, the
# seconds a long test takes, lets ctest start it first in a build folder that
# has not run its tests before (it starts the others in order), so that the
# short ones run beside it instead of after it.
# The label i686 marks what the shipped 32-bit build is tested on in its
# emulated machine, many times slower than this one
# (scripts/i686-vm-guest.sh): what can differ between the architectures (the
# engine's arithmetic and crypto, the jobs' file calls, the fuzzer) and one
# test of the windows, the real program end to end, a 32-bit process that
# must find the key derivation's memory. The other window tests and the
# crash tests run on the 64-bit build only.
function(tl_add_gtest)
    cmake_parse_arguments(T "NO_MAIN" "NAME;TIMEOUT;COST" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tl_test_support GTest::gtest tl_settings)
    if(NOT T_NO_MAIN)
        target_link_libraries(${T_NAME} PRIVATE tl_test_main)
    endif()
    target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # The 32-bit tests only ever run in the emulated machine, where a busy
    # host makes everything several times slower again (a window test that
    # takes 20 s here took over 240 s there): the same limits, scaled.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        math(EXPR T_TIMEOUT "${T_TIMEOUT} * 5")
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
    if(T_COST)
        set_tests_properties(${T_NAME} PROPERTIES COST ${T_COST})
    endif()
    if("i686" IN_LIST T_LABELS)
        add_dependencies(tl_i686_run ${T_NAME})
    endif()
    # Tests with windows share one X display and one Wine desktop: the
    # foreground window, focus and message-box ownership are global there, so
    # two of them at once would steal each other's boxes. They run one at a
    # time; the others run beside them.
    if("gui" IN_LIST T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK desktop)
    endif()
    # Tests labelled fulldisk fill the small drive T: (a real full disk of
    # 1 MiB that scripts/wine-ctest.sh maps): two at once fill it for each
    # other (an encryption test's files made a decryption test's container
    # fail to be written), so they too run one at a time.
    if("fulldisk" IN_LIST T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK fulldisk)
    endif()
endfunction()
