// The AntivirusInfo inventory document.
#pragma once

#include "platform/context.h"

void fncCreateAVXML(RunContext& rc);
