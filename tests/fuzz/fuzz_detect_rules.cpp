// ParseDetectRules and ParseVersion on arbitrary bytes. Every non-empty rule
// is either kept or named as a problem, never both and never lost; a kept
// rule is the trimmed text between two ';'; a version's fields fit 32 bits.
#include <string>

#include "detect/detect_rules.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = InputText(data, size);
    const zw::DetectRules parsed = zw::ParseDetectRules(input);

    size_t segments = 0;
    for (size_t from = 0; from <= input.size();) {
        size_t end = input.find(';', from);
        if (end == std::string_view::npos) end = input.size();
        std::string_view s = input.substr(from, end - from);
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
        if (!s.empty()) ++segments;
        from = end + 1;
    }
    FUZZ_CHECK(parsed.rules.size() + parsed.problems.size() == segments);
    for (const zw::DetectRule& rule : parsed.rules) {
        FUZZ_CHECK(!rule.text.empty() && rule.text.find(';') == std::string::npos);
        FUZZ_CHECK(input.find(rule.text) != std::string_view::npos);
        FUZZ_CHECK(rule.type == zw::RuleType::Driver || !rule.target.empty());
        if (rule.op == zw::RuleOp::AtLeast) FUZZ_CHECK(rule.operandIsVersion);
        if (rule.operandIsVersion) {
            FUZZ_CHECK(rule.version.count >= 1 && rule.version.count <= 4);
            for (const uint64_t f : rule.version.fields) FUZZ_CHECK(f <= 0xFFFFFFFFULL);
            FUZZ_CHECK(zw::CompareVersions(rule.version, rule.version) == 0);
        }
        FUZZ_CHECK(!zw::RuleInWords(rule).empty());
    }
    // The whole input as one version: fields and order agree with the text.
    zw::Version a, b;
    if (zw::ParseVersion(input, a)) {
        FUZZ_CHECK(a.count >= 1 && a.count <= 4);  // leading zeros make a field as long as it likes
        FUZZ_CHECK(zw::ParseVersion(std::string(input) + ".0", b) == (a.count < 4));
        if (a.count < 4) FUZZ_CHECK(zw::CompareVersions(a, b) == 0);
    }
    return 0;
}
