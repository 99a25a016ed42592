// Gateway downloads are not built yet: the index can never be had, so agent
// type "QRTA" falls back to the site sequence.
#include "update/gateway_index.h"

bool DownloadFile(RunContext&, const std::string&, const std::string&) { return false; }
bool ReadINIfile(RunContext&) { return false; }
