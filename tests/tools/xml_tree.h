// A strict little XML reader for tests. It accepts an XML declaration, one
// root element, nested elements with double-quoted attributes, text and the
// five predefined entities, and rejects anything else: unbalanced or
// crossed tags, a raw '<' or '&', unknown entities, duplicate attributes,
// content after the root.
#ifndef QORTA_TESTS_XML_TREE_H
#define QORTA_TESTS_XML_TREE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace xmltest {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;  // entities decoded
    std::string text;                                // direct text, decoded
    std::vector<std::unique_ptr<Element>> children;

    // The value of `attribute`, or "" when it is absent.
    std::string attr(const std::string& attribute) const;
    // Every element below this one, depth first, named `elementName` and,
    // when `attribute` is given, whose `attribute` is `value`.
    std::vector<const Element*> findAll(const std::string& elementName, const std::string& attribute = "",
                                        const std::string& value = "") const;
};

// The root element of `xml`, or nullptr with the reason in `*error`.
std::unique_ptr<Element> parse(const std::string& xml, std::string* error);

}  // namespace xmltest

#endif
