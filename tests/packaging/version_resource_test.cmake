# The Windows program's version resource as the resource compiler gets it: the template filled in
# as the Windows build fills it (res/windows/resources.cmake), checked against the version and the
# language written out here, so that a slip in the project's version or the template cannot pass.
#   cmake -DVERSION_H=<build>/generated/res/version.h -P version_resource_test.cmake
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${root}/res/windows/resources.cmake)
vannor_read_constants(${VERSION_H})
configure_file(${root}/res/windows/vannor.rc.in ${CMAKE_CURRENT_BINARY_DIR}/vannor-test.rc @ONLY)
file(READ ${CMAKE_CURRENT_BINARY_DIR}/vannor-test.rc rc)
file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/vannor-test.rc)
# 1.0.0.1; Japanese (0x0411) in Unicode (code page 1200, 0x04b0).
foreach(line IN ITEMS "FILEVERSION 1,0,0,1" "PRODUCTVERSION 1,0,0,1" "BLOCK \"041104b0\""
                      "VALUE \"FileVersion\", \"1.0.0.1\"" "VALUE \"ProductVersion\", \"1.0.0.1\""
                      "VALUE \"Translation\", 0x0411, 1200")
  string(FIND "${rc}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the version resource lacks: ${line}")
  endif()
endforeach()
