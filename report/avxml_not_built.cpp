// The inventory document is not built yet.
#include "report/avxml.h"

void fncCreateAVXML(RunContext&) {}
