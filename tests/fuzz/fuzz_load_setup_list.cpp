// The whole LoadSetupList on the simulated Windows, with the fuzz input as the
// text of "Zarnowel.ini". The first byte picks the run: bit 0 silentMode,
// bit 1 a Korean system locale, bit 2 the executable in the drive's root,
// bit 3 also reads the text as code page 949 through small buffers.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "profile/profile_text.h"

namespace {

bool IsEmpty(const zw::SetupItem& item) { return SameFields(item, zw::SetupItem()); }

// True when the first n bytes of s are whole characters of code page 949.
bool EndsOnCharacter(std::string_view s, size_t n)
{
    size_t i = 0;
    while (i < n) i += (zw::IsLeadByte949(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    return i == n;
}

// The reader through buffers of exactly the given size (so ASan sees one
// byte too many): a terminated prefix of the whole value that ends on a whole
// double-byte character, and a count that fits the buffer.
void CheckDoubleByteReads(const std::string& text)
{
    const zw::ProfileText reader(text, zw::IsLeadByte949);
    for (const char* section : {"SetupList", "SetupSilent"}) {
        for (const char* key : {"Setup1", "Setup2"}) {
            std::string whole;
            const bool found = reader.Find(section, key, whole);
            for (unsigned size : {1u, 2u, 3u, zw::kValueBufferSize}) {
                const std::unique_ptr<char[]> buffer(new char[size]);
                std::memset(buffer.get(), 'x', size);
                const unsigned count = reader.Read(section, key, "", buffer.get(), size);
                const size_t length = strnlen(buffer.get(), size);
                FUZZ_CHECK(length < size);
                FUZZ_CHECK(count <= size - 1);
                if (!found) {
                    FUZZ_CHECK(length == 0);
                    continue;
                }
                const std::string_view got(buffer.get(), length);
                FUZZ_CHECK(length <= whole.size() && std::string_view(whole).substr(0, length) == got);
                FUZZ_CHECK(EndsOnCharacter(whole, length));
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string text(InputText(data, size).substr(1));
    const bool silent = (flags & 1) != 0;
    const bool korean = (flags & 2) != 0;
    const bool root = (flags & 4) != 0;
    if ((flags & 8) != 0) CheckDoubleByteReads(text);
    const std::string directory = root ? "C:" : "C:\\setup";

    sim::SimScope process;
    sim::SimWindows& sim = process.sim;
    zw::silentMode = silent ? 1 : 0;
    sim.lcid = korean ? 0x0812 : 0x0409;
    sim.currentDirectory = "C:\\elsewhere";
    sim.AddDirectory("C:\\elsewhere");
    sim.modulePath = directory + "\\zarnowel.exe";
    sim.AddFile(sim.modulePath);
    sim.AddFile(directory + "\\Zarnowel.ini", text);

    zw::LoadSetupList();

    FUZZ_CHECK(zw::languageTag == (korean ? "kor" : "eng"));
    FUZZ_CHECK(zw::programDirectory == directory);
    FUZZ_CHECK(sim.currentDirectory == (root ? "C:\\" : directory));
    FUZZ_CHECK(sim.CountCalls("FileExists") == 1);

    // The keys read: optionally SetupSilent's Setup1, then Setup1, Setup2,
    // ... of one section, never past Setup9, all from ".\Zarnowel.ini".
    std::vector<std::string> keys;
    for (const sim::Call& c : sim.CallsNamed("GetPrivateProfileStringA")) {
        const size_t bar = c.detail.rfind('|');
        FUZZ_CHECK(bar != std::string::npos && c.detail.substr(bar + 1) == ".\\Zarnowel.ini");
        keys.push_back(c.detail.substr(0, bar));
    }
    const zw::ProfileText whole(text);
    std::string silentFirst;
    const bool silentChosen = silent && whole.Find("SetupSilent", "Setup1", silentFirst) && !silentFirst.empty();
    const std::string section = silentChosen ? "SetupSilent" : "SetupList";
    size_t k = 0;
    if (silent) {
        FUZZ_CHECK(!keys.empty() && keys[0] == "SetupSilent|Setup1");
        k = 1;
    }
    const size_t sectionReads = keys.size() - k;
    FUZZ_CHECK(sectionReads >= 1 && sectionReads <= 9);
    for (size_t i = 0; i < sectionReads; ++i) FUZZ_CHECK(keys[k + i] == section + "|Setup" + std::to_string(i + 1));

    // Items are the split values of the keys read, in order; the load stops
    // at the first empty value and after item 9.
    for (int32_t n = zw::kFirstItem; n <= zw::kLastItem; ++n) {
        const zw::SetupItem& item = zw::SetupItemAt(n);
        size_t total = 0;
        bool ended = false;
        for (const auto field : zw::kSetupFields) {
            const std::string* const f = &(item.*field);
            FUZZ_CHECK(f->size() <= zw::kValueLimit);
            FUZZ_CHECK(f->find_first_of(std::string_view(",\0\r\n", 4)) == std::string::npos);
            FUZZ_CHECK(!ended || f->empty());
            ended = ended || f->empty();
            total += f->size();
        }
        FUZZ_CHECK(total <= zw::kValueLimit);

        std::string value;
        const bool found = whole.Find(section, "Setup" + std::to_string(n), value) && !value.empty();
        const bool read = static_cast<size_t>(n) <= sectionReads;
        if (!read) {
            FUZZ_CHECK(IsEmpty(item));
            continue;
        }
        if (!found) {
            // Only the last key read may come back empty, and it ends the load.
            FUZZ_CHECK(static_cast<size_t>(n) == sectionReads);
            FUZZ_CHECK(IsEmpty(item));
            continue;
        }
        FUZZ_CHECK(static_cast<size_t>(n) < sectionReads || n == zw::kLastItem);
        // A 150-byte buffer gets the first 149 characters of the value, or 148
        // of a quoted value of exactly 149 (the reader's cut of the quote).
        const bool a = SameFields(item, zw::SplitSetupValue(value.substr(0, zw::kValueLimit)));
        const bool b = value.size() == zw::kValueLimit &&
                       SameFields(item, zw::SplitSetupValue(value.substr(0, zw::kValueLimit - 1)));
        FUZZ_CHECK(a || b);
    }
    // Numbers outside 1..9 read as empty items.
    for (int32_t n : {INT32_MIN, -1, 0, 10, 11, INT32_MAX}) FUZZ_CHECK(IsEmpty(zw::SetupItemAt(n)));
    return 0;
}
