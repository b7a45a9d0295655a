# One static library per subsystem folder. Sources are picked up by glob so that adding a file to a
# subsystem needs no edit here; CONFIGURE_DEPENDS makes the build notice new files.
# A folder inside app/ is a subsystem of its own: app/tree builds the library app_tree.
function(veltrix_subsystem name)
    string(REPLACE "_" "/" folder ${name})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
    # The program's entry point and its delayed imports belong to the executable, not to the library.
    list(FILTER sources EXCLUDE REGEX "/(WinMain|DelayedImports)\\.cpp$")
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
        target_compile_options(${name} PRIVATE ${VELTRIX_WARNINGS})
        target_link_libraries(${name} PUBLIC ${ARGN})
    else()
        # A subsystem without sources yet is still a target, so links to it stay valid.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARGN})
    endif()
endfunction()

# One GoogleTest executable per subsystem; CTest runs it under Wine as a whole, which keeps the run
# fast (each Wine start costs far more than the tests inside one executable).
function(veltrix_test name)
    cmake_parse_arguments(T "" "" "LIBS;RESOURCES;LABELS" ${ARGN})
    # Recursive: the tests of app/ mirror its folders (tests/app/tree, tests/app/cache, ...).
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/${name}/*.cpp)
    set(exe ${name}_tests)
    add_executable(${exe} ${sources} ${T_RESOURCES})
    target_compile_options(${exe} PRIVATE ${VELTRIX_WARNINGS})
    target_link_libraries(${exe} PRIVATE ${T_LIBS} GTest::gtest_main)
    target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    add_test(NAME ${exe} COMMAND ${exe})
    set_tests_properties(${exe} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600 LABELS "${T_LABELS}")
endfunction()
