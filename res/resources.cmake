# The program's built-in files (icon, style sheet, font alias) compiled into a small library,
# so that the program never has to find them on disk. Included by ui/CMakeLists.txt.
set(VANNOR_RES_DIR ${PROJECT_SOURCE_DIR}/res)
# Also read by app/CMakeLists.txt, which installs the icons.
set(VANNOR_ICON_SIZES 16 32 48 64 128 256 CACHE INTERNAL "Sizes of res/icon/vannor-<size>.png")

set(embedded_entries
    "DIALOG_CSS=${VANNOR_RES_DIR}/vannor.css"
    "FONT_ALIAS_CONF=${VANNOR_RES_DIR}/65-vannor-ms-pgothic.conf")
set(embedded_inputs ${VANNOR_RES_DIR}/vannor.css ${VANNOR_RES_DIR}/65-vannor-ms-pgothic.conf)
foreach(size IN LISTS VANNOR_ICON_SIZES)
  list(APPEND embedded_entries "ICON_${size}_PNG=${VANNOR_RES_DIR}/icon/vannor-${size}.png")
  list(APPEND embedded_inputs ${VANNOR_RES_DIR}/icon/vannor-${size}.png)
endforeach()

set(embedded_data ${CMAKE_CURRENT_BINARY_DIR}/generated/res/embedded_data.inc)
add_custom_command(
  OUTPUT ${embedded_data}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${embedded_data} "-DENTRIES=${embedded_entries}"
          -P ${VANNOR_RES_DIR}/embed_files.cmake
  DEPENDS ${embedded_inputs} ${VANNOR_RES_DIR}/embed_files.cmake
  COMMENT "Embedding the icon, style sheet and font alias"
  VERBATIM)

add_library(vannor_res STATIC ${VANNOR_RES_DIR}/embedded.cpp ${embedded_data})
vannor_layer(vannor_res res)
target_include_directories(vannor_res PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
# The dialog layouts name the version.
target_link_libraries(vannor_res PUBLIC vannor_version)
