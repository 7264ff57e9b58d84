#include "setuplist/paths.h"

namespace zw {

namespace {

constexpr std::string_view kParent = "..\\";

std::string TailAfterLast(std::string_view path, char separator)
{
    const size_t k = path.rfind(separator);
    return std::string(k == std::string_view::npos ? path : path.substr(k + 1));
}

}  // namespace

std::string BaseName(std::string_view path) { return TailAfterLast(path, '\\'); }

std::string ExtensionOf(std::string_view path) { return TailAfterLast(path, '.'); }

std::string DirectoryOf(std::string_view path)
{
    const std::string_view looked = path.substr(0, kDirectoryOfScanLimit);
    const size_t k = looked.rfind('\\');
    if (k == std::string_view::npos) return std::string();
    return std::string(looked.substr(0, k));
}

bool DirectoryOfIsWhole(std::string_view path)
{
    const size_t k = path.rfind('\\');
    return k != std::string_view::npos && k < kDirectoryOfScanLimit;
}

std::string JoinRelativePath(std::string_view base, std::string_view relative)
{
    if (base.empty() || base.size() > kDirectoryLimit) return std::string();
    std::string_view kept = base;
    while (relative.substr(0, kParent.size()) == kParent) {
        const size_t k = kept.rfind('\\');
        if (k == std::string_view::npos) break;
        kept = kept.substr(0, k);
        relative.remove_prefix(kParent.size());
    }
    if (kept.size() + 1 + relative.size() > kJoinedPathLimit) return std::string();
    std::string joined;
    joined.reserve(kept.size() + 1 + relative.size());
    joined.append(kept);
    joined += '\\';
    joined.append(relative);
    return joined;
}

}  // namespace zw
