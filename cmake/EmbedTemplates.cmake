# Compiles the portal's page templates (DIR/*.mustache) into the target: a generated C++
# file defines portalTemplate(name), the text of DIR/name.mustache. An edited template
# regenerates the file; a new one is picked up by the next build (the glob is rechecked).
function(pingel_embed_templates target dir)
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.mustache)
  set(out ${CMAKE_BINARY_DIR}/generated/portal_templates.cpp)
  # A list cannot cross a command line whole: its semicolons travel as '|'.
  string(REPLACE ";" "|" joined "${files}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} "-DFILES=${joined}"
            -P ${CMAKE_SOURCE_DIR}/cmake/WriteTemplateTable.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/WriteTemplateTable.cmake
    COMMENT "Embedding the portal's templates"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
