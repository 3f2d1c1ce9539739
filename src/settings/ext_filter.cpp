#include "settings/ext_filter.h"

#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel::settings {

bool isListed(const std::string& fileName, const std::string& list) {
    // ".ext." holds no other dot, so a match always covers one whole entry.
    const std::string key = util::toLowerAscii(bas_basic::splitName(fileName, ".", 0).right) + ".";
    return list.find(key) != std::string::npos;
}

bool filterAllows(std::int16_t mode, const std::string& list, const std::string& fileName) {
    const bool listed = isListed(fileName, list);
    return mode == 1 ? listed : !listed;
}

}  // namespace mabrel::settings
