// Path operations that turn the setup list's file names into the paths the
// launcher opens, copies and starts. The only separator is '\'; '/' is an
// ordinary character. Nothing here touches the file system or normalises
// anything; every search works on single bytes of the system code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zw {

// DirectoryOf looks at no more than this many leading characters of a path.
constexpr size_t kDirectoryOfScanLimit = 200;
// The longest directory DirectoryOf gives, and the longest base that
// JoinRelativePath accepts.
constexpr size_t kDirectoryLimit = kDirectoryOfScanLimit - 1;
// The longest path JoinRelativePath gives.
constexpr size_t kJoinedPathLimit = 255;

// The text after the last '\'; the whole path when it has none. "dir\" gives
// the empty text.
std::string BaseName(std::string_view path);

// The text after the last '.' anywhere in the path, not only in its last
// component ("D:\a.b\setup" gives "b\setup"); the whole path when it has none.
std::string ExtensionOf(std::string_view path);

// The text before the last '\' among the first kDirectoryOfScanLimit
// characters, without that separator: "D:\dir\setup.exe" gives "D:\dir",
// "D:\setup.exe" gives "D:", "\setup.exe" gives the empty text. A path with
// no '\' there gives the empty text as well.
//
// A longer path is cut before the search, so when its last '\' lies beyond
// the limit the result is an ancestor of its real directory. A caller that
// must not open a file in some other directory asks DirectoryOfIsWhole first.
std::string DirectoryOf(std::string_view path);

// True when DirectoryOf(path) is the path's own directory: the path holds a
// '\' and its last one lies within the first kDirectoryOfScanLimit characters.
bool DirectoryOfIsWhole(std::string_view path);

// The base with one trailing component removed for each leading "..\" of the
// relative path, then '\', then what is left of the relative path
// ("D:\a\b" and "..\x.inf" give "D:\a\x.inf"). Only leading "..\" count; a
// later "..\", ".\" and '/' stay as written. When a "..\" finds no '\' left
// in the base, consuming stops and the remaining "..\" stay at the front of
// the relative part ("D:" and "..\x.inf" give "D:\..\x.inf").
//
// Refusal: the empty text, when the base is empty or longer than
// kDirectoryLimit, or when the result would be longer than kJoinedPathLimit.
// A successful result always holds a '\', so it is never empty; the caller
// treats the empty text as a file that does not exist. Nothing is ever cut,
// since a cut path could name another file.
std::string JoinRelativePath(std::string_view base, std::string_view relative);

}  // namespace zw
