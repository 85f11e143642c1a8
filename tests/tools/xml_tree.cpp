#include "tests/tools/xml_tree.h"

#include <cstdlib>

namespace xmltest {
namespace {

bool nameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }
bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
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
    bool startsWith(const char* text) const { return s.compare(p, std::char_traits<char>::length(text), text) == 0; }
    void skipSpace() {
        while (p < s.size() && space(s[p])) ++p;
    }

    bool name(std::string* out) {
        if (p >= s.size() || !nameStart(s[p])) return fail("name expected");
        std::size_t start = p;
        while (p < s.size() && nameChar(s[p])) ++p;
        *out = s.substr(start, p - start);
        return true;
    }

    // Character data up to `stop`, with references decoded.
    bool characters(char stop, std::string* out) {
        while (p < s.size() && s[p] != stop) {
            char c = s[p];
            if (c == '<') {
                if (stop == '<') break;
                return fail("raw '<' in attribute value");
            }
            if (c != '&') {
                *out += c;
                ++p;
                continue;
            }
            std::size_t semicolon = s.find(';', p);
            if (semicolon == std::string::npos) return fail("unterminated reference");
            std::string ref = s.substr(p + 1, semicolon - p - 1);
            if (ref == "amp") *out += '&';
            else if (ref == "lt") *out += '<';
            else if (ref == "gt") *out += '>';
            else if (ref == "quot") *out += '"';
            else if (ref == "apos") *out += '\'';
            else if (ref.size() > 1 && ref[0] == '#') {
                char* end = nullptr;
                long code = ref[1] == 'x' ? std::strtol(ref.c_str() + 2, &end, 16) : std::strtol(ref.c_str() + 1, &end, 10);
                if (*end != '\0' || code <= 0 || code > 127) return fail("unsupported character reference");
                *out += static_cast<char>(code);
            } else {
                return fail("unknown entity &" + ref + ";");
            }
            p = semicolon + 1;
        }
        return true;
    }

    bool skipComment() {
        std::size_t end = s.find("-->", p + 4);
        if (end == std::string::npos) return fail("unterminated comment");
        p = end + 3;
        return true;
    }

    bool element(Element* e) {
        ++p;  // '<'
        if (!name(&e->name)) return false;
        for (;;) {
            bool spaced = p < s.size() && space(s[p]);
            skipSpace();
            if (p >= s.size()) return fail("unterminated start tag");
            if (s[p] == '/' || s[p] == '>') break;
            if (!spaced) return fail("space expected before attribute");
            std::string key, value;
            if (!name(&key)) return false;
            skipSpace();
            if (p >= s.size() || s[p] != '=') return fail("'=' expected");
            ++p;
            skipSpace();
            if (p >= s.size() || (s[p] != '"' && s[p] != '\'')) return fail("quoted attribute value expected");
            char quote = s[p++];
            if (!characters(quote, &value)) return false;
            if (p >= s.size()) return fail("unterminated attribute value");
            ++p;
            if (!e->attributes.emplace(key, value).second) return fail("duplicate attribute " + key);
        }
        if (s[p] == '/') {
            if (!startsWith("/>")) return fail("'/>' expected");
            p += 2;
            return true;
        }
        ++p;  // '>'
        for (;;) {
            if (p >= s.size()) return fail("element <" + e->name + "> not closed");
            if (startsWith("</")) {
                p += 2;
                std::string closing;
                if (!name(&closing)) return false;
                if (closing != e->name) return fail("</" + closing + "> closes <" + e->name + ">");
                skipSpace();
                if (p >= s.size() || s[p] != '>') return fail("'>' expected");
                ++p;
                return true;
            }
            if (startsWith("<!--")) {
                if (!skipComment()) return false;
            } else if (s[p] == '<') {
                e->children.push_back(std::make_unique<Element>());
                if (!element(e->children.back().get())) return false;
            } else if (!characters('<', &e->text)) {
                return false;
            }
        }
    }

    // Prolog, comments and white space around the root element.
    bool misc() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                if (!skipComment()) return false;
            } else {
                return true;
            }
        }
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
    if (r.startsWith("<?xml")) {
        std::size_t end = xml.find("?>");
        if (end == std::string::npos) {
            *error = "unterminated XML declaration";
            return nullptr;
        }
        r.p = end + 2;
    }
    auto root = std::make_unique<Element>();
    bool ok = r.misc() && (r.p < xml.size() && xml[r.p] == '<' ? true : r.fail("root element expected")) &&
              r.element(root.get()) && r.misc() && (r.p == xml.size() || r.fail("content after the root element"));
    if (!ok) {
        *error = r.error;
        return nullptr;
    }
    return root;
}

}  // namespace xmltest
