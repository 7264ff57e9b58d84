#pragma once

#include <string>
#include <string_view>

namespace zw {

// A reader of Windows profile (INI) text with the rules of
// GetPrivateProfileStringA as the launcher relies on them: section and key
// names compared without regard to ASCII case, blanks around the name, the '='
// and the value dropped, a value enclosed in a matching pair of single or
// double quotes given without them, the first of repeated sections or keys
// winning. Lines that are neither a section header nor hold '=' are ignored.
//
// Used by the simulated Windows and by the setup-list checker, so both read a
// list exactly as each other.
class ProfileText {
public:
    explicit ProfileText(std::string text) : text_(std::move(text)) {}

    // The value of key in section; false when either is missing.
    bool Find(std::string_view section, std::string_view key, std::string& value) const;

    // GetPrivateProfileStringA's contract: copies at most size - 1 characters
    // and a NUL, returns the number copied; the fallback when nothing is found.
    unsigned Read(std::string_view section, std::string_view key, const char* fallback, char* buffer,
                  unsigned size) const;

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

}  // namespace zw
