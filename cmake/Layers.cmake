# One static library per layer of the portable code. Each layer compiles against a view of
# the source tree that holds only its own folder and the folders beneath it (symbolic links
# in the build folder), so a file of a layer cannot even find a header of a layer above:
#
#     platform <- gfx <- game <- app
#     platform <- net <- app
#
# A library's users see the same view through its PUBLIC include directory, together with
# the views of what they link themselves.
function(pingel_layer target)
  cmake_parse_arguments(LAYER "" "" "SOURCES;SEES;LINKS" ${ARGN})
  set(view ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${LAYER_SEES})
    if(NOT EXISTS ${view}/${folder})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  add_library(${target} STATIC ${LAYER_SOURCES})
  target_include_directories(${target} PUBLIC ${view})
  target_link_libraries(${target} PUBLIC ${LAYER_LINKS} PRIVATE pingel_warnings)
endfunction()
