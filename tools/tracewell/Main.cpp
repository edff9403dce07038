// The `tracewell` command's entry point.
#include "Command.h"

int main(int argc, char** argv) { return RunTracewell(argc, argv); }
