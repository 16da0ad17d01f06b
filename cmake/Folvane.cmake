# Helpers shared by every folder's CMakeLists.txt.

# Environment for every test: headless Qt, and Qt WebEngine allowed to run as root (CI does).
set(FOLVANE_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu --disable-background-networking"
    "QTWEBENGINE_DISABLE_SANDBOX=1"
    "QT_LOGGING_RULES=qt.webenginecontext.debug=false")

# folvane_add_library(NAME [LIBS ...])
# One static library per folder, made of every .cpp/.h/.qrc/.js directly in the folder
# (main.cpp excluded), so adding a source file needs no CMake edit.
function(folvane_add_library name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# folvane_add_test(NAME SOURCES ... [LIBS ...] [TIMEOUT seconds])
function(folvane_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    # Helpers shared by the tests of every folder (modal dialogs, for instance).
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/testsupport)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${FOLVANE_TEST_ENVIRONMENT}"
        TIMEOUT ${ARG_TIMEOUT})
endfunction()

# folvane_add_tests_in(DIR LIBS ...)
# Every tst_<name>.cpp in DIR becomes the test executable tst_<name>, linked to LIBS.
function(folvane_add_tests_in dir)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB tests CONFIGURE_DEPENDS ${dir}/tst_*.cpp)
    foreach(source IN LISTS tests)
        get_filename_component(test_name ${source} NAME_WE)
        folvane_add_test(${test_name} SOURCES ${source} LIBS ${ARG_LIBS})
    endforeach()
endfunction()
