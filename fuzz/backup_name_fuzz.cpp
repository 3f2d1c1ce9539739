// Backup copy names: any name in the backup folder is read without harm, and
// every name the builder makes reads back as the source name and timestamp
// that went into it.
#include <cstdint>

#include "backup/backup_store.h"
#include "fuzz_support.h"
#include "util/bas_basic.h"
#include "util/text.h"

namespace {

using namespace mabrel;

// Any name as found in a backup folder (raw bytes: POSIX names need not be UTF-8).
void readAnyName(const std::string& name) {
    const auto parts = bas_basic::splitName(name, ".", 0);
    FUZZ_CHECK(parts.left + parts.right == name, "name", name, "left", parts.left, "right", parts.right);
    const std::string& stem = parts.left;
    std::string source, timestamp;
    if (!backup::readBackupName(name, source, timestamp)) {
        FUZZ_CHECK(util::charLength(stem) < 20 || util::leftChars(util::rightChars(stem, 20), 1) != "_", "name", name);
        return;
    }
    FUZZ_CHECK(util::charLength(stem) >= 20, "name", name);
    FUZZ_CHECK(timestamp == util::rightChars(stem, 19), "name", name, "timestamp", timestamp);
    // Read, it is built again from what was read.
    FUZZ_CHECK(backup::backupCopyName(source, timestamp) == name, "name", name, "source", source, "timestamp",
               timestamp);
}

void buildAndRead(FuzzedDataProvider& p) {
    const std::string source = p.ConsumeRandomLengthString(300);
    const std::string timestamp = util::formatTimestamp(
        {p.ConsumeIntegralInRange(1000, 9999), p.ConsumeIntegralInRange(1, 12), p.ConsumeIntegralInRange(1, 31),
         p.ConsumeIntegralInRange(0, 23), p.ConsumeIntegralInRange(0, 59), p.ConsumeIntegralInRange(0, 59)});
    const std::string name = backup::backupCopyName(source, timestamp);
    std::string readSource, readTimestamp;
    const bool read = backup::readBackupName(name, readSource, readTimestamp);
    FUZZ_CHECK(read && readSource == source && readTimestamp == timestamp, "source", source, "timestamp", timestamp,
               "name", name, "read source", readSource, "read timestamp", readTimestamp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readAnyName(std::string(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider p(data, size);
    buildAndRead(p);
    return 0;
}
