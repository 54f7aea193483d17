# res/version.h from its template, with the version of the project() call: code that names the
# version links vannor_version and includes "res/version.h". Included by the top-level list.

# The version resource has four numbers; a shorter project() version would leave the build
# number empty in the header.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "project(VERSION) must be major.minor.patch.build, not '${PROJECT_VERSION}'")
endif()

set(VANNOR_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/res/version.h.in ${VANNOR_GENERATED_DIR}/res/version.h @ONLY)

# It carries res/'s other headers too (resource ids, dialog templates), on every platform.
add_library(vannor_version INTERFACE)
target_include_directories(vannor_version INTERFACE ${VANNOR_GENERATED_DIR})
vannor_layer(vannor_version res)
