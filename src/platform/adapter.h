#pragma once

#include "platform/platform.h"

namespace zw {

// The real Windows behind the seam.
Platform& Win32Platform();

}  // namespace zw
