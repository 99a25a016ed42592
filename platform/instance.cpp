#include "platform/instance.h"

#include "platform/os.h"

bool AnotherInstanceRunning() {
  static const bool held = os::AcquireSingleInstance();
  return !held;
}
