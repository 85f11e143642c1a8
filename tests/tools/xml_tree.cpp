#include "tests/tools/xml_tree.h"

#include <cctype>
#include <cstring>

namespace xmltest {
namespace {

bool nameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '-' || c == '.';
}
bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

struct Reader {
    explicit Reader(const std::string& text) : s(text) {}
    const std::string& s;
    std::size_t p = 0;
    std::string error;

    bool fail(const std::string& why) {
        if (error.empty()) error = why + " at offset " + std::to_string(p);
        return false;
    }
    bool at(const char* text) const { return s.compare(p, std::strlen(text), text) == 0; }
    void skipSpace() { while (p < s.size() && space(s[p])) ++p; }

    bool name(std::string* out) {
        std::size_t start = p;
        while (p < s.size() && nameChar(s[p])) ++p;
        *out = s.substr(start, p - start);
        return !out->empty() || fail("name expected");
    }

    // Characters up to `stop` (or a tag for text), references decoded.
    bool characters(char stop, std::string* out) {
        static const char* const entities[][2] = {
            {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
        while (p < s.size() && s[p] != stop) {
            if (s[p] == '<') return stop == '<' || fail("raw '<' in an attribute");
            if (s[p] != '&') {
                *out += s[p++];
                continue;
            }
            bool known = false;
            for (const auto& e : entities)
                if (at(e[0])) {
                    *out += e[1];
                    p += std::strlen(e[0]);
                    known = true;
                    break;
                }
            if (!known) return fail("unknown or raw '&'");
        }
        return true;
    }

    bool element(Element* e) {
        ++p;  // '<'
        if (!name(&e->name)) return false;
        for (;;) {
            const bool spaced = p < s.size() && space(s[p]);
            skipSpace();
            if (p >= s.size()) return fail("unterminated tag");
            if (at("/>")) { p += 2; return true; }
            if (s[p] == '>') break;
            std::string key, value;
            if (!spaced) return fail("space expected before an attribute");
            if (!name(&key)) return false;
            if (!at("=\"")) return fail("=\" expected");
            p += 2;
            if (!characters('"', &value)) return false;
            if (p++ >= s.size()) return fail("unterminated attribute");
            if (!e->attributes.emplace(key, value).second) return fail("duplicate attribute " + key);
        }
        ++p;  // '>'
        while (!at("</")) {
            if (p >= s.size()) return fail("<" + e->name + "> not closed");
            if (s[p] == '<') {
                e->children.push_back(std::make_unique<Element>());
                if (!element(e->children.back().get())) return false;
            } else if (!characters('<', &e->text)) {
                return false;
            }
        }
        p += 2;
        std::string closing;
        if (!name(&closing)) return false;
        if (closing != e->name) return fail("</" + closing + "> closes <" + e->name + ">");
        if (p >= s.size() || s[p] != '>') return fail("'>' expected");
        ++p;
        return true;
    }
};

void collect(const Element& e, const std::string& name, const std::string& attribute, const std::string& value,
             std::vector<const Element*>& found) {
    for (const auto& child : e.children) {
        if (child->name == name && (attribute.empty() || child->attr(attribute) == value)) found.push_back(child.get());
        collect(*child, name, attribute, value, found);
    }
}

}  // namespace

std::string Element::attr(const std::string& attribute) const {
    auto it = attributes.find(attribute);
    return it == attributes.end() ? "" : it->second;
}

std::vector<const Element*> Element::findAll(const std::string& elementName, const std::string& attribute,
                                             const std::string& value) const {
    std::vector<const Element*> found;
    collect(*this, elementName, attribute, value, found);
    return found;
}

std::unique_ptr<Element> parse(const std::string& xml, std::string* error) {
    Reader r(xml);
    if (r.at("<?xml")) {
        std::size_t end = xml.find("?>");
        r.p = end == std::string::npos ? xml.size() : end + 2;
    }
    r.skipSpace();
    auto root = std::make_unique<Element>();
    bool ok = (r.at("<") || r.fail("root element expected")) && r.element(root.get());
    if (ok) {
        r.skipSpace();
        ok = r.p == xml.size() || r.fail("content after the root element");
    }
    if (!ok) {
        *error = r.error;
        return nullptr;
    }
    return root;
}

}  // namespace xmltest
