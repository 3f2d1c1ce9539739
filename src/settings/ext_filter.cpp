#include "settings/ext_filter.h"

#include "util/text.h"

namespace mabrel::settings {

bool isListed(const std::string& fileName, const std::string& list) {
    // The name's extension from its last dot, in lower case, then ".": ".ext."
    // holds no other dot, so a match always covers one whole entry. A name
    // without a dot gives ".".
    const std::size_t dot = fileName.rfind('.');
    std::string key = dot == std::string::npos ? std::string() : util::toLowerAscii(fileName.substr(dot));
    key += '.';
    return list.find(key) != std::string::npos;
}

bool filterAllows(std::int16_t mode, const std::string& list, const std::string& fileName) {
    const bool listed = isListed(fileName, list);
    return mode == 1 ? listed : !listed;
}

}  // namespace mabrel::settings
