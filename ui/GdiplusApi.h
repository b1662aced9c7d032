#pragma once
// GDI+'s flat interface. Its headers want min and max, which NOMINMAX keeps
// out of <windows.h>.
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <gdiplus.h>
