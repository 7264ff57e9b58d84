#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sequencer/wait_list.h"

namespace {

TEST(WaitList, SplitsIntoNonEmptyEntries)
{
    struct {
        const char* waitList;
        char separator;
        std::vector<std::string> entries;
    } const cases[] = {
        {"", '~', {}},
        {"~~~", '~', {}},
        {"a.exe", '~', {"a.exe"}},
        {"a.exe~b.exe", '~', {"a.exe", "b.exe"}},
        {"~a.exe~~b.exe~", '~', {"a.exe", "b.exe"}},
        {"a.exe~*.tmp", '~', {"a.exe", "*.tmp"}},
        {" ", '~', {" "}},  // a blank is a name like any other
        // The dialog's separator: a '~' list is one entry, a wildcard loses its star.
        {"a.exe~b.exe", '*', {"a.exe~b.exe"}},
        {"a.exe*b.exe", '*', {"a.exe", "b.exe"}},
        {"*.tmp", '*', {".tmp"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (std::string_view e : zw::SplitWaitList(c.waitList, c.separator)) got.emplace_back(e);
        EXPECT_EQ(got, c.entries) << c.waitList;
    }
}

}  // namespace
