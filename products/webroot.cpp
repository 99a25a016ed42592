// Webroot SecureAnywhere Endpoint Protection: its own registry key (WRData)
// holds everything reported; the product check reads it.
#include "products/detection.h"
#include "products/products.h"
#include "products/record.h"
#include "products/uninstall_rows.h"

void WebRoot_Details(RunContext& rc) {
  RunUninstallFamily(rc, {"WebRoot_Details", ChkWebRootInstalled, "MSG : WebRoot not installed",
                          [](RunContext& r) {
                            WriteRecord(r, "WebRoot", r.WebrootDefinition, "", r.WebrootDefinition,
                                        r.WebrootLastDefinition, r.WebrootEngine, "0");
                          }});
}
