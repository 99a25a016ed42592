#include <cstdio>
#include <string>

#include "platform/os.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  std::string error;
  if (!os::Startup(argc, argv, &error)) {
    std::fprintf(stderr, "avdefupdate: %s\n", error.c_str());
    return 2;
  }
  return Main();
}
