// The AntivirusInfo inventory document.
#pragma once

#include "run/context.h"

void fncCreateAVXML(RunContext& rc);
