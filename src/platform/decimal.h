// Whole numbers as decimal text, by hand: the C library's formatted output
// would weigh more in the executables than everything that prints numbers.
#pragma once

#include <string>

namespace zw {

// Appends value's digits to out, with leading zeros up to width digits.
inline void AppendDecimal(std::string& out, unsigned long long value, int width = 1)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = "0123456789"[value % 10];
        value /= 10;
    } while (value != 0);
    for (int pad = count; pad < width; ++pad) out += '0';
    while (count > 0) out += digits[--count];
}

}  // namespace zw
