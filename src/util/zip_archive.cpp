#include "util/zip_archive.h"

#include <zlib.h>

#include <algorithm>

namespace mabrel::util {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;

[[noreturn]] void fail(ZipError::Kind kind, std::string detail) { throw ZipError{kind, std::move(detail)}; }

std::uint32_t le(std::string_view b, std::size_t at, int n) {
    if (at > b.size() || b.size() - at < static_cast<std::size_t>(n)) fail(ZipError::Damaged, "ZIP の見出しが途中で切れています");
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

ZipArchive::ZipArchive(std::string_view bytes) : bytes_(bytes) {
    if (bytes.size() < kEndSize || le(bytes, 0, 4) != kLocalSignature) {
        fail(bytes.size() >= 4 && le(bytes, 0, 4) == kEndSignature ? ZipError::Damaged : ZipError::NotZip,
             "ZIP ファイルではありません");
    }
    // The end record, behind which only its comment (at most 64 KB) may come.
    std::size_t end = bytes.size() - kEndSize;
    const std::size_t lowest = bytes.size() - kEndSize > 0xFFFF ? bytes.size() - kEndSize - 0xFFFF : 0;
    while (le(bytes, end, 4) != kEndSignature) {
        if (end == lowest) fail(ZipError::Damaged, "ZIP の目次が見つかりません");
        --end;
    }
    const std::uint32_t count = le(bytes, end + 10, 2);
    const std::uint32_t directorySize = le(bytes, end + 12, 4);
    const std::uint32_t directory = le(bytes, end + 16, 4);
    if (directory == 0xFFFFFFFF || count == 0xFFFF) fail(ZipError::Unsupported, "ZIP64 の形式は読めません");
    if (std::uint64_t{directory} + directorySize > end) fail(ZipError::Damaged, "ZIP の目次が壊れています");
    std::size_t at = directory;
    entries_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (le(bytes, at, 4) != kCentralSignature) fail(ZipError::Damaged, "ZIP の目次が壊れています");
        Entry e;
        e.flags = static_cast<std::uint16_t>(le(bytes, at + 8, 2));
        e.method = static_cast<std::uint16_t>(le(bytes, at + 10, 2));
        e.crc = le(bytes, at + 16, 4);
        e.packedSize = le(bytes, at + 20, 4);
        e.size = le(bytes, at + 24, 4);
        const std::size_t nameLength = le(bytes, at + 28, 2);
        const std::size_t rest = nameLength + le(bytes, at + 30, 2) + le(bytes, at + 32, 2);
        e.localHeader = le(bytes, at + 42, 4);
        if (bytes.size() - at - kCentralSize < rest) fail(ZipError::Damaged, "ZIP の目次が壊れています");
        e.name.assign(bytes.substr(at + kCentralSize, nameLength));
        entries_.push_back(std::move(e));
        at += kCentralSize + rest;
    }
}

const ZipArchive::Entry* ZipArchive::find(std::string_view name) const {
    for (const Entry& e : entries_) {
        if (sameName(e.name, name)) return &e;
    }
    return nullptr;
}

std::string ZipArchive::read(const Entry& e, std::uint64_t limit) const {
    // Bit 0: encrypted (method 99 is AES, which sets it too).
    if ((e.flags & 1) != 0 || e.method == 99) fail(ZipError::Encrypted, "暗号化されています");
    if (e.method != 0 && e.method != 8) fail(ZipError::Unsupported, "圧縮方式 " + std::to_string(e.method) + " は読めません");
    if (e.size > limit) fail(ZipError::TooLarge, e.name);
    if (le(bytes_, e.localHeader, 4) != kLocalSignature) fail(ZipError::Damaged, e.name + " の位置が壊れています");
    const std::uint64_t data = e.localHeader + kLocalSize + le(bytes_, e.localHeader + 26, 2) + le(bytes_, e.localHeader + 28, 2);
    if (data > bytes_.size() || bytes_.size() - data < e.packedSize) fail(ZipError::Damaged, e.name + " が途中で切れています");
    const std::string_view packed = bytes_.substr(static_cast<std::size_t>(data), static_cast<std::size_t>(e.packedSize));

    std::string out;
    if (e.method == 0) {
        out.assign(packed);
    } else {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) fail(ZipError::Damaged, "zlib の用意ができません");
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        z.avail_in = static_cast<uInt>(packed.size());
        // The size the directory states is only a hint: grown as needed, never past the limit.
        out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(e.size, 4096), limit + 1)));
        std::size_t have = 0;
        int status = Z_OK;
        while (status == Z_OK) {
            if (have == out.size()) {
                if (have > limit) break;
                out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(out.size() * 2, limit + 1)));
            }
            z.next_out = reinterpret_cast<Bytef*>(out.data() + have);
            z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - have, 1u << 30));
            const uInt before = z.avail_out;
            status = inflate(&z, Z_NO_FLUSH);
            have += before - z.avail_out;
            if (status == Z_BUF_ERROR && z.avail_in > 0 && z.avail_out == 0) status = Z_OK;
        }
        inflateEnd(&z);
        if (have > limit) fail(ZipError::TooLarge, e.name);
        if (status != Z_STREAM_END) fail(ZipError::Damaged, e.name + " の圧縮データが壊れています");
        out.resize(have);
    }
    if (out.size() > limit) fail(ZipError::TooLarge, e.name);
    if (out.size() != e.size ||
        crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) != e.crc) {
        fail(ZipError::Damaged, e.name + " の中身が壊れています（CRC）");
    }
    return out;
}

}  // namespace mabrel::util
