// Tintara's command-line entry point (until the interface is built).
#include <cstdio>
#include <cstring>
#include <string>

#include "app/SelfTest.h"
#include "pixel/Arith.h"

namespace {
constexpr const char* kVersion = "Tintara 4.0.0";

int Usage() {
  std::fprintf(stderr, "usage: tintara --version | --selftest-image OUT.bmp\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  tintara::InitPixelTables();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--selftest-image") == 0) {
    const std::string out = argv[2];
    if (!tintara::WriteSelfTestImage(out)) {
      std::fprintf(stderr, "tintara: could not write %s\n", out.c_str());
      return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
  }
  return Usage();
}
