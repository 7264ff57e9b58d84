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

bool ProfileText::FindRaw(std::string_view section, std::string_view key, std::string_view& value) const
{
    section = Trim(section);
    key = Trim(key);
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
                if (inSection) return false;  // the first section of that name is the only one read
                const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
                inSection = !sectionSeen && EqualsIgnoringAsciiCase(name, section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
            // No closing bracket: an ordinary key line.
        }
        if (!inSection) continue;
        const size_t eq = line.find('=');
        const std::string_view name = UpToNul(Trim(line.substr(0, eq)));
        if (!EqualsIgnoringAsciiCase(name, key)) continue;
        // The first key of the name decides, with or without a value.
        if (eq == std::string_view::npos) return false;
        std::string_view v = line.substr(eq + 1);
        while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
        value = UpToNul(v);
        return true;
    }
    return false;
}

std::vector<std::string> ProfileText::Keys(std::string_view section) const
{
    section = Trim(section);
    std::vector<std::string> keys, seen;
    std::string_view rest(text_);
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
                if (inSection) break;
                const std::string_view name = UpToNul(Trim(line.substr(1, close - 1)));
                inSection = !sectionSeen && EqualsIgnoringAsciiCase(name, section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
        }
        if (!inSection) continue;
        const size_t eq = line.find('=');
        const std::string_view name = UpToNul(Trim(line.substr(0, eq)));
        if (name.empty()) continue;
        bool known = false;
        for (const std::string& seenName : seen) known = known || EqualsIgnoringAsciiCase(seenName, name);
        if (known) continue;
        // The first line of a name decides; without '=' it has no value.
        seen.emplace_back(name);
        if (eq != std::string_view::npos) keys.emplace_back(name);
    }
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
