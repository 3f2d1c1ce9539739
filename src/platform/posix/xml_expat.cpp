// XML through expat (Debian libexpat1-dev).
#include <expat.h>

#include <algorithm>

#include "platform/xml.h"

namespace mabrel::platform {

namespace {

struct State {
    XML_Parser parser;
    XmlHandler& handler;
    bool stopped = false;
    bool doctype = false;
    std::vector<XmlAttribute> attributes;

    void stop() {
        stopped = true;
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** atts) {
    auto& s = *static_cast<State*>(data);
    if (s.stopped) return;
    s.attributes.clear();
    for (const XML_Char** a = atts; *a != nullptr; a += 2) s.attributes.push_back({localName(a[0]), a[1]});
    if (!s.handler.startElement(localName(name), s.attributes)) s.stop();
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto& s = *static_cast<State*>(data);
    if (!s.stopped && !s.handler.endElement(localName(name))) s.stop();
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<State*>(data);
    if (!s.stopped && !s.handler.text(std::string_view(text, static_cast<std::size_t>(length)))) s.stop();
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto& s = *static_cast<State*>(data);
    s.doctype = true;
    XML_StopParser(s.parser, XML_FALSE);
}

}  // namespace

XmlResult parseXml(std::string_view document, XmlHandler& handler) {
    XmlResult result;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (parser == nullptr) {
        result.error = "XML を読む用意ができません";
        return result;
    }
    State state{parser, handler, false, false, {}};
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    // Fed in pieces: expat takes an int length.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    XML_Status status = XML_STATUS_OK;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kPiece, document.size() - at);
        const bool last = at + n == document.size();
        status = XML_Parse(parser, document.data() + at, static_cast<int>(n), last ? XML_TRUE : XML_FALSE);
        at += n;
        if (last) break;
    } while (status == XML_STATUS_OK);
    if (state.doctype) {
        result.error = "XML に DTD があります";
    } else if (state.stopped) {
        result.stopped = true;
    } else if (status != XML_STATUS_OK) {
        result.error = std::string("XML の誤り（") + XML_ErrorString(XML_GetErrorCode(parser)) + "、" +
                       std::to_string(XML_GetCurrentLineNumber(parser)) + " 行目）";
    } else {
        result.ok = true;
    }
    XML_ParserFree(parser);
    return result;
}

}  // namespace mabrel::platform
