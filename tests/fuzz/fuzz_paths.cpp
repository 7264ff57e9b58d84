// The four path helpers on arbitrary bytes. The input is one path for
// BaseName, ExtensionOf and DirectoryOf; for JoinRelativePath it is split at
// its first NUL into base and relative path (without a NUL the base is a
// fixed directory and the whole input is the relative path).
#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "setuplist/paths.h"

namespace {

// The text after the last separator is a tail of the path that holds no
// separator, and the separator stands right before it.
void CheckTail(std::string_view path, const std::string& tail, char separator)
{
    FUZZ_CHECK(path.ends_with(tail));
    FUZZ_CHECK(tail.find(separator) == std::string::npos);
    if (path.find(separator) == std::string_view::npos) {
        FUZZ_CHECK(tail == path);
    } else {
        FUZZ_CHECK(tail.size() < path.size());
        FUZZ_CHECK(path[path.size() - tail.size() - 1] == separator);
    }
}

void CheckDirectoryOf(std::string_view path)
{
    const std::string dir = zw::DirectoryOf(path);
    const std::string_view looked = path.substr(0, zw::kDirectoryOfScanLimit);
    FUZZ_CHECK(dir.size() <= zw::kDirectoryLimit);
    FUZZ_CHECK(path.substr(0, dir.size()) == dir);
    const size_t last = looked.rfind('\\');
    if (last == std::string_view::npos) {
        FUZZ_CHECK(dir.empty());
    } else {
        FUZZ_CHECK(dir.size() == last);
    }
    const bool whole = zw::DirectoryOfIsWhole(path);
    FUZZ_CHECK(whole == (path.find('\\') != std::string_view::npos && path.rfind('\\') < zw::kDirectoryOfScanLimit));
    if (whole) FUZZ_CHECK(dir + '\\' + zw::BaseName(path) == path);
}

// Counts, rather than cuts in a loop: j = min(leading "..\", separators in the
// base) components go, and the result is refused when it would be too long.
std::string ExpectedJoin(std::string_view base, std::string_view relative)
{
    if (base.empty() || base.size() > zw::kDirectoryLimit) return std::string();
    size_t leading = 0;
    while (relative.substr(3 * leading, 3) == "..\\") ++leading;
    const size_t separators = static_cast<size_t>(std::count(base.begin(), base.end(), '\\'));
    const size_t cuts = std::min(leading, separators);
    size_t keep = base.size();
    for (size_t i = 0; i < cuts; ++i) keep = base.rfind('\\', keep - 1);
    std::string joined = std::string(base.substr(0, keep)) + '\\' + std::string(relative.substr(3 * cuts));
    if (joined.size() > zw::kJoinedPathLimit) return std::string();
    return joined;
}

void CheckJoin(std::string_view base, std::string_view relative)
{
    const std::string joined = zw::JoinRelativePath(base, relative);
    FUZZ_CHECK(joined == ExpectedJoin(base, relative));
    if (joined.empty()) return;
    FUZZ_CHECK(joined.size() <= zw::kJoinedPathLimit);
    FUZZ_CHECK(joined.find('\\') != std::string::npos);
    // As documented: a head of the base cut at a separator, '\', and the
    // relative path without m leading "..\", where m is the number of
    // components cut from the base.
    bool found = false;
    for (size_t m = 0; !found; ++m) {
        const std::string_view rest = relative.substr(std::min(relative.size(), 3 * m));
        if (joined.size() > rest.size() && joined.ends_with(rest)) {
            const size_t k = joined.size() - rest.size() - 1;
            const std::string_view head = std::string_view(joined).substr(0, k);
            found =
                joined[k] == '\\' && base.substr(0, k) == head && (k == base.size() || base[k] == '\\') &&
                static_cast<size_t>(std::count(base.begin() + static_cast<std::ptrdiff_t>(k), base.end(), '\\')) == m;
        }
        if (relative.substr(3 * m, 3) != "..\\") break;
    }
    FUZZ_CHECK(found);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = InputText(data, size);
    CheckTail(input, zw::BaseName(input), '\\');
    CheckTail(input, zw::ExtensionOf(input), '.');
    CheckDirectoryOf(input);

    const size_t nul = input.find('\0');
    if (nul == std::string_view::npos) {
        CheckJoin("D:\\a\\b", input);
    } else {
        CheckJoin(input.substr(0, nul), input.substr(nul + 1));
    }
    return 0;
}
