// Names of the return and condition codes the host reports.
#pragma once

#include <string>

#include "tracewell/twain.h"

std::string ReturnCodeName(TW_UINT16 rc);
std::string ConditionCodeName(TW_UINT16 cc);
