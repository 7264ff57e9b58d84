#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "setuplist/setup_list.h"

namespace zw {

// A reader of Windows profile (INI) text with the rules of
// GetPrivateProfileStringA as the launcher relies on them, checked against
// Wine's reader:
//
// - Lines end at any run of CR and LF characters; blanks (tab, LF, VT, FF,
//   CR, ^Z, space) at both ends of a line are dropped.
// - "[name]" starts a section: the name runs to the last ']' of the line and
//   is trimmed. A line that starts with '[' but holds no ']' after it is no
//   section header; it is read as a key of the section it stands in.
// - Any other line is a key: the name runs to the first '=' and is trimmed;
//   the value is the rest with its leading blanks dropped. A line without '='
//   is a key without a value, which reads as the fallback. Lines starting
//   with ';' are not special: they are keys like any other.
// - Section and key names compare without regard to ASCII case; the names
//   asked for are trimmed too. The first section of a name is the only one
//   looked in, and the first key of a name in it wins.
// - A NUL ends a name or value (after the line was trimmed).
// - A value that starts with ' or " and ends with the same quote (two
//   characters at least) is given without them. When the buffer is exactly as
//   long as the value without its opening quote, the last character that fits
//   is dropped as if it were the closing quote (Wine does so; a quoted value
//   of 149 characters reads as 148 through a 150-byte buffer).
// - The fallback loses its trailing spaces (never its first character) and
//   its quotes by the same rules.
//
// The text is bytes of the system code page: a single-byte one, or, with a
// lead-byte test, a double-byte one whose trail bytes are never '[', ']', '='
// or a blank (code page 949), so lines, names and values fall where the
// system's own reading puts them. The system counts a value in characters and
// then converts it into the buffer; a value that does not fit ends before the
// last whole character that does (never half a double-byte character), and
// the count returned is then size - 1 whatever was copied. Byte sequences
// that are invalid in the code page, which the system turns into '?', are
// taken as they are. Files that the system decodes from Unicode (a UTF-16
// byte order mark) are not decoded here; a UTF-8 byte order mark stays part
// of the first line, as on Windows (Wine decodes such a file as UTF-8).
//
// Used by the simulated Windows of the host tests and by the setup-list
// checker, so both read a list exactly as the launcher does on Windows; the
// launcher itself asks the system.
// True for the first byte of a double-byte character.
using LeadByteTest = bool (*)(unsigned char c);

// The lead bytes of code page 949 (Korean).
bool IsLeadByte949(unsigned char c);

class ProfileText {
public:
    // Without a lead-byte test every byte is one character.
    explicit ProfileText(std::string text, LeadByteTest isLeadByte = nullptr)
        : text_(std::move(text)), isLeadByte_(isLeadByte)
    {
    }

    // The value of key in section as an unlimited buffer would give it; false
    // when the section or key is missing or the key has no '='.
    bool Find(std::string_view section, std::string_view key, std::string& value) const;

    // GetPrivateProfileStringA's contract: copies at most size - 1 characters
    // and a NUL, returns the number copied; the fallback when nothing is found.
    unsigned Read(std::string_view section, std::string_view key, const char* fallback, char* buffer,
                  unsigned size) const;

    // The names of the keys with a value in section, in file order, each once
    // (the first of a name is the one read), as the reader sees them.
    std::vector<std::string> Keys(std::string_view section) const;

    const std::string& Text() const { return text_; }

private:
    // The raw value (quotes still on); false when there is none.
    bool FindRaw(std::string_view section, std::string_view key, std::string_view& value) const;

    std::string text_;
    LeadByteTest isLeadByte_;
};

// A reader over profile text in memory, through the same value buffer as the
// launcher's reads. The text must outlive the reader.
SetupValueReader ProfileTextReader(const ProfileText& text);

}  // namespace zw
