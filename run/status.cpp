#include "run/status.h"

void WriteStatusLine(RunContext& rc, const std::string& text) {
  try {
    if (rc.StatusStream.valid()) os::WriteFileHandle(rc.StatusStream, text + "\r\n");
  } catch (...) {
  }
}
