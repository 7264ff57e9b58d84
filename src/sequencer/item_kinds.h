// The kinds of setup item, told by the first character of an item's kind
// field. This table is the only place that knows those characters; the
// sequence, the ProgressDialog, the setup-list checker and the run log all
// switch on ItemKind.
#pragma once

#include "setuplist/setup_list.h"

namespace zw {

// How an item's file becomes the path that is tested and started.
enum class FileResolution {
    // ".\file" is copied into the Windows directory under its base name, and
    // the copy is the item.
    CopiedIntoWindowsDirectory,
    // A path with a drive letter as it is; any other path lies below
    // programDirectory and the item is started from its own directory.
    BelowProgramDirectory,
    // ".\file" in the current directory.
    RelativeToCurrentDirectory,
};

// X(kind, character, name, description, resolution, canStartDirectly):
// canStartDirectly says whether parameters of a single blank start the item
// at once, without the ProgressDialog (a driver item always runs under it).
// clang-format off
#define ZW_ITEM_KINDS(X)                                                                                             \
    X(Copy,    '2', "copy",    "copied into the Windows directory and run there", CopiedIntoWindowsDirectory, true)  \
    X(Program, '1', "program", "program",                                         BelowProgramDirectory,      true)  \
    X(Driver,  '0', "driver",  "driver package",                                  RelativeToCurrentDirectory, false)
// clang-format on

enum class ItemKind {
#define ZW_KIND_ENUM(kind, ...) kind,
    ZW_ITEM_KINDS(ZW_KIND_ENUM)
#undef ZW_KIND_ENUM
    // Any other first character, an empty kind included: the run ends there.
    End,
};

struct ItemKindInfo {
    ItemKind kind;
    char character;
    const char* name;
    const char* description;
    FileResolution resolution;
    bool canStartDirectly;
};

inline constexpr ItemKindInfo kItemKinds[] = {
#define ZW_KIND_INFO(kind, character, name, description, resolution, direct) \
    {ItemKind::kind, character, name, description, FileResolution::resolution, direct},
    ZW_ITEM_KINDS(ZW_KIND_INFO)
#undef ZW_KIND_INFO
};

// The kind of an item by the first character of its kind field.
inline ItemKind KindOf(const SetupItem& item)
{
    if (item.kind.empty()) return ItemKind::End;
    for (const ItemKindInfo& info : kItemKinds)
        if (info.character == item.kind[0]) return info.kind;
    return ItemKind::End;
}

// The table's row of a kind; null for ItemKind::End.
constexpr const ItemKindInfo* KindInfo(ItemKind kind)
{
    for (const ItemKindInfo& info : kItemKinds)
        if (info.kind == kind) return &info;
    return nullptr;
}

}  // namespace zw
