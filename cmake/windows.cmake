# The Windows build (scripts/build-windows.sh): the program with its resources, vannor-cli, and
# the tests of the core, the serial line, the command line and the window, which run under Wine
# here.
enable_language(RC)
add_compile_definitions(NOMINMAX)

add_subdirectory(image)
add_subdirectory(serial)
add_subdirectory(history)
add_subdirectory(process)
add_subdirectory(protocol)
add_subdirectory(cli)
if(VANNOR_BUILD_UI)
  add_subdirectory(ui)
  add_subdirectory(app)
  add_subdirectory(packaging/windows)
endif()

if(BUILD_TESTING)
  include(GoogleTest)
  include(ExternalProject)
  # The far end of the tests' COM ports is Linux: the radio simulator and vannor-wine-radio,
  # built for this machine from the same sources in a build of their own.
  set(VANNOR_HOST_BUILD ${CMAKE_BINARY_DIR}/host)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${VANNOR_HOST_BUILD}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANNOR_BUILD_UI=OFF -DBUILD_TESTING=OFF
               -DVANNOR_WERROR=${VANNOR_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${VANNOR_HOST_BUILD} --target vannor-wine-radio
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${VANNOR_HOST_BUILD}/tools/vannor-wine-radio)
  set(VANNOR_WINE_RADIO ${VANNOR_HOST_BUILD}/tools/vannor-wine-radio)
  get_filename_component(VANNOR_WINE_DIR "${VANNOR_WINE}" DIRECTORY)

  add_subdirectory(testing)
  add_subdirectory(tests/protocol)
  add_subdirectory(tests/serial/win32)
  add_dependencies(wine_line_tests host_tools)
  add_subdirectory(tests/cli/win32)
  add_subdirectory(bench/win32)
  if(VANNOR_BUILD_UI)
    add_subdirectory(tests/ui/msw)
    add_dependencies(wine_window_tests host_tools)
    add_test(NAME wine.installer
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/windows_install_test.sh
                     ${VANNOR_WINE} ${VANNOR_SETUP})
    set_tests_properties(wine.installer PROPERTIES LABELS wine TIMEOUT 300 RUN_SERIAL ON)
  endif()
endif()
