// Platform errors: every failure of the platform layer surfaces as one of these,
// carrying the error number the rest of the program reasons about and a
// Japanese description for the messages shown to the person.
#pragma once

#include <stdexcept>
#include <string>

namespace mabrel::platform {

// The error numbers the program meets or names.
namespace err {
inline constexpr int InvalidArgument = 5;
inline constexpr int IndexOutOfRange = 9;
// The person cancelled a long copy: nothing to report beyond that.
inline constexpr int Cancelled = 18;
inline constexpr int NameTooLong = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIo = 57;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int InputPastEnd = 62;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int AlreadyModal = 400;
}  // namespace err

// Descriptions that say more than their number's: a folder or file that
// cannot be read says so, a folder where a file should be is named so.
inline constexpr char kCannotRead[] = "読み取りのアクセスが拒否されました。";
inline constexpr char kFolderNotFile[] = "ファイルではなくフォルダーです。";
// What the program refuses to read or write through, in words.
inline constexpr char kLinkNotFile[] = "ファイルではなく、ほかの場所へのリンクです。リンクの先は読み書きしません。";
inline constexpr char kLinkNotFolder[] =
    "フォルダーではなく、ほかの場所へのリンクです。リンクの先には何も書かず、何も消しません。";
inline constexpr char kNotRegularFile[] = "通常のファイルではありません（パイプやデバイスなど）。読み込みません。";
inline constexpr char kFileTooLarge[] = "ファイルが大きすぎます（64 MiB を超えています）。読み込みません。";
inline constexpr char kBeingWritten[] =
    "ほかのプログラムが書き込み中のため、ある時点の内容としてコピーできません。書き込みが終わってから、やり直してください。";

// The Japanese description of an error number; a generic text for numbers
// the program does not name.
std::string describeError(int number);

class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(int number);
    PlatformError(int number, std::string description);

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

private:
    int number_;
    std::string description_;
};

}  // namespace mabrel::platform
