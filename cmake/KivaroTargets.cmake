# One static library per subsystem folder, built from every source in it.
# Helpers add files without touching CMake; a folder's own CMakeLists.txt
# only states what the library links.
function(kivaro_library name folder)
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Threads::Threads)
endfunction()

# Where one folder holds more than one layer, each layer is a library of its own:
#   kivaro_layer(<name> <folder> FILES <names...>)   the listed classes (source and header)
#   kivaro_layer(<name> <folder> EXCEPT <names...>)  every file of the folder but those
# A name is a file name without its extension. The EXCEPT layer takes the files added later,
# so a new helper lands in the folder's upper layer unless a FILES list names it.
function(kivaro_layer name folder)
    cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "FILES;EXCEPT")
    file(GLOB candidates CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*.h)
    set(files)
    foreach(file ${candidates})
        get_filename_component(stem ${file} NAME_WE)
        if(DEFINED layer_FILES)
            if(stem IN_LIST layer_FILES)
                list(APPEND files ${file})
            endif()
        elseif(NOT stem IN_LIST layer_EXCEPT)
            list(APPEND files ${file})
        endif()
    endforeach()
    add_library(${name} STATIC ${files})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Threads::Threads)
endfunction()

# One test executable per tests/<folder>/*Test.cpp, so that each suite
# builds on its own: kivaro_tests(<folder> <libraries...>). A suite with its own
# CMakeLists.txt (tests/render, tests/shell) calls kivaro_tests(. <libraries...>):
# the folder "." is the calling directory, and its name prefixes the targets
# (render_FooTest), as it would from tests/CMakeLists.txt.
function(kivaro_tests folder)
    if(folder STREQUAL ".")
        get_filename_component(prefix ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    else()
        string(REPLACE "/" "_" prefix ${folder})
    endif()
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*Test.cpp)
    file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/support/*.cpp)
    foreach(test ${tests})
        get_filename_component(testName ${test} NAME_WE)
        set(target ${prefix}_${testName})
        add_executable(${target} ${test} ${support})
        target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
        # main comes from the test support: GoogleTest with the check of level-1 log records
        target_link_libraries(${target} PRIVATE ${ARGN} kivaro_test_support GTest::gtest GTest::gmock)
        target_compile_definitions(${target} PRIVATE KIVARO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                   KIVARO_BINARY_DIR="${CMAKE_BINARY_DIR}")
        # a test that hangs fails on the time limit here, not on a clock inside the test
        gtest_discover_tests(${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
                             PROPERTIES ENVIRONMENT "ALSOFT_DRIVERS=null" TIMEOUT 120 DISCOVERY_TIMEOUT 60)
    endforeach()
endfunction()
