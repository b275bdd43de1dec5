# Script mode: writes OUT, a C++ file defining portalTemplate() over the FILES given
# (separated by '|'), each under its name without the extension. A file's last newline is
# the editor's, not the template's: the text stops before it.
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
set(entries "")
set(n 0)
foreach(f IN LISTS FILES)
  if(f STREQUAL "")
    continue()
  endif()
  get_filename_component(name ${f} NAME_WE)
  file(READ ${f} hex HEX)
  string(REGEX REPLACE "0a$" "" hex "${hex}")
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  # Every byte as a \x escape, in string literals of 16 bytes a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
  string(REGEX REPLACE "(\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..\\\\x..)"
         "\\1\"\n    \"" bytes "${bytes}")
  string(APPEND body "constexpr std::string_view t${n}{\n    \"${bytes}\", ${size}};\n")
  string(APPEND entries "    {\"${name}\", t${n}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from portal/templates. Do not edit.\n#include \"portal/templates.h\"\n\n#include <utility>\n\nnamespace {\n${body}constexpr std::pair<std::string_view, std::string_view> table[] = {\n${entries}    {\"\", {}}};\n} // namespace\n\nstd::optional<std::string_view> portalTemplate(std::string_view name) {\n    for (const auto& [known, text] : table) {\n        if (!known.empty() && known == name) {\n            return text;\n        }\n    }\n    return std::nullopt;\n}\n\nstd::span<const std::pair<std::string_view, std::string_view>> portalTemplates() {\n    return {table, std::size(table) - 1};\n}\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
