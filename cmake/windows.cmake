# Settings shared by both Windows trees (32-bit agent, 64-bit provider).
enable_language(RC)

# Sources are UTF-8; the system's own texts must reach the binaries as GBK (code page 936).
add_compile_options(-finput-charset=UTF-8 -fexec-charset=GBK -Wall -Wextra -Wno-unused-parameter)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 936")
# Nothing beyond Windows itself: the C and C++ runtimes go into each binary.
add_link_options(-static -static-libgcc -static-libstdc++)

# Every program and library of a tree lands in one folder, so that the agent, its
# tests and the stand-ins find each other as files beside the program.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_SHARED_LIBRARY_PREFIX "")

# The tests' private Wine prefix; both Windows trees of one build share it.
set(QM_WINE_DIR ${CMAKE_BINARY_DIR}/../wine CACHE PATH "private Wine prefix of the tests")
get_filename_component(QM_WINE_DIR ${QM_WINE_DIR} ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR bash;${QM_SOURCE_DIR}/testbed/wine/run.sh;${QM_WINE_DIR})

add_test(NAME wine.prefix.setup COMMAND bash ${QM_SOURCE_DIR}/testbed/wine/prefix.sh ${QM_WINE_DIR} setup)
add_test(NAME wine.prefix.stop COMMAND bash ${QM_SOURCE_DIR}/testbed/wine/prefix.sh ${QM_WINE_DIR} stop)
set_tests_properties(wine.prefix.setup PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.prefix.stop PROPERTIES FIXTURES_CLEANUP wine)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# A Windows test program run under Wine. Tests share the log folder, the store, the
# registry and the files beside the programs, so they never run side by side.
function(qm_wine_test name)
    add_test(NAME ${name} COMMAND ${name} ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_state TIMEOUT 600)
endfunction()

# A shell-driven test (end to end) under the same prefix.
function(qm_wine_script_test name)
    add_test(NAME ${name} COMMAND ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_state TIMEOUT 900
        ENVIRONMENT "QM_WINE_DIR=${QM_WINE_DIR};QM_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QM_SOURCE_DIR=${QM_SOURCE_DIR}")
endfunction()

# A deliverable imports nothing but Windows' own libraries.
function(qm_check_imports target)
    add_test(NAME imports.${target}
        COMMAND bash ${QM_SOURCE_DIR}/tests/imports/check-imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:${target}>)
endfunction()

# Every stand-in target below testbed/, so tests can depend on them all.
function(qm_testbed_targets out)
    set(result)
    get_property(dirs DIRECTORY ${QM_SOURCE_DIR}/testbed PROPERTY SUBDIRECTORIES)
    foreach(dir ${dirs})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        list(APPEND result ${targets})
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()
