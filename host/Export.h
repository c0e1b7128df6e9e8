#pragma once
/// @file
/// Export markers of the shared library.

/// Marks what the host may link against; everything else in the library stays hidden.
#define ISILON_API __attribute__((visibility("default")))
/// Members of an exported class that are the library's own business, kept out of its ABI.
#define ISILON_HIDDEN __attribute__((visibility("hidden")))
