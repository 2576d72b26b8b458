// talwen serve: the HTTP gateway (not built yet).
#include <iostream>

#include "programs/program.h"

namespace talwen::program {

int ServeCommand(int, char**) {
  std::cerr << "talwen serve: not available in this build\n";
  return 2;
}

}  // namespace talwen::program
