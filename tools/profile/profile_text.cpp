#include "profile/profile_text.h"

#include <cstring>
#include <limits>

#include "platform/ascii.h"

namespace zw {

namespace {

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' '; }

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// Bytes taken by the first n characters of s.
size_t BytesOfChars(std::string_view s, size_t n, LeadByteTest isLeadByte)
{
    size_t i = 0;
    for (; n > 0 && i < s.size(); --n)
        i += (isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    return i;
}

size_t CharCount(std::string_view s, LeadByteTest isLeadByte)
{
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) i += BytesOfChars(s.substr(i), 1, isLeadByte);
    return n;
}

// The longest run of whole characters at the front of s that fits maxBytes.
size_t WholeCharsWithin(std::string_view s, size_t maxBytes, LeadByteTest isLeadByte)
{
    size_t i = 0;
    while (i < s.size()) {
        const size_t next = i + BytesOfChars(s.substr(i), 1, isLeadByte);
        if (next > maxBytes) break;
        i = next;
    }
    return i;
}

struct Copied {
    std::string text;
    unsigned count;
};

// What a buffer of size bytes (at least 1) receives: the value, quotes
// handled, counted and cut in characters, then fitted into size - 1 bytes.
Copied CopyEntry(std::string_view value, size_t size, LeadByteTest isLeadByte)
{
    bool quoted = false;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    const size_t chars = CharCount(value, isLeadByte);
    size_t taken = chars < size - 1 ? chars : size - 1;
    if (quoted && size >= chars && taken > 0) --taken;
    const std::string_view text = value.substr(0, BytesOfChars(value, taken, isLeadByte));
    if (text.size() <= size - 1) return {std::string(text), static_cast<unsigned>(text.size())};
    return {std::string(text.substr(0, WholeCharsWithin(text, size - 1, isLeadByte))), static_cast<unsigned>(size - 1)};
}

}  // namespace

bool IsLeadByte949(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Hands each key line of the first section named section to visit, as its
// name (up to '=') and, when it has one, its value (after '=' and its
// blanks), until visit returns false.
void ProfileText::VisitSection(
    std::string_view section,
    const std::function<bool(std::string_view name, bool hasValue, std::string_view value)>& visit) const
{
    section = Trim(section);
    std::string_view rest(text_);
    // Keys before the first header belong to a section without a name.
    bool inSection = section.empty();
    bool sectionSeen = inSection;
    while (!rest.empty()) {
        size_t end = 0;
        while (end < rest.size() && !IsLineBreak(rest[end])) ++end;
        std::string_view line = Trim(rest.substr(0, end));
        while (end < rest.size() && IsLineBreak(rest[end])) ++end;
        rest.remove_prefix(end);
        if (line.empty()) continue;

        if (line.front() == '[') {
            const size_t close = line.rfind(']');
            if (close != 0 && close != std::string_view::npos) {
                if (inSection) return;  // the first section of that name is the only one read
                const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
                inSection = !sectionSeen && EqualsIgnoringAsciiCase(name, section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
            // No closing bracket: an ordinary key line.
        }
        if (!inSection) continue;
        const size_t eq = line.find('=');
        std::string_view value;
        if (eq != std::string_view::npos) {
            value = line.substr(eq + 1);
            while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
        }
        if (!visit(UpToNul(Trim(line.substr(0, eq))), eq != std::string_view::npos, UpToNul(value))) return;
    }
}

bool ProfileText::FindRaw(std::string_view section, std::string_view key, std::string_view& value) const
{
    key = Trim(key);
    bool found = false;
    VisitSection(section, [&](std::string_view name, bool hasValue, std::string_view v) {
        if (!EqualsIgnoringAsciiCase(name, key)) return true;
        // The first key of the name decides, with or without a value.
        found = hasValue;
        if (hasValue) value = v;
        return false;
    });
    return found;
}

std::vector<std::string> ProfileText::Keys(std::string_view section) const
{
    std::vector<std::string> keys, seen;
    VisitSection(section, [&](std::string_view name, bool hasValue, std::string_view) {
        if (name.empty()) return true;
        bool known = false;
        for (const std::string& seenName : seen) known = known || EqualsIgnoringAsciiCase(seenName, name);
        if (known) return true;
        // The first line of a name decides; without '=' it has no value.
        seen.emplace_back(name);
        if (hasValue) keys.emplace_back(name);
        return true;
    });
    return keys;
}

bool ProfileText::Find(std::string_view section, std::string_view key, std::string& value) const
{
    std::string_view raw;
    if (!FindRaw(section, key, raw)) return false;
    value = CopyEntry(raw, std::numeric_limits<size_t>::max(), isLeadByte_).text;
    return true;
}

unsigned ProfileText::Read(std::string_view section, std::string_view key, const char* fallback, char* buffer,
                           unsigned size) const
{
    if (buffer == nullptr || size == 0) return 0;
    std::string_view raw;
    if (!FindRaw(section, key, raw)) {
        raw = fallback != nullptr ? std::string_view(fallback) : std::string_view();
        while (raw.size() > 1 && raw.back() == ' ') raw.remove_suffix(1);
    }
    const Copied copied = CopyEntry(raw, size, isLeadByte_);
    std::memcpy(buffer, copied.text.data(), copied.text.size());
    buffer[copied.text.size()] = '\0';
    return copied.count;
}

SetupValueReader ProfileTextReader(const ProfileText& text)
{
    return [&text](const char* section, const char* key) {
        char buffer[kValueBufferSize] = {};
        text.Read(section, key, "", buffer, kValueBufferSize);
        return std::string(buffer);
    };
}

}  // namespace zw
