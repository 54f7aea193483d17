# The Windows build (scripts/build-windows.sh). So far the plain C++ core and its tests, which run
# under Wine here; the line, the window, the simulator's tests and the installer follow once their
# Windows files exist.
if(VANNOR_BUILD_UI)
  message(FATAL_ERROR "The window has no Windows build yet: configure with -DVANNOR_BUILD_UI=OFF")
endif()

add_subdirectory(image)
add_subdirectory(protocol)

if(BUILD_TESTING)
  include(GoogleTest)
  add_subdirectory(tests/protocol)
endif()
