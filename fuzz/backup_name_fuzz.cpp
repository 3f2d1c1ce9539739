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
    backup::BackupName read;
    try {
        read = backup::readBackupName(name);
    } catch (const platform::PlatformError& e) {
        FUZZ_CHECK(e.number() == platform::err::InvalidArgument && util::charLength(stem) < 20, "name", name);
        return;
    }
    FUZZ_CHECK(util::charLength(stem) >= 20, "name", name);
    FUZZ_CHECK(read.timestamp == util::rightChars(stem, 19), "name", name, "timestamp", read.timestamp);
    // A name of the builder's form is built again from what was read.
    if (util::leftChars(util::rightChars(stem, 20), 1) == "_") {
        FUZZ_CHECK(backup::backupCopyName(read.sourceName, read.timestamp) == name, "name", name, "source",
                   read.sourceName, "timestamp", read.timestamp);
    }
}

void buildAndRead(FuzzedDataProvider& p) {
    const std::string source = p.ConsumeRandomLengthString(300);
    const std::string timestamp = util::formatTimestamp(
        {p.ConsumeIntegralInRange(1000, 9999), p.ConsumeIntegralInRange(1, 12), p.ConsumeIntegralInRange(1, 31),
         p.ConsumeIntegralInRange(0, 23), p.ConsumeIntegralInRange(0, 59), p.ConsumeIntegralInRange(0, 59)});
    const std::string name = backup::backupCopyName(source, timestamp);
    const auto read = backup::readBackupName(name);
    FUZZ_CHECK(read.sourceName == source && read.timestamp == timestamp, "source", source, "timestamp", timestamp,
               "name", name, "read source", read.sourceName, "read timestamp", read.timestamp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readAnyName(std::string(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider p(data, size);
    buildAndRead(p);
    return 0;
}
