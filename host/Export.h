#pragma once
// Marks what the host may link against; everything else in the library stays hidden.
#define ISILON_API __attribute__((visibility("default")))
