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
