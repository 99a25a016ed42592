// BluePoint: reported as present when its uninstall entry (BluePoint Security) is found;
// the product keeps no definition version this agent can read.
#include "products/detection.h"
#include "products/products.h"
#include "products/uninstall_rows.h"

void BluePoint_Details(RunContext& rc) {
  RunUninstallFamily(rc, {"BluePoint_Details", ChkBluePointInstalled, "MSG : BluePoint not installed",
                          [](RunContext& r) { WritePresenceRecord(r, "BluePoint"); }});
}
