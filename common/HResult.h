#pragma once
// One way to bail out of an HRESULT-returning function. The expression is
// evaluated exactly once, so it may be a call with side effects.
#include <windows.h>

#define RETURN_IF_FAILED(expr)             \
  do {                                     \
    const HRESULT hrChecked_ = (expr);     \
    if (FAILED(hrChecked_)) {              \
      return hrChecked_;                   \
    }                                      \
  } while (0)
