// Every warning the checker gives, each with its code, its text and its fix,
// written once in the table of warnings.cpp. "{1}" to "{9}" in a text or a fix
// stand for the warning's arguments.
#pragma once

#include <initializer_list>
#include <string>

#include "checker.h"
#include "sequencer/item_kinds.h"

namespace zw::check {

enum class WarningId {
    ListName,
    FolderTooLong,
    EncodingUtf16,
    EncodingBom,
    SilentFallback,
    NoItems,
    KeysAfterLast,
    KeyGap,
    ValueCut,
    BlankDropped,
    BlankDroppedToDialog,
    EmptyField,
    ExitCodesKey,
    ExitCodesValue,
    ExitCodesUnread,
    CopyDriveLetter,
    InfPathTooLong,
    InfElsewhere,
    MissingPath,
    MissingFolder,
    MissingHere,
    MissingMoved,
    WaitSeparatorDirect,
    WaitSeparatorDialog,
    DialogWildcard,
    RebootFlag,
    RebootFlagDriver,
    MsiexecWait,
    MsiexecWaitPackage,
    UnknownKind,
    UnknownKindBeforeOthers,
    DetectSyntax,
    DetectKey,
    DetectHive,
    DetectWow6432Node,
    DetectMsiField4,
    DetectSilent,
    DetectCut,
    MarkerKey,
    MarkerVersion,
    DetectNoMarker,
    Count  // not a warning: the number of them
};

// The warning on item (0: the list as a whole), its placeholders filled in.
Warning MakeWarning(int item, WarningId id, std::initializer_list<std::string> args = {});

// What the launcher does with an item of this kind whose file is missing.
const char* SkippedWords(ItemKind kind);

}  // namespace zw::check
