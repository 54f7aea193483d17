# The layers, and what keeps includes running down them. Code names another folder's headers as
# "folder/file.h". A target sees a folder's headers only through that folder's view,
# <build>/layers/<folder>/<folder> (a link to the folder), which only the folder's own targets
# put on the include path; other targets get it by linking one of them. So an include that runs
# up the layers does not compile, and linking a target of a higher layer to make it compile, or
# putting the source tree itself on the include path, stops the configure step.

# What each folder may use besides itself: the folders below it.
set(VANNOR_LAYERS_image "")
set(VANNOR_LAYERS_serial "")
set(VANNOR_LAYERS_res "")
# The process's own set-up (standard streams, stop signals): only the programs use it.
set(VANNOR_LAYERS_process "")
# The radio simulator: the far end of the line must not share code with the tool it checks.
set(VANNOR_LAYERS_tools "")
# The history of requests: plain files and text, below the protocol that writes it.
set(VANNOR_LAYERS_history "")
set(VANNOR_LAYERS_protocol image serial history)
set(VANNOR_LAYERS_ui protocol image serial history res)
set(VANNOR_LAYERS_app ui protocol image serial history process res)
set(VANNOR_LAYERS_cli protocol image serial history process res)
set(VANNOR_LAYERS_testing app ui cli protocol image serial history process res tools)
set(VANNOR_LAYERS_tests testing app ui cli protocol image serial history process res tools)
# Benchmarks use the test kit, never the tests.
set(VANNOR_LAYERS_bench testing app ui cli protocol image serial history process res tools)

# vannor_layer(<target> <folder>): <target> is code of <folder>/. It sees the folder's headers,
# and so does every target that links it (a program: only itself).
function(vannor_layer target folder)
  if(NOT DEFINED VANNOR_LAYERS_${folder})
    message(FATAL_ERROR "${folder}/ is not a layer of cmake/layers.cmake")
  endif()
  set(view ${PROJECT_BINARY_DIR}/layers/${folder})
  set(link_target "")
  if(IS_SYMLINK ${view}/${folder})
    file(READ_SYMLINK ${view}/${folder} link_target)
  endif()
  if(NOT link_target STREQUAL "${PROJECT_SOURCE_DIR}/${folder}")
    file(MAKE_DIRECTORY ${view})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${view})
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
  set_target_properties(${target} PROPERTIES VANNOR_LAYER ${folder})
endfunction()

# Every target defined in `dir` and the folders below it, into `out`.
function(vannor_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    vannor_targets_below(${subdir} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Stops the configure step where a compiled target belongs to no layer, puts a folder of the
# source tree on an include path, or links a target of a folder its own may not use.
function(vannor_check_layers)
  vannor_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(layer ${target} VANNOR_LAYER)
    if(NOT layer AND NOT type STREQUAL "INTERFACE_LIBRARY")
      message(FATAL_ERROR "${target} belongs to no layer: call vannor_layer(${target} <folder>)")
    endif()

    foreach(property INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
      get_target_property(dirs ${target} ${property})
      foreach(dir IN LISTS dirs)
        cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" NORMALIZE in_source)
        cmake_path(IS_PREFIX PROJECT_BINARY_DIR "${dir}" NORMALIZE in_build)
        if(in_source AND NOT in_build)
          message(FATAL_ERROR "${target} includes ${dir}: a folder's headers come only through "
                              "its view (vannor_layer), so that includes run down the layers")
        endif()
      endforeach()
    endforeach()

    if(NOT layer)
      continue()
    endif()
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(libraries ${target} ${property})
      foreach(library IN LISTS libraries)
        if(library MATCHES "^\\$<LINK_ONLY:(.+)>$")
          set(library ${CMAKE_MATCH_1})
        endif()
        if(NOT TARGET ${library})
          continue()
        endif()
        get_target_property(used ${library} VANNOR_LAYER)
        if(used AND NOT used STREQUAL layer AND NOT used IN_LIST VANNOR_LAYERS_${layer})
          set(allowed "${VANNOR_LAYERS_${layer}}")
          if(NOT allowed)
            set(allowed "no other folder")
          endif()
          message(FATAL_ERROR "${target} (${layer}/) links ${library} (${used}/), but ${layer}/ "
                              "may use only: ${allowed} (cmake/layers.cmake)")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# Once every folder has been added, on each platform's path through the top-level list.
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL vannor_check_layers)
