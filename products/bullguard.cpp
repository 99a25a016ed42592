// BullGuard: reported as present when its uninstall entry (Internet Security,
// Antivirus or Premium Protection) is found; the product keeps no definition
// version this agent can read.
#include "products/detection.h"
#include "products/products.h"
#include "products/uninstall_rows.h"

void BullGuard_Details(RunContext& rc) {
  RunUninstallFamily(rc, {"BullGuard_Details", ChkBullGuardInstalled, "MSG : BullGuard not installed",
                          [](RunContext& r) { WritePresenceRecord(r, "BullGuard"); }});
}
