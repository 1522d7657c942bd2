# Helpers shared by every subsystem folder and test suite.

set(ORVO_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wimplicit-fallthrough -Werror)

# orvo_add_library(<subsystem> [LIBS <targets...>])
# One static library per subsystem folder, named orvo_<subsystem>, built from the folder's sources.
function(orvo_add_library subsystem)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(orvo_${subsystem} STATIC ${sources})
    target_include_directories(orvo_${subsystem} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(orvo_${subsystem} PRIVATE ${ORVO_WARNINGS})
    target_link_libraries(orvo_${subsystem} PUBLIC ${ARG_LIBS})
endfunction()

# orvo_add_test(<subsystem> [GUI] [LIBS <targets...>])
# One GoogleTest executable per subsystem, each test registered with CTest and run with a
# local time zone that is not UTC, so that local-time mistakes show.
function(orvo_add_test subsystem)
    cmake_parse_arguments(ARG "GUI" "" "LIBS;ENVIRONMENT" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    set(target test_${subsystem})
    add_executable(${target} ${sources})
    target_compile_options(${target} PRIVATE ${ORVO_WARNINGS})
    if(ARG_GUI)
        target_link_libraries(${target} PRIVATE orvo_testmain_gui)
    else()
        target_link_libraries(${target} PRIVATE orvo_testmain)
    endif()
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    # Run through env(1), so that discovery and every test see the same environment.
    set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
        "/usr/bin/env;QT_QPA_PLATFORM=offscreen;TZ=Asia/Tokyo;ORVO_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}/tests;ORVO_TEST_BUILD_DIR=${CMAKE_BINARY_DIR};${ARG_ENVIRONMENT}")
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# orvo_install_configured(<template> <destination>)
# Installs a file whose text names installed paths. The prefix is known only when installing
# (cmake --install --prefix may give another than the build's), so the template is filled in
# then: @ORVO_PREFIX@ is the absolute installation prefix. It is written straight to its place,
# not through the build folder, where an install with sudo would leave a file of root's.
function(orvo_install_configured template destination)
    get_filename_component(name ${template} NAME_WLE)
    install(CODE "
        get_filename_component(ORVO_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
        set(orvo_installed \"\$ENV{DESTDIR}\${ORVO_PREFIX}/${destination}/${name}\")
        message(STATUS \"Installing: \${orvo_installed}\")
        configure_file(\"${template}\" \"\${orvo_installed}\" @ONLY)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${orvo_installed}\")")
endfunction()
