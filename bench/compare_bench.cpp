// Comparing two versions of a 10 MB text (a log in Japanese and ASCII, 1% of
// its lines changed): the compare window's whole work, from reading the two
// files to the characters marked in each changed line, against GNU
// `diff -u` on the same pair, its output thrown away. And two versions of an
// Excel workbook of 50,000 cells, 1% of them changed, against `unzip -p` of
// both files' sheet and string XML into `diff`.
#include <spawn.h>
#include <sys/wait.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <thread>

#include "backup/frm_compare.h"
#include "bench/bench_support.h"
#include "platform/native.h"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;

struct ComparePair {
    ComparePair() : native(bench::uniqueFolder("compare")) {
        static const char* words[] = {"処理", "開始", "終了", "ファイル", "保存", "接続", "error", "warning",
                                      "request", "response", "user", "計算", "結果", "完了"};
        std::mt19937 random{7};
        std::string older, newer;
        for (int i = 0; older.size() < (std::size_t{10} << 20); ++i) {
            std::string line = "2024-03-01 09:" + std::to_string(i / 60 % 60) + ":" + std::to_string(i % 60) + " [" +
                               (random() % 3 == 0 ? "WARN" : "INFO") + "] id=" + std::to_string(i);
            for (unsigned k = 0, n = 2 + random() % 6; k < n; ++k) line += std::string(" ") + words[random() % 14];
            older += line + "\n";
            newer += (random() % 100 == 0 ? line + " 変更あり" : line) + "\n";
        }
        const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        bench::writeFile(dir, "older.txt", older, std::time(nullptr) - 86400, 0644);
        bench::writeFile(dir, "newer.txt", newer, std::time(nullptr), 0644);
        ::close(dir);
        drive = bench::driveForm(native);
    }
    ~ComparePair() { bench::removeTree(native); }

    stdfs::path native;
    std::string drive;
};

void put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A zip of deflated parts, as Excel writes one.
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string out, directory;
    for (const auto& [name, data] : parts) {
        std::string packed(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(packed.data());
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, Z_FINISH);
        packed.resize(z.total_out);
        deflateEnd(&z);
        const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        for (std::string* header : {&out, &directory}) {
            const bool central = header == &directory;
            put(*header, central ? 0x02014b50 : 0x04034b50, 4);
            if (central) put(*header, 20, 2);
            put(*header, 20, 2), put(*header, 0, 2), put(*header, 8, 2), put(*header, 0, 4);
            put(*header, crc, 4), put(*header, static_cast<std::uint32_t>(packed.size()), 4);
            put(*header, static_cast<std::uint32_t>(data.size()), 4);
            put(*header, static_cast<std::uint32_t>(name.size()), 2), put(*header, 0, 2);
            if (central) put(*header, 0, 2), put(*header, 0, 2), put(*header, 0, 2), put(*header, 0, 4), put(*header, offset, 4);
            *header += name;
        }
        out += packed;
    }
    const auto at = static_cast<std::uint32_t>(out.size());
    out += directory;
    put(out, 0x06054b50, 4);
    put(out, 0, 4);
    put(out, static_cast<std::uint32_t>(parts.size()), 2), put(out, static_cast<std::uint32_t>(parts.size()), 2);
    put(out, static_cast<std::uint32_t>(directory.size()), 4), put(out, at, 4), put(out, 0, 2);
    return out;
}

// Two versions of a ledger of 5,000 rows of 10 cells (shared strings,
// numbers, dates, formulas with their values), 1% of the cells changed;
// the sheet's XML on one line, as Excel writes it.
struct WorkbookPair {
    WorkbookPair() : native(bench::uniqueFolder("compare-xlsx")) {
        std::mt19937 random{11};
        const auto book = [](const std::string& strings, const std::string& sheet) {
            const std::string head = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
            const std::string main = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
            const std::string rels = R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
            const std::string type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
            return zipOf({{"_rels/.rels", head + rels + R"(<Relationship Id="rId1" Type=")" + type +
                                              R"(officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
                          {"xl/workbook.xml", head + "<workbook" + main +
                                                  R"( xmlns:r=")" + type.substr(0, type.size() - 1) +
                                                  R"("><sheets><sheet name="台帳" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
                          {"xl/_rels/workbook.xml.rels",
                           head + rels + R"(<Relationship Id="rId1" Type=")" + type + R"(worksheet" Target="worksheets/sheet1.xml"/>)" +
                               R"(<Relationship Id="rId2" Type=")" + type + R"(sharedStrings" Target="sharedStrings.xml"/>)" +
                               R"(<Relationship Id="rId3" Type=")" + type + R"(styles" Target="styles.xml"/></Relationships>)"},
                          {"xl/styles.xml", head + "<styleSheet" + main +
                                                R"(><cellXfs count="3"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="4"/></cellXfs></styleSheet>)"},
                          {"xl/sharedStrings.xml", head + "<sst" + main + ">" + strings + "</sst>"},
                          {"xl/worksheets/sheet1.xml", head + "<worksheet" + main + "><sheetData>" + sheet + "</sheetData></worksheet>"}});
        };
        static const char* items[] = {"りんご", "みかん", "ぶどう", "もも", "なし", "かき", "いちご", "メロン"};
        std::string strings;
        for (int i = 0; i < 400; ++i) strings += "<si><t>" + std::string(items[i % 8]) + " 規格" + std::to_string(i) + "</t></si>";
        std::string older, newer;
        for (int r = 1; r <= 5000; ++r) {
            std::string oldRow = "<row r=\"" + std::to_string(r) + "\">", newRow = oldRow;
            for (int c = 0; c < 10; ++c) {
                const std::string ref = std::string(1, static_cast<char>('A' + c)) + std::to_string(r);
                const auto cell = [&](unsigned v) {
                    switch (c) {
                    case 0: case 5: return "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(v % 400) + "</v></c>";
                    case 3: return "<c r=\"" + ref + "\"><f>B" + std::to_string(r) + "*C" + std::to_string(r) + "</f><v>" +
                                   std::to_string(v % 1000 * 3) + "</v></c>";
                    case 4: return "<c r=\"" + ref + "\" s=\"1\"><v>" + std::to_string(45000 + v % 700) + "</v></c>";
                    case 2: return "<c r=\"" + ref + "\" s=\"2\"><v>" + std::to_string(v % 100000) + ".25</v></c>";
                    default: return "<c r=\"" + ref + "\"><v>" + std::to_string(v % 100000) + "</v></c>";
                    }
                };
                const unsigned v = random();
                oldRow += cell(v);
                newRow += cell(random() % 100 == 0 ? v + 1 : v);
            }
            older += oldRow + "</row>";
            newer += newRow + "</row>";
        }
        const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        bench::writeFile(dir, "older.xlsx", book(strings, older), std::time(nullptr) - 86400, 0644);
        bench::writeFile(dir, "newer.xlsx", book(strings, newer), std::time(nullptr), 0644);
        ::close(dir);
        drive = bench::driveForm(native);
    }
    ~WorkbookPair() { bench::removeTree(native); }

    stdfs::path native;
    std::string drive;
};

// The compare window's work, as its front end waits for it.
double compareInCore(mabrel::platform::FileSystem& fs, const mabrel::platform::Codec& codec, const std::string& drive,
                     const std::string& olderName, const std::string& newerName, std::size_t leastChanges) {
    std::size_t changes = 0;
    const double s = bench::secondsOf([&] {
        mabrel::frm_compare window(fs, codec, {.folder = drive, .name = olderName, .backup = false, .path = {}, .title = "older", .shown = olderName, .label = olderName},
                                  {.folder = drive, .name = newerName, .backup = false, .path = {}, .title = "newer", .shown = newerName, .label = newerName});
        window.Form_Load();
        // Asked every millisecond, as the window's timer asks (more slowly):
        // a loop that only yields would take a core from the readers.
        while (window.outcome() == mabrel::frm_compare::Outcome::Pending) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            window.Timer_Tick(0);
        }
        if (window.outcome() != mabrel::frm_compare::Outcome::Shown) throw std::runtime_error("not compared");
        changes = window.comparison()->changes.size();
    });
    if (changes < leastChanges) throw std::runtime_error("too few changes found");
    return s;
}

// Runs a shell command line, its output thrown away; `expected` its exit status.
double shell(const std::string& command, int expected) {
    const char* argv[] = {"bash", "-c", command.c_str(), nullptr};
    return bench::secondsOf([&] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "bash", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            throw std::runtime_error("cannot run bash");
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != expected) throw std::runtime_error("unexpected: " + command);
    });
}

double diffU(const ComparePair& pair) {
    const std::string a = (pair.native / "older.txt").string(), b = (pair.native / "newer.txt").string();
    const char* argv[] = {"diff", "-u", a.c_str(), b.c_str(), nullptr};
    return bench::secondsOf([&] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "diff", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            throw std::runtime_error("cannot run diff");
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) throw std::runtime_error("diff found no difference");
    });
}

}  // namespace

int main() {
    bench::Goals goals;
    auto fs = mabrel::platform::makeNativeFileSystem();
    auto codec = mabrel::platform::makeNativeCodec();
    const ComparePair pair;
    goals.ratio("compare_10mb_vs_diff",
                bench::compare([&] { return compareInCore(*fs, *codec, pair.drive, "older.txt", "newer.txt", 500); },
                               [&] { return diffU(pair); }, 9, 31, 20),
                3, "compare window", "diff -u");
    const WorkbookPair books;
    const auto xml = [&](const char* name) {
        return "<(unzip -p '" + (books.native / name).string() + "' xl/worksheets/sheet1.xml xl/sharedStrings.xml)";
    };
    const std::string unzipDiff = "diff " + xml("older.xlsx") + " " + xml("newer.xlsx");
    goals.ratio("compare_xlsx_vs_unzip_diff",
                bench::compare([&] { return compareInCore(*fs, *codec, books.drive, "older.xlsx", "newer.xlsx", 300); },
                               [&] { return shell(unzipDiff, 1); }, 9, 31, 20),
                3, "compare window", "unzip -p | diff");
    return goals.exitCode();
}
