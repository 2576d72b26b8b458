// talwen: the engine's program. `talwen call` runs one request from the command line;
// `talwen serve` is the HTTP gateway the handheld pages post to.
#include <cstring>
#include <iostream>

#include "programs/program.h"

int main(int argc, char** argv) {
  const char* usage =
      "usage: talwen call [--config FILE] [--server NAME=VALUE]... [--show-session] "
      "[KEY=VALUE]...\n"
      "       talwen serve [--config FILE] [--listen HOST:PORT] [--threads N] [--www DIR]\n";
  if (argc < 2) {
    std::cerr << usage;
    return 2;
  }
  if (std::strcmp(argv[1], "call") == 0) return talwen::program::CallCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "serve") == 0) return talwen::program::ServeCommand(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::cout << usage;
    return 0;
  }
  std::cerr << "talwen: unknown command '" << argv[1] << "'\n" << usage;
  return 2;
}
