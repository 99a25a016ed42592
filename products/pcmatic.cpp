// PCMatic: reported as present when its uninstall entry (PC Matic) is found;
// the product keeps no definition version this agent can read.
#include "products/detection.h"
#include "products/products.h"
#include "products/uninstall_rows.h"

void PCMatic_Details(RunContext& rc) {
  RunUninstallFamily(rc, {"PCMatic_Details", ChkPCMaticInstalled, "MSG : PCMatic not installed",
                          [](RunContext& r) { WritePresenceRecord(r, "PCMatic"); }});
}
