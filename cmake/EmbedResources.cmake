# Embeds every file of the resources folder whose name is a number and whose extension
# tells its type (.rle raw data, .bmp bitmap, .wav wave) into a generated C++ table.
function(pingel_embed_resources target dir)
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.rle ${dir}/*.bmp ${dir}/*.wav)
  set(out ${CMAKE_BINARY_DIR}/generated/embedded_resources.cpp)
  # A list cannot cross a command line whole: its semicolons travel as '|'.
  string(REPLACE ";" "|" joined "${files}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} "-DFILES=${joined}"
            -P ${CMAKE_SOURCE_DIR}/cmake/WriteResourceTable.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/WriteResourceTable.cmake
    COMMENT "Embedding resources"
    VERBATIM)
  add_library(${target} STATIC ${out})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()
