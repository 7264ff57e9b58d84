// The checker's look at the local disk. On Windows a plan's paths are the
// system's own. Elsewhere a path "Z:\a\b" names /a/b, as Wine names it, and
// every name is found without regard to ASCII case, as Windows would find it;
// other drives name nothing here.
#pragma once

#include <string>

#include "checker.h"

namespace zw::check {

class DiskView : public FileView {
public:
    bool IsFile(const std::string& path) const override;
    bool IsDirectory(const std::string& path) const override;
};

// The local path of a full Windows path; empty when it names nothing here.
std::string NativePath(const std::string& windowsPath);

// The Windows name of a local folder, without a trailing '\' ("C:" for a
// drive's root); empty when it can't be told.
std::string WindowsFolderName(const std::string& folder);

struct ListLocation {
    std::string file;    // local path of the list
    std::string folder;  // local path of its folder
    std::string name;    // the list's file name as it is on the disk
};

// DIR_OR_INI: a folder (its Zarnowel.ini, found as Windows would) or the
// list file itself. False when there is no such file.
bool LocateList(const std::string& dirOrIni, ListLocation& where);

// The whole file, byte for byte. False when it can't be read.
bool ReadFileBytes(const std::string& path, std::string& bytes);

}  // namespace zw::check
