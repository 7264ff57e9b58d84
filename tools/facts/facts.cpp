// The facts the end-to-end cases need, written by the build from the source
// that sets them, so that no case carries a copy that could drift:
//   zarnowel_facts --write FILE     FILE: shell assignments (ZW_TICK_MS,
//                                   ZW_GRACE_MS, ZW_VALUE_LIMIT, ZW_MEANING[code])
//   zarnowel_facts --readme FILE    the exit-code table of README.md lists
//                                   exactly the launcher's own codes, in order
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "sequencer/item_rules.h"
#include "setuplist/setup_list.h"
#include "state/run_outcome.h"

namespace {

struct Code {
    uint32_t value;
    const char* meaning;
};
#define ZW_FACT_ROW(value, meaning) {value, meaning},
const Code kCodes[] = {ZW_EXIT_CODES(ZW_FACT_ROW)};
#undef ZW_FACT_ROW

// 'text' for the shell.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int Write(const char* path)
{
    std::ofstream out(path, std::ios::binary);
    out << "# Written by the build (tools/facts) from the launcher's source.\n"
        << "ZW_TICK_MS=" << zw::kTimerPeriodMs << "\n"
        << "ZW_GRACE_MS=" << zw::kGracePolls * zw::kGracePollIntervalMs << "\n"
        << "ZW_VALUE_LIMIT=" << zw::kValueLimit << "\n"
        << "declare -A ZW_MEANING\n";
    for (const Code& code : kCodes) out << "ZW_MEANING[" << code.value << "]=" << Quoted(code.meaning) << "\n";
    return out.good() ? 0 : 1;
}

// The codes of the table under "### Exit codes for agents": rows "| N |".
int CheckReadme(const char* path)
{
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    std::vector<uint32_t> listed;
    while (std::getline(in, line)) {
        if (line.rfind("### ", 0) == 0) inSection = line == "### Exit codes for agents";
        if (!inSection || line.size() < 3 || line[0] != '|' || line[2] < '0' || line[2] > '9') continue;
        listed.push_back(static_cast<uint32_t>(std::stoul(line.substr(2))));
    }
    std::vector<uint32_t> want;
    for (const Code& code : kCodes) want.push_back(code.value);
    if (listed == want) {
        std::printf("README's exit-code table: %zu codes, as the launcher's own list\n", listed.size());
        return 0;
    }
    std::printf("README's exit-code table lists:");
    for (const uint32_t code : listed) std::printf(" %u", code);
    std::printf("\nthe launcher's own list (src/state/run_outcome.h):");
    for (const uint32_t code : want) std::printf(" %u", code);
    std::printf("\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string op = argc == 3 ? argv[1] : "";
    if (op == "--write") return Write(argv[2]);
    if (op == "--readme") return CheckReadme(argv[2]);
    std::fprintf(stderr, "usage: zarnowel_facts --write FILE | --readme README.md\n");
    return 2;
}
