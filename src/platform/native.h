// The platform layer of the machine the program is built for.
#pragma once

#include <memory>

#include "platform/filesystem.h"
#include "platform/process.h"
#include "platform/text.h"

namespace mabrel::platform {

std::unique_ptr<FileSystem> makeNativeFileSystem();
std::unique_ptr<Codec> makeNativeCodec();
// argv as main() received it.
std::unique_ptr<Process> makeNativeProcess(int argc, char** argv);

}  // namespace mabrel::platform
