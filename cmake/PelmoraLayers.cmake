# Each library gets an include root of its own in the build tree, holding links
# to its headers only. A target sees the headers of the libraries it links and
# no others, so an include across the layers fails to find its header instead of
# building by accident. The source tree itself is never an include path of a
# library.

# pelmora_headers(TARGET PATTERN...): exposes the headers matching the patterns
# (relative to the source root, e.g. settings/store*.h) under the target's root,
# at the same relative paths, so `#include "settings/store.h"` keeps working.
function(pelmora_headers target)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  set(patterns)
  foreach(pattern ${ARGN})
    list(APPEND patterns ${PROJECT_SOURCE_DIR}/${pattern})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${patterns})
  foreach(header ${headers})
    get_filename_component(folder ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
