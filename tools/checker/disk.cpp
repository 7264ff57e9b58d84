#include "disk.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/ascii.h"

#ifndef _WIN32
#include <filesystem>
#endif

namespace zw::check {

namespace {

bool StatOf(std::string path, struct stat& info)
{
#ifdef _WIN32
    // The C runtime's stat fails on "dir\"; "C:\" must keep its separator.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
#endif
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool IsLocalDirectory(const std::string& path)
{
    struct stat info {};
    return StatOf(path, info) && S_ISDIR(info.st_mode);
}

bool IsLocalFile(const std::string& path)
{
    struct stat info {};
    return StatOf(path, info) && !S_ISDIR(info.st_mode);
}

#ifndef _WIN32
// The entry of directory that Windows would open for name: the name itself,
// or else the first (in byte order) that equals it without regard to ASCII
// case. Empty when there is none.
std::string FindEntry(const std::string& directory, const std::string& name)
{
    const std::string exact = (directory == "/" ? "" : directory) + "/" + name;
    struct stat info {};
    if (StatOf(exact, info)) return exact;
    std::error_code error;
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string candidate = entry.path().filename().string();
        if (EqualsIgnoringAsciiCase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
    }
    if (best.empty()) return std::string();
    return (directory == "/" ? "" : directory) + "/" + best;
}
#endif

}  // namespace

std::string NativePath(const std::string& windowsPath)
{
#ifdef _WIN32
    return windowsPath;
#else
    if (windowsPath.size() < 2 || AsciiUpper(windowsPath[0]) != 'Z' || windowsPath[1] != ':') return std::string();
    std::string path = "/";
    size_t i = 2;
    while (i < windowsPath.size()) {
        while (i < windowsPath.size() && windowsPath[i] == '\\') ++i;
        const size_t start = i;
        while (i < windowsPath.size() && windowsPath[i] != '\\') ++i;
        if (i == start) continue;
        path = FindEntry(path, windowsPath.substr(start, i - start));
        if (path.empty()) return std::string();
    }
    return path;
#endif
}

bool DiskView::IsFile(const std::string& path) const { return IsLocalFile(NativePath(path)); }

bool DiskView::IsDirectory(const std::string& path) const { return IsLocalDirectory(NativePath(path)); }

std::string WindowsFolderName(const std::string& folder)
{
#ifdef _WIN32
    std::unique_ptr<char, decltype(&std::free)> full(_fullpath(nullptr, folder.c_str(), 0), &std::free);
    if (!full) return std::string();
    std::string name = full.get();
    for (char& c : name)
        if (c == '/') c = '\\';
#else
    std::unique_ptr<char, decltype(&std::free)> full(::realpath(folder.c_str(), nullptr), &std::free);
    if (!full) return std::string();
    std::string local = full.get();
    // A '\' in a local name has no Windows name.
    if (local.find('\\') != std::string::npos) return std::string();
    std::string name = "Z:" + local;
    for (char& c : name)
        if (c == '/') c = '\\';
#endif
    while (name.size() > 2 && name.back() == '\\') name.pop_back();
    return name;
}

bool LocateList(const std::string& dirOrIni, ListLocation& where)
{
    if (IsLocalDirectory(dirOrIni)) {
        where.folder = dirOrIni;
#ifdef _WIN32
        where.file = dirOrIni + "\\Zarnowel.ini";
        where.name = "Zarnowel.ini";
        return IsLocalFile(where.file);
#else
        where.file = FindEntry(dirOrIni, "Zarnowel.ini");
        if (where.file.empty() || !IsLocalFile(where.file)) return false;
        where.name = where.file.substr(where.file.rfind('/') + 1);
        return true;
#endif
    }
    if (!IsLocalFile(dirOrIni)) return false;
    where.file = dirOrIni;
#ifdef _WIN32
    const size_t slash = dirOrIni.find_last_of("\\/");
#else
    const size_t slash = dirOrIni.rfind('/');
#endif
    where.folder = slash == std::string::npos ? std::string(".") : dirOrIni.substr(0, slash + 1);
    where.name = slash == std::string::npos ? dirOrIni : dirOrIni.substr(slash + 1);
    return true;
}

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    bytes.clear();
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    return std::ferror(file.get()) == 0;
}

}  // namespace zw::check
