# Project-wide helpers.

# mobcfg_add_test(NAME SOURCES src... LIBS lib... [LABELS label...] [DEPENDS target...])
# The one way a test is registered: one call per test, in tests/<folder>/CMakeLists.txt, named
# <folder>_<unit>_test after its source <unit>_test.cpp. One GoogleTest executable per unit,
# registered with CTest. Tests run in their own temporary working directory, since the system's
# paths are relative to it.
# Label "threaded" marks tests that must also stay clean under ThreadSanitizer,
# label "gui" those that need Qt Widgets, label "e2e" those that start real processes.
# DEPENDS names the programs a test starts, so that building the test builds them.
function(mobcfg_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MOBCFG_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        TIMEOUT 300)
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# mobcfg_add_fuzzer(NAME SOURCES src... LIBS lib...)
function(mobcfg_add_fuzzer name)
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()
