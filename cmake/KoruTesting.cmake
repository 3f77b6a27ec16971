# koru_add_test(<name> SOURCES <files...> [LIBRARIES <targets...>]
#               [PREFIX <area.>] [PROPERTIES <k v...>])
#
# One GoogleTest executable per area; its cases are registered one by one
# with CTest so a failure names the case. PREFIX names the area in every
# case's name ("ctc." gives "ctc.Suite.Case"), so `ctest -R ctc` selects it.
include(GoogleTest)
find_package(GTest REQUIRED)

function(koru_add_test name)
    cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LIBRARIES;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${ARG_LIBRARIES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    gtest_discover_tests(${name}
        TEST_PREFIX "${ARG_PREFIX}"
        DISCOVERY_TIMEOUT 60
        PROPERTIES ${ARG_PROPERTIES})
endfunction()
