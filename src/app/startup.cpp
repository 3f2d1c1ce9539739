#include "app/startup.h"

#include "platform/errors.h"
#include "util/bas_basic.h"

namespace mabrel::app {

namespace {

// Whether the drive or share is there. The path checker takes a bare root
// on trust; a remembered Q:\ or \\server\share\ that is gone would show
// as an empty view with an error at every start.
bool rootExists(platform::FileSystem& fs, const std::string& drive) {
    try {
        return (fs.attributes(drive + "\\") & platform::attr::Directory) != 0;
    } catch (const platform::PlatformError&) {
        return false;
    }
}

}  // namespace

StartFolder chooseStartFolder(platform::FileSystem& fs, const std::string& rememberedFolder,
                              const std::string& commandLine, const std::string& currentDirectory) {
    // A command line that yields any path wins, even one the checker then
    // rejects: the fallback is the current directory, not the remembered folder.
    std::string folder = bas_basic::normaliseLongName(fs, commandLine);
    if (folder.empty()) folder = rememberedFolder;
    auto checked = bas_basic::checkPath(fs, folder);
    if (checked && checked->folder == "\\" && !rootExists(fs, checked->drive)) checked.reset();
    if (checked) return {checked->drive + checked->folder, checked->file};
    std::string fallback = currentDirectory;
    if (fallback.empty() || fallback.back() != '\\') fallback += '\\';
    return {fallback, {}};
}

std::optional<std::string> terminalAnswer(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return std::nullopt;
    const std::string version = std::to_string(MABREL_VERSION_MAJOR) + "." + std::to_string(MABREL_VERSION_MINOR) +
                                "." + std::to_string(MABREL_VERSION_REVISION);
    if (arguments[0] == "--version") return "mabrel9-iv " + version + "\n";
    if (arguments[0] != "--help") return std::nullopt;
    return "使い方: mabrel9-iv [フォルダーまたはファイル]\n"
           "\n"
           "ファイルを開く前にその版をフォルダーの中の _mabre-l94 にコピーして残し、\n"
           "以前の版の一覧・復活・削除と、版ごとのコメントができるツールです。\n"
           "\n"
           "フォルダー（またはファイル）を指定すると、そのフォルダーを表示します。\n"
           "相対パスは現在のディレクトリーから数えます。指定しないと、前回最後に\n"
           "見ていたフォルダーを表示します。C:\\ はルート（/）にあたります。\n"
           "\n"
           "  --help     この説明を表示して終了します\n"
           "  --version  版を表示して終了します\n"
           "\n"
           "設定ファイル: $XDG_CONFIG_HOME/mabrel9-iv/mabrel9-iv.ini\n"
           "              （XDG_CONFIG_HOME が無いときは ~/.config/mabrel9-iv/mabrel9-iv.ini）\n"
           "詳しくは man mabrel9-iv と、画面の「操作説明」ボタンをご覧ください。\n";
}

}  // namespace mabrel::app
