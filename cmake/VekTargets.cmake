# Each library exports only its own headers: vek_export_headers links them into a
# folder of the build tree that belongs to the target alone, so "prefix/Header.h"
# is found by the target and whatever links it, and an include of a layer that
# the target does not link fails to build.
function(vek_export_headers target prefix)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root}/${prefix})
  foreach(header ${ARGN})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${prefix}/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
