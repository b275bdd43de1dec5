// The portal's templates; see templates.h.
#include "portal/templates.h"

#include <map>
#include <stdexcept>

namespace {

using Context = kainjow::mustache::basic_context<std::string>;

// Looks values up as Mustache does, and partials in the portal's own table (an unknown one
// throws rather than rendering as nothing).
class TableContext : public Context {
  public:
    explicit TableContext(const web::Data* data) : values_(data) {}

    void push(const web::Data* data) override { values_.push(data); }
    void pop() override { values_.pop(); }
    const web::Data* get(const std::string& name) const override { return values_.get(name); }
    const web::Data* get_partial(const std::string& name) const override {
        const auto found = partials_.find(name);
        if (found != partials_.end()) {
            return &found->second;
        }
        const auto text = portalTemplate(name);
        if (!text) {
            throw std::logic_error("no page template \"" + name + "\"");
        }
        return &partials_.emplace(name, web::Data(std::string(*text))).first->second;
    }

  private:
    kainjow::mustache::context<std::string> values_;
    mutable std::map<std::string, web::Data> partials_;
};

} // namespace

namespace web {

std::string render(std::string_view name, const Data& data) {
    const auto text = portalTemplate(name);
    if (!text) {
        throw std::logic_error("no page template \"" + std::string(name) + "\"");
    }
    kainjow::mustache::mustache page{std::string(*text)};
    TableContext context(&data);
    std::string html = page.is_valid() ? page.render(context) : "";
    if (!page.is_valid()) {
        throw std::logic_error("page template \"" + std::string(name) +
                               "\": " + page.error_message());
    }
    return html;
}

} // namespace web
