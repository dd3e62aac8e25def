# Native Linux tree: the pure token-data decoders, their tests under sanitizers, and fuzzers.
set(QM_SANITIZE "-fsanitize=address,undefined;-fno-sanitize-recover=all;-fno-omit-frame-pointer" CACHE STRING "sanitizers of the native tests")
add_compile_options(-Wall -Wextra ${QM_SANITIZE})
add_link_options(${QM_SANITIZE})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Decoders free of windows.h, shared with the agent; a file joins when it exists.
set(QM_PURE_SOURCES
    agent/shell/loglayout.cpp
    agent/token/cspdata.cpp
    agent/token/namelist.cpp
    agent/webpage/subjectclass.cpp)
set(_pure)
foreach(f ${QM_PURE_SOURCES})
    if(EXISTS ${QM_SOURCE_DIR}/${f})
        list(APPEND _pure ${QM_SOURCE_DIR}/${f})
    endif()
endforeach()
set(QM_PURE_EXISTING ${_pure})
add_library(qm_pure STATIC ${_pure})
target_include_directories(qm_pure PUBLIC ${QM_SOURCE_DIR})
