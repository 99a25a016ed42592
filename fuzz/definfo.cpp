// definfo.dat as the Norton and Symantec products leave it, read by the
// details step before and after an update.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "products/norton.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Machine machine(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Symantec\\Symantec Endpoint Protection\\InstalledApps]\r\n"
      "\"SEPAppDataDir\"=\"C:\\\\S1\\\\\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Symantec\\Symantec Endpoint Protection\\InstalledApps]\r\n"
      "\"SEPAppDataDir\"=\"C:\\\\S1\\\\\"\r\n");
  machine.Host("drive_c/S1/Data/Definitions/VirusDefs/Definfo.dat",
               std::string(reinterpret_cast<const char*>(data), size));
  RunContext rc;
  machine.Start(rc);
  (void)readFileVirusDef(rc, true, "");
  (void)readFileVirusDef(rc, false, "AfterLiveUpdate");
  (void)FormatRecordDate(rc.Norton.BeforeCurDefs);
  (void)FormatRecordDate(rc.Norton.AfterCurDefs);
  return 0;
}
