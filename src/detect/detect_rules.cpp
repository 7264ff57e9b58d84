#include "detect/detect_rules.h"

#include "platform/ascii.h"

namespace zw {

namespace {

constexpr uint64_t kFieldLimit = 0xFFFFFFFFULL;

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (AsciiUpper(c) >= 'A' && AsciiUpper(c) <= 'F'); }

// {8-4-4-4-12} of hexadecimal digits.
bool IsBracedGuid(std::string_view text)
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !IsHex(text[i])) return false;
    }
    return true;
}

// "WOW6432Node" as a whole component of a key path.
bool NamesWow6432Node(std::string_view key)
{
    size_t from = 0;
    while (from <= key.size()) {
        size_t end = key.find('\\', from);
        if (end == std::string_view::npos) end = key.size();
        if (EqualsIgnoringAsciiCase(key.substr(from, end - from), "WOW6432Node")) return true;
        from = end + 1;
    }
    return false;
}

// Splits "left>=right" or "left=right" at the first '='; None when there is none.
RuleOp SplitOperator(std::string_view text, std::string_view& left, std::string_view& right)
{
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        left = text;
        return RuleOp::None;
    }
    const bool atLeast = eq > 0 && text[eq - 1] == '>';
    left = text.substr(0, atLeast ? eq - 1 : eq);
    right = text.substr(eq + 1);
    return atLeast ? RuleOp::AtLeast : RuleOp::Equal;
}

struct Parser {
    DetectRules& out;
    DetectRule rule;

    bool Problem(const char* id)
    {
        out.problems.push_back({id, rule.text});
        return false;
    }

    // The operand after an operator must read as a version.
    bool TakeVersionOperand(RuleOp op, std::string_view operand)
    {
        rule.op = op;
        if (op == RuleOp::None) return true;
        rule.operand.assign(operand);
        rule.operandIsVersion = ParseVersion(operand, rule.version);
        return rule.operandIsVersion || Problem("detect_syntax");
    }

    bool Code(std::string_view body, bool upgrade)
    {
        std::string_view code, operand;
        const RuleOp op = SplitOperator(body, code, operand);
        rule.target.assign(code);
        if (!IsBracedGuid(code) || (upgrade && op == RuleOp::Equal)) return Problem("detect_syntax");
        if (!TakeVersionOperand(op, operand)) return false;
        // Windows Installer compares three fields only.
        return op == RuleOp::None || rule.version.count < 4 || Problem("detect_msi_field4");
    }

    bool Registry(std::string_view body)
    {
        std::string_view key;
        if (StartsWithIgnoringCase(body, "HKLM\\"))
            key = body.substr(5);
        else if (StartsWithIgnoringCase(body, "HKEY_LOCAL_MACHINE\\"))
            key = body.substr(19);
        else
            return Problem("detect_hive");
        const size_t comma = key.find(',');
        std::string_view left = key, operand;
        RuleOp op = RuleOp::None;
        if (comma != std::string_view::npos) {
            rule.hasValue = true;
            std::string_view name;
            op = SplitOperator(key.substr(comma + 1), name, operand);
            left = key.substr(0, comma);
            rule.value.assign(name == "@" ? std::string_view() : name);
            if (name.empty()) return Problem("detect_syntax");
        } else if (key.find('=') != std::string_view::npos) {
            return Problem("detect_syntax");
        }
        while (!left.empty() && left.back() == '\\') left.remove_suffix(1);
        rule.target.assign(left);
        if (left.empty() || left.front() == '\\') return Problem("detect_syntax");
        if (NamesWow6432Node(left)) return Problem("detect_wow6432node");
        rule.op = op;
        rule.operand.assign(operand);
        if (op == RuleOp::AtLeast) return TakeVersionOperand(op, operand);
        rule.operandIsVersion = op == RuleOp::Equal && ParseVersion(operand, rule.version);
        return true;
    }

    bool File(std::string_view body)
    {
        // A path may hold '='; the operator is the last one and needs a version.
        const size_t eq = body.rfind('=');
        std::string_view path = body, operand;
        RuleOp op = RuleOp::None;
        if (eq != std::string_view::npos) {
            const bool atLeast = eq > 0 && body[eq - 1] == '>';
            path = body.substr(0, atLeast ? eq - 1 : eq);
            operand = body.substr(eq + 1);
            op = atLeast ? RuleOp::AtLeast : RuleOp::Equal;
        }
        rule.target.assign(Trimmed(path));
        if (rule.target.empty()) return Problem("detect_syntax");
        return TakeVersionOperand(op, operand);
    }

    void One(std::string_view text)
    {
        rule = DetectRule();
        rule.text.assign(text);
        bool ok = false;
        if (StartsWithIgnoringCase(text, "msi:")) {
            rule.type = RuleType::Msi;
            ok = Code(text.substr(4), false);
        } else if (StartsWithIgnoringCase(text, "upgrade:")) {
            rule.type = RuleType::Upgrade;
            ok = Code(text.substr(8), true);
        } else if (StartsWithIgnoringCase(text, "reg32:")) {
            rule.type = RuleType::Reg;
            rule.view32 = true;
            ok = Registry(text.substr(6));
        } else if (StartsWithIgnoringCase(text, "reg:")) {
            rule.type = RuleType::Reg;
            ok = Registry(text.substr(4));
        } else if (StartsWithIgnoringCase(text, "file:")) {
            rule.type = RuleType::File;
            ok = File(text.substr(5));
        } else if (EqualsIgnoringAsciiCase(text, "driver")) {
            rule.type = RuleType::Driver;
            ok = true;
        } else {
            Problem("detect_syntax");
        }
        if (ok) out.rules.push_back(std::move(rule));
    }
};

const char* TypeWord(const DetectRule& rule)
{
    switch (rule.type) {
    case RuleType::Msi:
        return "msi";
    case RuleType::Upgrade:
        return "upgrade";
    case RuleType::Reg:
        return rule.view32 ? "reg32" : "reg";
    case RuleType::File:
        return "file";
    case RuleType::Driver:
        return "driver";
    }
    return "?";
}

}  // namespace

bool ParseVersion(std::string_view text, Version& version)
{
    version = Version();
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
    size_t i = 0;
    while (true) {
        if (version.count == 4) return false;
        const size_t start = i;
        uint64_t field = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            field = field * 10 + static_cast<uint64_t>(text[i] - '0');
            if (field > kFieldLimit) return false;
            ++i;
        }
        if (i == start) return false;
        version.fields[version.count++] = field;
        if (i == text.size()) return true;
        if (text[i] != '.') return false;
        ++i;
    }
}

int CompareVersions(const Version& a, const Version& b)
{
    for (size_t i = 0; i < 4; ++i)
        if (a.fields[i] != b.fields[i]) return a.fields[i] < b.fields[i] ? -1 : 1;
    return 0;
}

DetectRules ParseDetectRules(std::string_view value)
{
    DetectRules result;
    Parser parser{result, {}};
    size_t from = 0;
    while (from <= value.size()) {
        size_t end = value.find(';', from);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view text = Trimmed(value.substr(from, end - from));
        from = end + 1;
        if (!text.empty()) parser.One(text);
    }
    return result;
}

const char* MarkerKeyProblem(std::string_view key)
{
    if (!StartsWithIgnoringCase(key, "SOFTWARE\\")) return "it does not lie below SOFTWARE\\";
    const std::string_view below = key.substr(9);
    const size_t slash = below.find('\\');
    if (slash == 0 || slash == std::string_view::npos || slash + 1 >= below.size() || key.back() == '\\' ||
        key.find("\\\\") != std::string_view::npos)
        return "it names no key two levels below SOFTWARE\\";
    if (NamesWow6432Node(key)) return "it names WOW6432Node";
    for (const char* reserved : {"Microsoft", "Classes", "Policies"})
        if (EqualsIgnoringAsciiCase(below.substr(0, slash), reserved)) return "it lies in a key Windows keeps";
    return nullptr;
}

std::string RuleInWords(const DetectRule& rule)
{
    std::string words = TypeWord(rule);
    if (rule.type == RuleType::Driver) return words;
    words += ' ';
    if (rule.type == RuleType::Reg) words += "HKLM\\";
    words += rule.target;
    if (rule.hasValue) words += "," + (rule.value.empty() ? std::string("@") : rule.value);
    if (rule.op != RuleOp::None) words += (rule.op == RuleOp::AtLeast ? " >= " : " = ") + rule.operand;
    return words;
}

}  // namespace zw
