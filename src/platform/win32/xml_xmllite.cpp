// XML through XmlLite, the parser Windows carries (xmllite.dll, in every
// Windows since Vista). The cross toolchain has no import library for it:
// CreateXmlReader is looked up in the system folder's copy.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <cstdio>

#include "platform/win32/wide.h"
#include "platform/xml.h"

namespace mabrel::platform {

namespace {

using CreateXmlReaderCall = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderCall createXmlReader() {
    static const CreateXmlReaderCall call = [] {
        HMODULE module = ::LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return module != nullptr
                   ? reinterpret_cast<CreateXmlReaderCall>(reinterpret_cast<void*>(::GetProcAddress(module, "CreateXmlReader")))
                   : nullptr;
    }();
    return call;
}

template <typename T>
struct Releasing {
    T* p = nullptr;
    ~Releasing() {
        if (p != nullptr) p->Release();
    }
};

std::string hresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace

XmlResult parseXml(std::string_view document, XmlHandler& handler) {
    XmlResult result;
    const CreateXmlReaderCall create = createXmlReader();
    Releasing<IXmlReader> reader;
    if (create == nullptr || FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.p), nullptr))) {
        result.error = "XML を読む用意ができません（XmlLite）";
        return result;
    }
    Releasing<IStream> stream;
    stream.p = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(document.data()), static_cast<UINT>(document.size()));
    if (stream.p == nullptr || document.size() > 0xFFFFFFFFu) {
        result.error = "XML を読む用意ができません（メモリ）";
        return result;
    }
    reader.p->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    if (FAILED(reader.p->SetInput(stream.p))) {
        result.error = "XML を読む用意ができません（XmlLite）";
        return result;
    }
    std::vector<std::string> names;  // the attributes' texts, kept while the handler sees them
    std::vector<std::string> values;
    std::vector<XmlAttribute> attributes;
    const auto local = [&](std::string& out) {
        const WCHAR* name = nullptr;
        UINT length = 0;
        reader.p->GetLocalName(&name, &length);
        out = win32::narrow(name, length);
    };
    std::string element, text;
    XmlNodeType type;
    HRESULT hr;
    while ((hr = reader.p->Read(&type)) == S_OK) {
        bool go = true;
        switch (type) {
        case XmlNodeType_Element: {
            local(element);
            const bool empty = reader.p->IsEmptyElement() != FALSE;
            names.clear();
            values.clear();
            attributes.clear();
            for (HRESULT a = reader.p->MoveToFirstAttribute(); a == S_OK; a = reader.p->MoveToNextAttribute()) {
                names.emplace_back();
                local(names.back());
                const WCHAR* value = nullptr;
                UINT length = 0;
                reader.p->GetValue(&value, &length);
                values.push_back(win32::narrow(value, length));
            }
            reader.p->MoveToElement();
            for (std::size_t i = 0; i < names.size(); ++i) attributes.push_back({names[i], values[i]});
            go = handler.startElement(element, attributes) && (!empty || handler.endElement(element));
            break;
        }
        case XmlNodeType_EndElement:
            local(element);
            go = handler.endElement(element);
            break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace: {
            const WCHAR* value = nullptr;
            UINT length = 0;
            reader.p->GetValue(&value, &length);
            text = win32::narrow(value, length);
            go = handler.text(text);
            break;
        }
        default:
            break;
        }
        if (!go) {
            result.stopped = true;
            return result;
        }
    }
    if (hr == S_FALSE) {
        result.ok = true;
    } else if (hr == static_cast<HRESULT>(WC_E_DTDPROHIBITED)) {
        result.error = "XML に DTD があります";
    } else {
        UINT line = 0;
        reader.p->GetLineNumber(&line);
        result.error = "XML の誤り（" + hresultText(hr) + "、" + std::to_string(line) + " 行目）";
    }
    return result;
}

}  // namespace mabrel::platform
