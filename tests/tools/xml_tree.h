// A strict little XML reader for tests: it accepts a prolog, elements,
// attributes in double or single quotes, text, comments and the five
// predefined entities plus numeric character references, and rejects
// anything else that is not well-formed (unbalanced or crossed tags, a raw
// '<' or '&', duplicate attributes, text outside the root element).
#ifndef QORTA_TESTS_XML_TREE_H
#define QORTA_TESTS_XML_TREE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace xmltest {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;  // entity references decoded
    std::string text;                                // all direct text, decoded
    std::vector<std::unique_ptr<Element>> children;

    // The value of `attribute`, or "" when it is absent.
    std::string attr(const std::string& attribute) const;
    // Every element below this one (depth first) named `elementName` whose
    // `attribute` is `value` (any value when `attribute` is empty).
    std::vector<const Element*> findAll(const std::string& elementName, const std::string& attribute = "",
                                        const std::string& value = "") const;
};

// Parses `xml`. Returns the root element, or nullptr with a reason in
// `*error` when the document is not well-formed.
std::unique_ptr<Element> parse(const std::string& xml, std::string* error);

}  // namespace xmltest

#endif
