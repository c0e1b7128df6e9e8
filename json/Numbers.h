#pragma once
// The one conversion of a parsed JSON number to an integer field. Replies may carry any
// number (NaN never comes from the reader, but huge and negative values do); a plain cast
// of an out-of-range long double is undefined, these are defined for every input.
#include <cstdint>

namespace jsonxx {

// Truncates toward zero to 64 bits. [2^63, 2^64) converts as unsigned; negative values in
// int64 range convert through int64 (two's complement); NaN gives 0; +inf and >= 2^64 give
// UINT64_MAX; <= -2^63 gives the bit pattern of INT64_MIN.
inline uint64_t TruncToU64(long double v) {
  if (v != v) return 0;
  if (v >= 18446744073709551616.0L) return UINT64_MAX;
  if (v >= 0) return static_cast<uint64_t>(v);
  if (v <= -9223372036854775808.0L) return UINT64_C(0x8000000000000000);
  return static_cast<uint64_t>(static_cast<int64_t>(v));
}

// Low 32 bits of TruncToU64.
inline uint32_t TruncToU32(long double v) { return static_cast<uint32_t>(TruncToU64(v)); }

// Low 32 bits of TruncToU64, as two's complement.
inline int32_t TruncToI32(long double v) {
  uint32_t low = TruncToU32(v);
  return low <= INT32_MAX ? static_cast<int32_t>(low) : static_cast<int32_t>(low - UINT32_C(0x80000000)) + INT32_MIN;
}

// Truncates toward zero, saturating at the int64 limits; NaN gives 0.
inline int64_t TruncToI64(long double v) {
  if (v != v) return 0;
  if (v >= 9223372036854775808.0L) return INT64_MAX;
  if (v <= -9223372036854775808.0L) return INT64_MIN;
  return static_cast<int64_t>(v);
}

}  // namespace jsonxx
