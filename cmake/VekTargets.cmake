# Each library exports only its own headers: vek_export_headers links them into a
# folder of the build tree that belongs to the target alone, each at its path from
# the repository root, so "platform/text/Cp949.h" names the file in the source tree
# as well, is found by the target and whatever links it, and an include of a layer
# that the target does not link fails to build.
# The folders are made afresh at each configuration, so a header moved or renamed
# leaves no link behind that would still resolve an include of its old path.
file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/include)

function(vek_export_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(header ${ARGN})
    get_filename_component(subfolder ${folder}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${root}/${subfolder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A program for Windows gets the resources every one of ours carries: the shared
# application manifest, the version information (with `description`) and the icon
# (packaging/windows/program.rc.in). Nothing elsewhere.
function(vek_windows_program target description)
  if(NOT WIN32)
    return()
  endif()
  set(vek_name ${target})
  set(vek_description ${description})
  set(vek_manifest ${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest)
  set(vek_icon ${PROJECT_SOURCE_DIR}/packaging/windows/vek-terminal.ico)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
      list(APPEND version 0)
    else()
      list(APPEND version ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN version "," vek_version_commas)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres reads the manifest and the icon itself: a change to either rebuilds.
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${vek_manifest} ${vek_icon})
endfunction()
