// The portal's pages as Mustache templates (portal/templates/NAME.mustache, compiled into
// the binary). A value goes into a page as {{name}}, HTML-escaped; {{{name}}} is only for
// HTML the portal rendered itself from another template, never for a value from a visitor
// or the database. {{> name}} includes another template of the same table.
#pragma once

#include <kainjow/mustache.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

// The text of the template `name` (its file name without ".mustache"), or nothing.
std::optional<std::string_view> portalTemplate(std::string_view name);
// Every template, as (name, text).
std::span<const std::pair<std::string_view, std::string_view>> portalTemplates();

namespace web {

using Data = kainjow::mustache::data;
using List = kainjow::mustache::list;

// `name` rendered over `data`. An unknown template or partial, or one that does not parse,
// is the portal's own fault: it throws std::logic_error.
std::string render(std::string_view name, const Data& data);

} // namespace web
