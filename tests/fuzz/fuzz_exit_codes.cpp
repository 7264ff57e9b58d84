// ParseSuccessCodes (a value of [ExitCodes]) on arbitrary bytes. Every
// non-empty entry between commas is a code, "*" or an invalid entry, exactly
// once; an invalid entry is kept as written; a code reads back from its
// decimal or hexadecimal text.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = InputText(data, size);
    const zw::SuccessCodes codes = zw::ParseSuccessCodes(input);
    FUZZ_CHECK(codes.listed);

    std::vector<std::string> numbers;  // the entries of '-' and digits, leading zeros dropped
    size_t entries = 0, stars = 0;
    for (size_t from = 0; from <= input.size();) {
        size_t end = input.find(',', from);
        if (end == std::string_view::npos) end = input.size();
        std::string_view e = input.substr(from, end - from);
        while (!e.empty() && (e.front() == ' ' || e.front() == '\t')) e.remove_prefix(1);
        while (!e.empty() && (e.back() == ' ' || e.back() == '\t')) e.remove_suffix(1);
        if (!e.empty()) ++entries;
        if (e == "*") ++stars;
        const bool negative = !e.empty() && e.front() == '-';
        std::string_view digits = negative ? e.substr(1) : e;
        if (!negative && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            // An HRESULT's hexadecimal form reads back as its decimal.
            char* stop = nullptr;
            const std::string hex(digits.substr(2));
            const unsigned long long value = std::strtoull(hex.c_str(), &stop, 16);
            if (*stop == '\0' && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
                numbers.push_back(std::to_string(value));
        }
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        if (!digits.empty()) numbers.push_back((negative ? "-" : "") + std::string(digits));
        from = end + 1;
    }
    FUZZ_CHECK(codes.codes.size() + codes.invalid.size() + stars == entries);
    FUZZ_CHECK(codes.any == (stars > 0));
    for (const std::string& bad : codes.invalid) {
        FUZZ_CHECK(!bad.empty() && bad.find(',') == std::string::npos);
        FUZZ_CHECK(input.find(bad) != std::string_view::npos);
    }
    // Each code is an entry: its decimal, or the negative whose 32-bit pattern it is.
    for (const uint32_t code : codes.codes) {
        const std::string plain = std::to_string(code);
        const std::string negative = "-" + std::to_string((0x100000000ULL - code) & 0xFFFFFFFFULL);
        const bool found = std::find(numbers.begin(), numbers.end(), plain) != numbers.end() ||
                           std::find(numbers.begin(), numbers.end(), negative) != numbers.end() ||
                           (code == 0 && std::find(numbers.begin(), numbers.end(), "-0") != numbers.end());
        FUZZ_CHECK(found);
    }
    return 0;
}
