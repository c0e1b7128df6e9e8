#pragma once
// The "C" locale, for number conversions that must not follow the process's LC_NUMERIC.
#include <locale.h>

namespace jsonxx {
namespace detail {

// Created once and kept for the life of the process; null only if the C library cannot
// provide the "C" locale.
inline locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace detail
}  // namespace jsonxx
