// The facts the end-to-end cases need, written by the build from the source
// that sets them, so that no case carries a copy that could drift:
//   zarnowel_facts --write FILE     FILE: shell assignments (ZW_TICK_MS,
//                                   ZW_GRACE_MS, ZW_VALUE_LIMIT, ZW_MEANING[code],
//                                   ZW_QUESTION/ZW_CAPTION/ZW_NOTICE[eng|kor]:
//                                   the restart texts in UTF-8)
//   zarnowel_facts --readme FILE    the exit-code table of README.md lists
//                                   exactly the launcher's own codes, in order
#include <iconv.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "restart/restart.h"
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

// Code page 949 text (the Korean box texts as the launcher passes them) in UTF-8.
std::string FromCp949(const char* text)
{
    std::string in(text), out(in.size() * 2, '\0');
    iconv_t cd = iconv_open("UTF-8", "CP949");
    char* from = in.data();
    char* to = out.data();
    size_t fromLeft = in.size(), toLeft = out.size();
    const bool ok =
        cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<size_t>(-1);
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return ok ? out.substr(0, out.size() - toLeft) : std::string("(not convertible)");
}

// UTF-16 text of the basic plane in UTF-8.
std::string FromUtf16(const char16_t* text)
{
    std::string out;
    for (; *text; ++text) {
        const unsigned c = *text;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
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
    out << "declare -A ZW_QUESTION ZW_CAPTION ZW_NOTICE\n"
        << "ZW_QUESTION[eng]=" << Quoted(zw::kRestartQuestionEnglish) << "\n"
        << "ZW_QUESTION[kor]=" << Quoted(FromCp949(zw::kRestartQuestionKorean)) << "\n"
        << "ZW_CAPTION[eng]=" << Quoted(zw::kRestartCaptionEnglish) << "\n"
        << "ZW_CAPTION[kor]=" << Quoted(FromCp949(zw::kRestartCaptionKorean)) << "\n"
        << "ZW_NOTICE[eng]=" << Quoted(FromUtf16(zw::kRestartNoticeEnglish)) << "\n"
        << "ZW_NOTICE[kor]=" << Quoted(FromUtf16(zw::kRestartNoticeKorean)) << "\n";
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
