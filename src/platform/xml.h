// Reading XML through a well-kept parser of the machine: expat on Linux,
// XmlLite on Windows. Names come without their prefix (their local part), so
// that "w:t" and "t" in a default namespace read alike; text is UTF-8. A
// document with a DTD is refused: the formats read here have none, and a
// DTD is how entity expansion takes memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mabrel::platform {

struct XmlAttribute {
    std::string_view name;   // local part
    std::string_view value;
};

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // Each returns false to stop reading (the document is then not read whole).
    virtual bool startElement(std::string_view name, const std::vector<XmlAttribute>& attributes) = 0;
    virtual bool endElement(std::string_view name) = 0;
    virtual bool text(std::string_view utf8) = 0;
};

struct XmlResult {
    bool ok = false;       // read to its end, well formed
    bool stopped = false;  // a handler asked to stop
    std::string error;     // why not, for a message
};

XmlResult parseXml(std::string_view document, XmlHandler& handler);

// The local part of a qualified name: "w:t" gives "t".
inline std::string_view localName(std::string_view name) {
    const auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

}  // namespace mabrel::platform
