#pragma once

#include <string_view>
#include <vector>

namespace zw {

// The entries of a waitList: runs of the separator, and separators at either
// end, give no entry, so no entry is ever empty.
std::vector<std::string_view> SplitWaitList(std::string_view waitList, char separator);

}  // namespace zw
