// The rules of [Detect]: text to rules, and the order of versions. Pure, so
// the checker reads a list exactly as the launcher does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zw {

constexpr const char* kSectionDetect = "Detect";
// A [Detect] value is read with a buffer of its own: 255 characters.
constexpr uint32_t kDetectBufferSize = 256;

// One to four dot-separated decimal fields below 2^32 (missing fields are 0),
// an optional leading 'v' (the VC++ runtime writes "v14.38.33135.00").
struct Version {
    uint64_t fields[4] = {};
    uint8_t count = 0;
};
bool ParseVersion(std::string_view text, Version& version);
// -1, 0 or 1 as a is below, equal to or above b; missing fields count as 0.
int CompareVersions(const Version& a, const Version& b);

enum class RuleType : uint8_t { Msi, Upgrade, Reg, File, Driver };
enum class RuleOp : uint8_t { None, Equal, AtLeast };

struct DetectRule {
    RuleType type = RuleType::Msi;
    bool view32 = false;    // reg32:
    std::string target;     // {code}, the key below HKLM, or the path
    bool hasValue = false;  // reg: a value is named ("@" is the default value)
    std::string value;      // the value's name, "" for the default value
    RuleOp op = RuleOp::None;
    std::string operand;  // as written
    Version version;      // the operand, where it reads as a version
    bool operandIsVersion = false;
    std::string text;  // the rule as written, blanks dropped
};

// Why a value cannot be judged, by the checker's warning ids.
struct DetectProblem {
    const char* id;  // detect_syntax, detect_hive, detect_wow6432node, detect_msi_field4
    std::string rule;
};

struct DetectRules {
    std::vector<DetectRule> rules;
    std::vector<DetectProblem> problems;  // any problem: the item is never skipped for these rules
    bool Judgeable() const { return problems.empty(); }
};

// A value of [Detect]: ';'-joined rules that must all hold.
DetectRules ParseDetectRules(std::string_view value);

// [Marker]: the key below HKLM an agent's rule looks for.
constexpr const char* kSectionMarker = "Marker";
// Why a [Marker] Key cannot be written, or null: it lies below SOFTWARE\,
// two names deeper at least, outside WOW6432Node (the view is the launcher's
// choice) and outside what Windows itself keeps there.
const char* MarkerKeyProblem(std::string_view key);

// The rule in the log's and the plan's words, e.g. "reg32 HKLM\A,B >= 1.2".
std::string RuleInWords(const DetectRule& rule);

}  // namespace zw
