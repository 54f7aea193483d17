# The Windows program's resources: the icon made at build time from res/icon/*.png, the version
# block from the generated res/version.h (res/version.cmake), and the manifest. Include this file, then call
# vannor_windows_resources(<program target>) in a project that has enabled the RC language.
set(VANNOR_WINDOWS_RES_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(VANNOR_RES_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)

# Reads `inline constexpr <type> NAME = value;` lines of a header into VANNOR_NAME.
function(vannor_read_constants header)
  file(STRINGS ${header} lines REGEX "^inline constexpr ")
  foreach(line IN LISTS lines)
    if(line MATCHES "^inline constexpr [a-z_:]+ ([A-Z_]+) = \"?([^\";]*)\"?;")
      set(VANNOR_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

function(vannor_windows_resources target)
  vannor_read_constants(${VANNOR_GENERATED_DIR}/res/version.h)
  vannor_read_constants(${VANNOR_RES_ROOT}/resource.h)
  if(NOT VANNOR_FILE_VERSION OR NOT VANNOR_IDR_MAINICON)
    message(FATAL_ERROR "res/version.h or res/resource.h no longer has the version or icon id")
  endif()

  set(out ${CMAKE_CURRENT_BINARY_DIR}/windows-res)
  set(VANNOR_ICO_FILE ${out}/vannor.ico)
  set(VANNOR_MANIFEST_FILE ${out}/vannor.manifest)

  # Every size the Linux build installs, largest last; ImageMagick stores the 256-pixel one as
  # PNG inside the icon, as Windows expects.
  set(pngs)
  foreach(size 16 32 48 64 128 256)
    list(APPEND pngs ${VANNOR_RES_ROOT}/icon/vannor-${size}.png)
  endforeach()
  find_program(VANNOR_CONVERT convert NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_custom_command(
    OUTPUT ${VANNOR_ICO_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${VANNOR_CONVERT} ${pngs} ${VANNOR_ICO_FILE}
    DEPENDS ${pngs}
    COMMENT "Making the Windows icon"
    VERBATIM)

  configure_file(${VANNOR_WINDOWS_RES_DIR}/vannor.manifest.in ${VANNOR_MANIFEST_FILE} @ONLY)
  configure_file(${VANNOR_WINDOWS_RES_DIR}/vannor.rc.in ${out}/vannor.rc @ONLY)
  # The resource compiler does not see that the script reads the icon.
  set_source_files_properties(${out}/vannor.rc PROPERTIES OBJECT_DEPENDS
                                                          "${VANNOR_ICO_FILE};${VANNOR_MANIFEST_FILE}")
  target_sources(${target} PRIVATE ${out}/vannor.rc ${VANNOR_ICO_FILE})
endfunction()
