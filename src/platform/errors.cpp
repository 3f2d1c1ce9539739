#include "platform/errors.h"

namespace mabrel::platform {

std::string describeError(int number) {
    switch (number) {
    case err::InvalidArgument: return "プロシージャの呼び出し、または引数が不正です。";
    case err::IndexOutOfRange: return "インデックスが有効範囲にありません。";
    case err::Cancelled: return "キャンセルされました。";
    case err::NameTooLong: return "ファイル名が長すぎます。";
    case err::FileNotFound: return "ファイルが見つかりません。";
    case err::DeviceIo: return "デバイス I/O エラーです。";
    case err::FileAlreadyExists: return "既に同名のファイルが存在します。";
    case err::DiskFull: return "ディスクの空き容量が不足しています。";
    case err::InputPastEnd: return "ファイルにこれ以上データがありません。";
    case err::PermissionDenied: return "アクセスが拒否されました。";
    case err::DiskNotReady: return "ディスクの準備ができていません。";
    case err::PathFileAccess: return "パス名が無効です。";
    case err::PathNotFound: return "パスが見つかりません。";
    case err::AlreadyModal: return "フォームは既に表示されています。モーダル表示はできません。";
    default: return "アプリケーション定義またはオブジェクト定義のエラーです。";
    }
}

PlatformError::PlatformError(int number) : PlatformError(number, describeError(number)) {}

PlatformError::PlatformError(int number, std::string description)
    : std::runtime_error("err " + std::to_string(number) + " (" + description + ")"),
      number_(number),
      description_(std::move(description)) {}

}  // namespace mabrel::platform
