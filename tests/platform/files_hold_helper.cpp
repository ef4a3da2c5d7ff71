// Second process for the files tests: places a hold on a file and keeps it
// until its standard input is closed.
//
//   files_hold_helper <prefix root> <Windows path> image|nodelete
//
// Prints "ready" once the hold is in place, or "failed: <reason>" and exits
// with status 1 when it cannot be placed.
#include <cstdio>
#include <cstring>

#include "platform/files/files.h"
#include "platform/prefix/prefix.h"

namespace platform = hovane::platform;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <prefix root> <path> image|nodelete\n", argv[0]);
    return 2;
  }
  platform::SetPrefixRoot(argv[1]);
  platform::FileError error = platform::FileError::Failed;
  platform::ProgramImageHold image;
  platform::File file;
  if (std::strcmp(argv[3], "image") == 0) {
    image = platform::ProgramImageHold::Acquire(argv[2], &error);
  } else if (std::strcmp(argv[3], "nodelete") == 0) {
    file = platform::File::Open(argv[2], platform::OpenMode::OpenExisting, platform::Access::Read,
                                platform::Share::NoDelete, &error);
  }
  if (error != platform::FileError::Ok) {
    std::printf("failed: %s\n", platform::DescribeFileError(error));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  while (std::fgetc(stdin) != EOF) {
  }
  return 0;
}
