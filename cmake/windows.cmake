# The Windows build (scripts/build-windows.sh): the core, the serial line and their tests, which
# run under Wine here.
add_compile_definitions(NOMINMAX)

add_subdirectory(image)
add_subdirectory(serial)
add_subdirectory(protocol)

if(BUILD_TESTING)
  include(GoogleTest)
  add_subdirectory(testing)
  add_subdirectory(tests/protocol)
endif()
