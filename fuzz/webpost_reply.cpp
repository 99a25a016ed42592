// The management server's replies, end to end over a loopback post: the
// latest-version fields, the VIPRE definition document and the exclusion
// decision, whose stored copy must decide as the reply did.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/webpost.h"
#include "run/gate.h"
#include "tests/support/mock_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MockServer server;
  static fuzz::Machine machine("", server.BaseUrl() + "wp/");
  const std::string reply(reinterpret_cast<const char*>(data), size);
  for (const char* page : {"/wp//tfr_wpgetavversion.asp", "/wp//tfr_wpavvendef.asp", "/wp//tfr_wpavupdtexclude.asp"}) {
    server.On(page, {reply});
  }
  machine.Remove("drive_c/Program Files (x86)/Agent/AVUpdate/LastAVDefUpd.ini");
  RunContext rc;
  machine.Start(rc);
  std::vector<std::string> fields;
  if (FncGetLatestAvVersion(rc, "NORTON", &fields) && fields.size() < 2) std::abort();
  std::string defVersion;
  (void)fncVipreDefinitionFromDC(rc, &defVersion);

  // A stored value "0" first, so that a reply that is not stored leaves one.
  machine.Host("drive_c/Program Files (x86)/Agent/AVUpdate/LastAVDefUpd.ini",
               "[LastExcludeStatus]\r\nExcludeUpdate=0\r\n");
  DecideUpdateExclusion(rc);
  const int16_t live = rc.UpdateExclusion;
  server.On("/wp//tfr_wpavupdtexclude.asp", {"", 200, 0, true});
  DecideUpdateExclusion(rc);
  if (live != -1 && rc.UpdateExclusion != live) std::abort();  // the stored copy decided otherwise
  return 0;
}
