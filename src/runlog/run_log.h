// The run log: what the run did, one line per event, for the people who
// deploy the launcher. It is opt-in (/log:<path>); without it nothing is
// written at all. The file is appended to, so several runs, or the 32-bit
// launcher and the sibling it hands over to, share one file.
//
// A step adds an event with one line of its own:
//
//     Log("item ", currentIndex, ": started ", currentFile, " directly");
//
// Parts are texts and whole numbers, written one after the other; Quoted()
// puts a text between double quotes, Hex() writes a number as 0x....
// Every line starts with the local date and time to the millisecond and the
// process id. A log that cannot be opened or written changes nothing in the
// run and shows nothing: it simply stays off.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

namespace zw {

// Opens the log at path for appending (created when missing). An empty path
// leaves the log off.
void OpenRunLog(std::string_view path);
void CloseRunLog();
bool RunLogOpen();

// Constructors rather than aggregates: clang before 16 (the fuzz build's)
// has no parenthesised aggregate initialisation.
struct Quoted {
    explicit Quoted(std::string_view quoted) : text(quoted) {}
    std::string_view text;
};
// A text between double quotes, with the value of each NAME=value whose NAME
// (letter case aside) holds PASS, PWD, SECRET or TOKEN, or ends in KEY,
// written as ***: item values, parameters and the command-line tail may
// carry passwords and licence keys, and the log is no place for them.
struct Masked {
    explicit Masked(std::string_view masked) : text(masked) {}
    std::string_view text;
};
struct Hex {
    explicit Hex(uint32_t number) : value(number) {}
    uint32_t value;
};

void AppendLogPart(std::string& line, std::string_view text);
void AppendLogPart(std::string& line, Quoted quoted);
void AppendLogPart(std::string& line, Masked masked);
void AppendLogPart(std::string& line, Hex hex);
void AppendLogPart(std::string& line, long long number);
void AppendLogPart(std::string& line, unsigned long long number);
template <std::integral Number>
requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) void AppendLogPart(std::string& line,
                                                                                        Number number)
{
    if constexpr (std::signed_integral<Number>)
        AppendLogPart(line, static_cast<long long>(number));
    else
        AppendLogPart(line, static_cast<unsigned long long>(number));
}

// Writes one line: the time, the process id, then the text. Line breaks in
// the text become blanks.
void WriteRunLogLine(std::string_view text);

template <class... Parts>
void Log(const Parts&... parts)
{
    if (!RunLogOpen()) return;
    std::string line;
    (AppendLogPart(line, parts), ...);
    WriteRunLogLine(line);
}

// The system's text for an error code, on one line, with the code itself:
// "The system cannot find the file specified. (2)".
std::string SystemErrorText(uint32_t code);

}  // namespace zw
