#include "checker.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/ascii.h"
#include "sequencer/item_rules.h"
#include "state/run_state.h"
#include "setuplist/paths.h"

namespace zw::check {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDriveLetter(std::string_view path)
{
    return path.size() >= 2 && path[1] == ':' && AsciiUpper(path[0]) >= 'A' && AsciiUpper(path[0]) <= 'Z';
}

// Characters that no Windows file name holds.
bool NamesNoFile(std::string_view component)
{
    for (const char c : component) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') return true;
    }
    return false;
}

constexpr std::string_view kDigits = "0123456789";

bool IsAsciiDigit(char c) { return kDigits.find(c) != std::string_view::npos; }

long DigitValue(char c) { return static_cast<long>(kDigits.find(c)); }

// The numbers of everything in the text that looks like a SetupN key; the
// profile reader then says which of them it really reads.
std::set<long> KeyNumbersIn(std::string_view text)
{
    std::set<long> numbers;
    constexpr std::string_view kWord = "SETUP";
    for (size_t i = 0; i + kWord.size() < text.size(); ++i) {
        if (!EqualsIgnoringAsciiCase(text.substr(i, kWord.size()), kWord)) continue;
        size_t j = i + kWord.size();
        long n = 0;
        size_t digits = 0;
        while (j < text.size() && IsAsciiDigit(text[j]) && digits < 9) {
            n = n * 10 + DigitValue(text[j]);
            ++j;
            ++digits;
        }
        if (digits > 0) numbers.insert(n);
    }
    return numbers;
}

bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == 0x0B || c == 0x0C || c == 0x1A; }

constexpr char kMarker = '\x01';

// The text with a marker after the blanks at the end of every line, so the
// profile reader, which drops them, keeps them in sight.
std::string MarkLineEnds(std::string_view text)
{
    std::string marked;
    marked.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i <= text.size(); ++i) {
        const bool lineEnd = i == text.size() || text[i] == '\r' || text[i] == '\n';
        if (lineEnd && !marked.empty() && IsTrailingBlank(marked.back())) marked += kMarker;
        if (i < text.size()) marked += text[i];
    }
    return marked;
}

std::string ItemRange(int from, int to)
{
    if (from == to) return "item " + std::to_string(from);
    return "items " + std::to_string(from) + " to " + std::to_string(to);
}

class Checker {
public:
    Checker(const ProfileText& text, const Options& options, const FileView& files)
        : text_(text), options_(options), files_(files), read_(ProfileTextReader(text))
    {
    }

    Plan Run()
    {
        plan_.listPath = options_.listPath;
        plan_.programDirectory = options_.programDirectory;
        plan_.silent = options_.silent;
        plan_.noRestart = options_.noRestart;
        plan_.section = ChooseSetupSection(options_.silent, read_);
        SetupListReport report;
        ReadSetupItems(plan_.section, read_, &report);
        ReadSuccessCodes(read_);

        if (!options_.listPath.empty() && !EqualsIgnoringAsciiCase(BaseName(options_.listPath), "Zarnowel.ini"))
            Warn(0, "list_name",
                 "the launcher reads only a list named Zarnowel.ini beside it; this one is " +
                     Quoted(BaseName(options_.listPath)),
                 "rename the file to Zarnowel.ini");
        CheckFile();
        if (options_.silent && plan_.section == kSectionList)
            Warn(0, "silent_fallback",
                 "with /s the launcher reads [SetupSilent] only when its Setup1 is non-empty; it is not, so /s runs "
                 "[SetupList] (and still restarts without asking)",
                 "add Setup1 to [SetupSilent], or run without /s");
        CheckKeys(report.itemsLoaded);

        currentDirectory_ = options_.programDirectory;
        for (int n = kFirstItem; n <= report.itemsLoaded; ++n) {
            PlanItem item = TakeUp(n);
            const bool ends = item.kind == ItemKind::End;
            plan_.items.push_back(std::move(item));
            if (ends) {
                plan_.end = EndReason::UnknownKind;
                if (n < report.itemsLoaded) {
                    Warning& w = plan_.warnings.back();
                    w.message += "; " + ItemRange(n + 1, report.itemsLoaded) + " never run";
                }
                return Finish();
            }
            plan_.lastItemRun = n;
        }
        plan_.end = report.itemsLoaded == kLastItem ? EndReason::TableFull : EndReason::NoMoreKeys;
        if (report.itemsLoaded == 0 && !gapFound_)
            Warn(0, "no_items", "[" + plan_.section + "] has no Setup1: the launcher starts nothing and ends",
                 "add Setup1=kind,file,... to [" + plan_.section + "]");
        return Finish();
    }

private:
    // Warnings by item, those of the list as a whole first.
    Plan Finish()
    {
        CheckExitCodes();
        std::stable_sort(plan_.warnings.begin(), plan_.warnings.end(),
                         [](const Warning& a, const Warning& b) { return a.item < b.item; });
        return std::move(plan_);
    }

    void Warn(int item, std::string code, std::string message, std::string fix)
    {
        plan_.warnings.push_back({item, std::move(code), std::move(message), std::move(fix)});
    }

    // What keeps the launcher from reading the list at all, or as written.
    void CheckFile()
    {
        const std::string& folder = options_.programDirectory;
        if (folder.size() > kDirectoryLimit)
            Warn(0, "folder_too_long",
                 "the folder's path has " + std::to_string(folder.size()) + " characters; beyond " +
                     std::to_string(kDirectoryLimit) +
                     " the launcher cannot tell its own folder and reads no list here (the plan below is for a "
                     "shorter folder)",
                 "put the launcher and its list in a folder with a shorter path");
        const std::string& bytes = text_.Text();
        if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0)
            Warn(0, "encoding",
                 "the list is UTF-16 text: Windows reads it as Unicode, while this checker reads it as ANSI bytes "
                 "and its plan is not the launcher's",
                 "save the list in the system's ANSI code page");
        else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
            Warn(0, "encoding",
                 "the list starts with a UTF-8 byte order mark, which Windows reads as part of the first line: a "
                 "section header there is not seen",
                 "save the list without a byte order mark, in the system's ANSI code page");
    }

    // [ExitCodes]: a key names an item by its file field as written, and a
    // value holds decimal codes or "*".
    void CheckExitCodes()
    {
        for (const std::string& key : text_.Keys(kSectionExitCodes)) {
            bool matches = false;
            for (const PlanItem& item : plan_.items) {
                std::string_view file = item.fields.file;
                while (!file.empty() && IsTrailingBlank(file.front())) file.remove_prefix(1);
                while (!file.empty() && IsTrailingBlank(file.back())) file.remove_suffix(1);
                matches = matches || EqualsIgnoringAsciiCase(file, key);
            }
            if (!matches)
                Warn(0, "exit_codes_key",
                     "the [" + std::string(kSectionExitCodes) + "] key " + Quoted(key) +
                         " names no item's file, so its codes count for nothing",
                     "write the key as the item's file field is written (letter case aside)");
        }
        for (const PlanItem& item : plan_.items) {
            const SuccessCodes& codes = item.fields.successCodes;
            if (!codes.invalid.empty()) {
                std::string entries;
                for (const std::string& entry : codes.invalid) entries += (entries.empty() ? "" : ", ") + Quoted(entry);
                Warn(item.number, "exit_codes_value",
                     "[" + std::string(kSectionExitCodes) + "] for " + Quoted(item.fields.file) + ": " + entries +
                         (codes.invalid.size() == 1 ? " is" : " are") + " no decimal exit code and count for nothing",
                     "write decimal codes separated by commas, or * for any code");
            }
            if (codes.listed && item.start != StartKind::None && !item.throughProcess)
                Warn(item.number, "exit_codes_unread",
                     "[" + std::string(kSectionExitCodes) + "] names " + Quoted(item.fields.file) +
                         ", but no exit code of it is read: it is not waited for through its process",
                     "leave the key out, or start a program, batch file or package");
        }
    }

    bool Reads(long n) { return !read_(plan_.section.c_str(), SetupKeyName(n).c_str()).empty(); }

    void CheckKeys(int itemsLoaded)
    {
        std::vector<long> unread;
        for (const long n : KeyNumbersIn(text_.Text()))
            if (n > itemsLoaded + 1 && Reads(n)) unread.push_back(n);
        // The key after item 9 is unread even without a gap.
        if (itemsLoaded == kLastItem && Reads(kLastItem + 1) && (unread.empty() || unread.front() != kLastItem + 1))
            unread.insert(unread.begin(), kLastItem + 1);
        if (unread.empty()) return;
        std::string names;
        for (const long n : unread) names += (names.empty() ? "" : ", ") + SetupKeyName(n);
        if (itemsLoaded == kLastItem) {
            Warn(0, "keys_after_last",
                 names + " never run" + (unread.size() == 1 ? "s" : "") + ": the launcher carries out at most " +
                     std::to_string(kLastItem) + " items (Setup1 to Setup" + std::to_string(kLastItem) + ")",
                 "merge items or move the rest to a second medium; keep to Setup1..Setup9");
            return;
        }
        gapFound_ = true;
        const int missing = itemsLoaded + 1;
        Warn(missing, "key_gap",
             SetupKeyName(missing) + " is missing or empty, so reading stops there: " + names +
                 (unread.size() == 1 ? " is" : " are") + " never read",
             "number the keys Setup1, Setup2, ... without a gap");
    }

    // Checks that need the value as the file holds it.
    void CheckValue(const PlanItem& item)
    {
        const std::string key = SetupKeyName(item.number);
        std::string whole;
        if (text_.Find(plan_.section, key, whole) && whole.size() > item.value.size()) {
            Warn(item.number, "value_cut",
                 key + " has " + std::to_string(whole.size()) + " characters; the launcher reads only the first " +
                     std::to_string(item.value.size()) + " and cuts off " + Quoted(whole.substr(item.value.size())),
                 "shorten the value to at most " + std::to_string(kValueLimit) +
                     " characters (shorter names or parameters)");
            return;  // what lies beyond the cut doesn't matter
        }
        const ProfileText marked(MarkLineEnds(text_.Text()));
        std::string kept;
        if (marked.Find(plan_.section, key, kept) && !kept.empty() && kept.back() == kMarker) {
            kept.pop_back();
            size_t end = kept.size();
            while (end > 0 && IsTrailingBlank(kept[end - 1])) --end;
            if (end > 0 && end < kept.size() && kept[end - 1] == ',') {
                const SetupItem meant = SplitSetupValue(kept);
                std::string lost = "a blank field";
                for (size_t f = 0; f < kSetupFieldCount; ++f)
                    if (meant.*kSetupFields[f] != item.fields.*kSetupFields[f]) {
                        lost = std::string("the ") + kSetupFieldNames[f] + " field " + Quoted(meant.*kSetupFields[f]);
                        break;
                    }
                std::string effect;
                if (meant.parameters == kNoParameters && item.fields.parameters != kNoParameters)
                    effect = ", so the item goes through the dialog instead of a direct start";
                Warn(item.number, "blank_dropped",
                     "the line ends in a blank after a comma, and blanks at the end of a value are dropped: " + lost +
                         " is lost" + effect,
                     "end the value with a comma after the blank (" + Quoted(kept.substr(0, end) + " ,") +
                         ") or quote the whole value");
            }
        }
        if (item.value.find(",,") != std::string::npos || (!item.value.empty() && item.value.front() == ','))
            Warn(item.number, "empty_field",
                 "a run of commas counts as one separator, so no field is empty and the later fields move forward: "
                 "kind " +
                     Quoted(item.fields.kind) + ", file " + Quoted(item.fields.file) + ", parameters " +
                     Quoted(item.fields.parameters) + ", waitList " + Quoted(item.fields.waitList) + ", rebootFlag " +
                     Quoted(item.fields.rebootFlag),
                 "write a single blank for a field with nothing to give: \", ,\"");
    }

    // Looks for a path relative to the current directory.
    Found Look(const std::string& path, std::string& lookedAt)
    {
        lookedAt = WindowsFullPath(currentDirectory_, path);
        return !lookedAt.empty() && files_.IsFile(lookedAt) ? Found::Yes : Found::No;
    }

    void TakeUpProgram(PlanItem& item)
    {
        const ProgramPath path = ResolveProgramPath(options_.programDirectory, item.fields.file);
        item.currentDirectory = currentDirectory_;
        if (!path.resolvable) {
            item.found = Found::No;
            item.missingWhy = Quoted(options_.programDirectory + "\\" + item.fields.file) +
                              " is too long for the launcher (a path of at most " + std::to_string(kPathCapacity - 1) +
                              " characters, a directory of at most " + std::to_string(kDirectoryLimit) + ")";
            return;
        }
        item.tests = path.file;
        if (path.enter.empty()) {
            // A drive letter names the target machine's disk, not this one.
            if (!FitsPathBuffer(path.file)) {
                item.found = Found::No;
                item.missingWhy = "the path is longer than " + std::to_string(kPathCapacity - 1) + " characters";
            }
            return;
        }
        item.enters = path.enter;
        const std::string directory = WindowsFullPath(currentDirectory_, path.enter);
        if (directory.empty() || !files_.IsDirectory(directory)) {
            item.found = Found::No;
            item.lookedAt = directory;
            item.missingWhy = "the directory " + Quoted(path.enter) + " does not exist, so the change into it fails";
            return;
        }
        item.entered = true;
        currentDirectory_ = directory;
        movedBy_ = item.number;
        item.currentDirectory = currentDirectory_;
        if (!FitsPathBuffer(path.file)) {
            item.found = Found::No;
            item.missingWhy = "the path is longer than " + std::to_string(kPathCapacity - 1) + " characters";
            return;
        }
        item.found = Look(path.file, item.lookedAt);
    }

    void TakeUpCopy(PlanItem& item)
    {
        const CopyPaths paths = ResolveCopyPaths(options_.windowsDirectory, item.fields.file);
        item.currentDirectory = currentDirectory_;
        item.copyFrom = paths.source;
        item.tests = paths.destination;
        if (HasDriveLetter(item.fields.file)) {
            item.found = Found::No;
            item.missingWhy = Quoted(paths.source) + " names no file, so the copy fails";
            Warn(item.number, "copy_drive_letter",
                 "a " + KindLabel(ItemKind::Copy) +
                     " file is taken relative to the current directory: " + Quoted(paths.source) +
                     " names nothing, the copy fails, and only a copy already in the Windows directory would run",
                 "name the file relative to the current directory (" + currentDirectory_ + ")");
            return;
        }
        if (!FitsPathBuffer(paths.source) || !FitsPathBuffer(paths.destination)) {
            item.found = Found::No;
            item.missingWhy = "the path is longer than " + std::to_string(kPathCapacity - 1) + " characters";
            return;
        }
        item.found = Look(paths.source, item.lookedAt);
    }

    void TakeUpDriver(PlanItem& item)
    {
        item.currentDirectory = currentDirectory_;
        item.tests = RelativeToCurrentDirectory(item.fields.file);
        if (!FitsPathBuffer(item.tests)) {
            item.found = Found::No;
            item.missingWhy = "the path is longer than " + std::to_string(kPathCapacity - 1) + " characters";
        } else {
            item.found = Look(item.tests, item.lookedAt);
        }
        // The driver update is given the INF below programDirectory, not
        // where the existence test found it.
        item.infPath = JoinRelativePath(options_.programDirectory, item.fields.file);
        if (item.infPath.empty()) {
            item.infFound = Found::No;
        } else {
            const std::string full = WindowsFullPath(options_.programDirectory, item.infPath);
            item.infFound = !full.empty() && files_.IsFile(full) ? Found::Yes : Found::No;
        }
        if (item.found != Found::Yes) return;
        item.start = StartKind::Dialog;
        plan_.driverItems.push_back(item.number);
        if (item.infFound == Found::No)
            Warn(item.number, "missing_file",
                 item.infPath.empty()
                     ? "the INF path " + Quoted(options_.programDirectory + "\\" + item.fields.file) +
                           " is too long: the driver update is not called"
                     : Quoted(item.tests) + " was found in " + currentDirectory_ + ", but the driver update is given " +
                           Quoted(item.infPath) + ", which does not exist",
                 "put the INF where both look: " + item.fields.file +
                     " below the launcher's folder, with no "
                     "earlier " +
                     KindLabel(ItemKind::Program) + " item moving the current directory away from it");
    }

    void DescribeStart(PlanItem& item)
    {
        const SetupItem& f = item.fields;
        const WaitPlan wait = PlanWait(f);
        const bool direct = wait.rule == WaitRule::Direct;
        item.direct = direct;
        const std::string separatorNote = direct ? "a direct start (parameters \" \") separates names with '~'"
                                                 : "an item under the dialog separates names with '*'";
        if (direct) {
            for (const WaitName& name : wait.names)
                if (name.entry.find('*', 1) != std::string::npos) {
                    Warn(item.number, "wait_separator",
                         "the waitList entry " + Quoted(name.entry) + " holds '*', but " + separatorNote +
                             ": it is one name that no process has",
                         "separate the names with '~' (a wildcard is written *.ext, on its own)");
                    break;
                }
        } else if (f.waitList.find('~') != std::string::npos) {
            Warn(item.number, "wait_separator",
                 "the waitList " + Quoted(f.waitList) + " uses '~', but " + separatorNote +
                     ": it is read as one name that no process has",
                 "separate the names with '*', or start the item directly (parameters \" \") to use '~'");
        }
        if (!direct && f.waitList.find("*.") != std::string::npos)
            Warn(item.number, "dialog_wildcard",
                 "the waitList " + Quoted(f.waitList) +
                     " holds a wildcard, but under the dialog every entry is an exact name: '*' splits it and "
                     "the rest is looked for by exact name",
                 "name the processes exactly, or start the item directly (parameters \" \") to use *.ext");
        if (!f.rebootFlag.empty() && f.rebootFlag != "1")
            Warn(item.number, "reboot_flag",
                 "rebootFlag " + Quoted(f.rebootFlag) + " is not \"1\": it asks for no restart",
                 "write 1 to ask for a restart, or leave the field out");

        item.waitProgram = wait.ownName;
        item.waitEntries = wait.names;
        item.gracePoll = wait.graceName;
        item.installerPackage = IsInstallerPackage(item.tests);
        item.throughProcess = IsWaitedThroughProcess(item.tests);
        for (const WaitName& name : wait.names)
            if (EqualsIgnoringAsciiCase(name.text, "msiexec.exe") ||
                (name.contains && EqualsIgnoringAsciiCase(name.text, ".exe"))) {
                Warn(item.number, "msiexec_wait",
                     "the waitList entry " + Quoted(name.entry) +
                         " also matches the Windows Installer service, which stays for minutes after an installation, "
                         "and any other installation on the machine: the wait can last long",
                     item.installerPackage ? "leave it out: a package is waited for through its own process"
                                           : "name the processes the item leaves behind instead");
                break;
            }

        if (item.found == Found::No) return;
        item.start = direct ? StartKind::Direct : StartKind::Dialog;
        item.requestsRestart = RequestsRestart(f);
        if (item.requestsRestart) plan_.restartBy.push_back(item.number);
        if (item.throughProcess) plan_.exitCodeItems.push_back(item.number);
    }

    PlanItem TakeUp(int n)
    {
        PlanItem item;
        item.number = n;
        item.fields = SetupItemAt(n);
        item.value = read_(plan_.section.c_str(), SetupKeyName(n).c_str());
        item.kind = KindOf(item.fields);
        CheckValue(item);
        switch (item.kind) {
        case ItemKind::Copy:
            TakeUpCopy(item);
            DescribeStart(item);
            break;
        case ItemKind::Program:
            TakeUpProgram(item);
            DescribeStart(item);
            break;
        case ItemKind::Driver:
            TakeUpDriver(item);
            if (!item.fields.rebootFlag.empty())
                Warn(n, "reboot_flag",
                     "a driver item's rebootFlag " + Quoted(item.fields.rebootFlag) +
                         " is never read: the driver installation asks for a restart by itself",
                     "leave the fifth field out");
            break;
        case ItemKind::End:
            Warn(n, "unknown_kind",
                 "kind " + Quoted(item.fields.kind) + " is not " + KnownKinds() + ": the run ends at this item",
                 "write " + KindChoices() + " as the first field");
            return item;
        }
        if (item.found == Found::No) {
            const char* const skipped =
                item.kind == ItemKind::Driver ? "the launcher shows \"file open error\" and skips the item"
                : item.kind == ItemKind::Copy ? "the item is skipped without a word (unless a copy of that "
                                                "name is already in the Windows directory)"
                                              : "the item is skipped without a word";
            if (!item.missingWhy.empty()) {
                if (item.kind == ItemKind::Copy && HasDriveLetter(item.fields.file)) return item;  // said already
                Warn(n, "missing_file", item.missingWhy + ": " + skipped,
                     item.enters.empty() ? "shorten the path" : "create the folder, or correct the path");
            } else {
                item.missingWhy = Quoted(item.kind == ItemKind::Copy ? item.copyFrom : item.tests) + " is not in " +
                                  item.currentDirectory;
                Warn(n, "missing_file", item.missingWhy + ": " + skipped,
                     movedBy_ == 0 || movedBy_ == n ||
                             EqualsIgnoringAsciiCase(currentDirectory_,
                                                     WindowsFullPath(options_.programDirectory, std::string()))
                         ? "put the file there, or correct the name"
                         : "put the file in " + currentDirectory_ + " (item " + std::to_string(movedBy_) +
                               " made it the current directory), or take this item up before item " +
                               std::to_string(movedBy_));
            }
        }
        return item;
    }

    const ProfileText& text_;
    const Options& options_;
    const FileView& files_;
    SetupValueReader read_;
    Plan plan_;
    std::string currentDirectory_;
    bool gapFound_ = false;
    int movedBy_ = 0;  // the item that last changed the current directory
};

}  // namespace

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string WindowsFullPath(const std::string& currentDirectory, const std::string& path)
{
    std::string whole;
    if (HasDriveLetter(path)) {
        // "D:name" would be relative to that drive's own current directory.
        if (path.size() < 3 || !IsSeparator(path[2])) return std::string();
        whole = path;
    } else if (!path.empty() && IsSeparator(path[0])) {
        if (path.size() > 1 && IsSeparator(path[1])) return std::string();  // a network path
        if (!HasDriveLetter(currentDirectory)) return std::string();
        whole = currentDirectory.substr(0, 2) + path;
    } else {
        if (!HasDriveLetter(currentDirectory)) return std::string();
        whole = currentDirectory + "\\" + path;
    }
    std::vector<std::string> parts;
    const bool endsWithSeparator = IsSeparator(whole.back());
    size_t i = 2;
    while (i < whole.size()) {
        while (i < whole.size() && IsSeparator(whole[i])) ++i;
        const size_t start = i;
        while (i < whole.size() && !IsSeparator(whole[i])) ++i;
        std::string part = whole.substr(start, i - start);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    if (!parts.empty() && !endsWithSeparator) {
        std::string& last = parts.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
        if (last.empty()) parts.pop_back();
    }
    std::string full = whole.substr(0, 2);
    for (const std::string& part : parts) {
        if (NamesNoFile(part)) return std::string();
        full += '\\';
        full += part;
    }
    if (parts.empty()) full += '\\';
    return full;
}

Plan CheckSetupList(const ProfileText& text, const Options& options, const FileView& files)
{
    return Checker(text, options, files).Run();
}

namespace {

// The table's rows in the order of their characters.
std::vector<const ItemKindInfo*> KindsInOrder()
{
    std::vector<const ItemKindInfo*> rows;
    for (const ItemKindInfo& info : kItemKinds) rows.push_back(&info);
    std::sort(rows.begin(), rows.end(), [](auto a, auto b) { return a->character < b->character; });
    return rows;
}

std::string ListOf(const std::vector<std::string>& words)
{
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) out += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return out;
}

}  // namespace

std::string KindLabel(ItemKind kind)
{
    const ItemKindInfo* info = KindInfo(kind);
    return info == nullptr ? std::string("an unknown kind") : std::string("kind '") + info->character + "'";
}

std::string KnownKinds()
{
    std::vector<std::string> words;
    for (const ItemKindInfo* info : KindsInOrder()) words.push_back(std::string(1, info->character));
    return ListOf(words);
}

std::string KindChoices()
{
    std::vector<std::string> words;
    for (const ItemKindInfo* info : KindsInOrder())
        words.push_back(std::string(1, info->character) + " (" + info->description + ")");
    return ListOf(words);
}

int ExitCodeOf(const Plan& plan) { return plan.warnings.empty() ? 0 : 1; }

}  // namespace zw::check
