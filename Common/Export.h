// Marks what the data source module exports; everything else stays hidden inside it.
#pragma once

#define TRACEWELL_EXPORT __attribute__((visibility("default")))
