// Architectures without fixed-address stubs: functions are handed out at their own addresses.
#include "FixedCode.h"

void* FixedStub(void* target) { return target; }
