#include "sequencer/wait_list.h"

namespace zw {

std::vector<std::string_view> SplitWaitList(std::string_view waitList, char separator)
{
    std::vector<std::string_view> entries;
    size_t i = 0;
    while (i < waitList.size()) {
        size_t end = waitList.find(separator, i);
        if (end == std::string_view::npos) end = waitList.size();
        if (end > i) entries.push_back(waitList.substr(i, end - i));
        i = end + 1;
    }
    return entries;
}

}  // namespace zw
