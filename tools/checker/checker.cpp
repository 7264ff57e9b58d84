#include "checker.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/ascii.h"
#include "sequencer/item_rules.h"
#include "state/run_state.h"
#include "setuplist/paths.h"
#include "warnings.h"

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

std::string PathTooLong() { return "the path is longer than " + std::to_string(kPathCapacity - 1) + " characters"; }

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
            Warn(0, WarningId::ListName, {BaseName(options_.listPath)});
        CheckFile();
        if (options_.silent && plan_.section == kSectionList) Warn(0, WarningId::SilentFallback);
        CheckKeys(report.itemsLoaded);
        itemsLoaded_ = report.itemsLoaded;

        currentDirectory_ = options_.programDirectory;
        for (int n = kFirstItem; n <= report.itemsLoaded; ++n) {
            PlanItem item = TakeUp(n);
            const bool ends = item.kind == ItemKind::End;
            plan_.items.push_back(std::move(item));
            if (ends) {
                plan_.end = EndReason::UnknownKind;
                return Finish();
            }
            plan_.lastItemRun = n;
        }
        plan_.end = report.itemsLoaded == kLastItem ? EndReason::TableFull : EndReason::NoMoreKeys;
        if (report.itemsLoaded == 0 && !gapFound_) Warn(0, WarningId::NoItems, {plan_.section});
        return Finish();
    }

private:
    // Warnings by item, those of the list as a whole first.
    Plan Finish()
    {
        CheckExitCodes();
        CheckRunAgain(text_, plan_);
        std::stable_sort(plan_.warnings.begin(), plan_.warnings.end(),
                         [](const Warning& a, const Warning& b) { return a.item < b.item; });
        return std::move(plan_);
    }

    void Warn(int item, WarningId id, std::initializer_list<std::string> args = {})
    {
        plan_.warnings.push_back(MakeWarning(item, id, args));
    }

    // What keeps the launcher from reading the list at all, or as written.
    void CheckFile()
    {
        const std::string& folder = options_.programDirectory;
        if (folder.size() > kDirectoryLimit)
            Warn(0, WarningId::FolderTooLong, {std::to_string(folder.size()), std::to_string(kDirectoryLimit)});
        const std::string& bytes = text_.Text();
        if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0)
            Warn(0, WarningId::EncodingUtf16);
        else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
            Warn(0, WarningId::EncodingBom);
    }

    // [ExitCodes]: a key names an item by its file field as written, and a
    // value holds decimal or 0x hexadecimal codes, or "*".
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
            if (!matches) Warn(0, WarningId::ExitCodesKey, {key});
        }
        for (const PlanItem& item : plan_.items) {
            const SuccessCodes& codes = item.fields.successCodes;
            if (!codes.invalid.empty()) {
                std::string entries;
                for (const std::string& entry : codes.invalid) entries += (entries.empty() ? "" : ", ") + Quoted(entry);
                Warn(item.number, WarningId::ExitCodesValue,
                     {item.fields.file, entries, codes.invalid.size() == 1 ? "is" : "are"});
            }
            if (codes.listed && item.start != StartKind::None && !item.throughProcess)
                Warn(item.number, WarningId::ExitCodesUnread, {item.fields.file});
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
            Warn(0, WarningId::KeysAfterLast, {names, unread.size() == 1 ? "s" : "", std::to_string(kLastItem)});
            return;
        }
        gapFound_ = true;
        const int missing = itemsLoaded + 1;
        Warn(missing, WarningId::KeyGap, {SetupKeyName(missing), names, unread.size() == 1 ? "is" : "are"});
    }

    // Checks that need the value as the file holds it.
    void CheckValue(const PlanItem& item)
    {
        const std::string key = SetupKeyName(item.number);
        std::string whole;
        if (text_.Find(plan_.section, key, whole) && whole.size() > item.value.size()) {
            Warn(item.number, WarningId::ValueCut,
                 {key, std::to_string(whole.size()), std::to_string(item.value.size()), whole.substr(item.value.size()),
                  std::to_string(kValueLimit)});
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
                const bool toDialog = meant.parameters == kNoParameters && item.fields.parameters != kNoParameters;
                Warn(item.number, toDialog ? WarningId::BlankDroppedToDialog : WarningId::BlankDropped,
                     {lost, kept.substr(0, end) + " ,"});
            }
        }
        if (item.value.find(",,") != std::string::npos || (!item.value.empty() && item.value.front() == ','))
            Warn(item.number, WarningId::EmptyField,
                 {item.fields.kind, item.fields.file, item.fields.parameters, item.fields.waitList,
                  item.fields.rebootFlag});
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
                item.missingWhy = PathTooLong();
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
            item.missingWhy = PathTooLong();
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
            Warn(item.number, WarningId::CopyDriveLetter, {KindLabel(ItemKind::Copy), paths.source, currentDirectory_});
            return;
        }
        if (!FitsPathBuffer(paths.source) || !FitsPathBuffer(paths.destination)) {
            item.found = Found::No;
            item.missingWhy = PathTooLong();
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
            item.missingWhy = PathTooLong();
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
        if (item.infFound == Found::No && item.infPath.empty())
            Warn(item.number, WarningId::InfPathTooLong,
                 {item.fields.file, KindLabel(ItemKind::Program), options_.programDirectory + "\\" + item.fields.file});
        else if (item.infFound == Found::No)
            Warn(item.number, WarningId::InfElsewhere,
                 {item.fields.file, KindLabel(ItemKind::Program), item.tests, currentDirectory_, item.infPath});
    }

    void DescribeStart(PlanItem& item)
    {
        const SetupItem& f = item.fields;
        const WaitPlan wait = PlanWait(f);
        const bool direct = wait.rule == WaitRule::Direct;
        item.direct = direct;
        if (direct) {
            for (const WaitName& name : wait.names)
                if (name.entry.find('*', 1) != std::string::npos) {
                    Warn(item.number, WarningId::WaitSeparatorDirect, {name.entry});
                    break;
                }
        } else if (f.waitList.find('~') != std::string::npos) {
            Warn(item.number, WarningId::WaitSeparatorDialog, {f.waitList});
        }
        if (!direct && f.waitList.find("*.") != std::string::npos)
            Warn(item.number, WarningId::DialogWildcard, {f.waitList});
        if (!f.rebootFlag.empty() && f.rebootFlag != "1") Warn(item.number, WarningId::RebootFlag, {f.rebootFlag});

        item.waitProgram = wait.ownName;
        item.waitEntries = wait.names;
        item.gracePoll = wait.graceName;
        item.installerPackage = IsInstallerPackage(item.tests);
        // As the launcher would start it: attended, and in session 0.
        const std::string full =
            item.tests.rfind(".\\", 0) == 0 ? item.currentDirectory + "\\" + item.tests.substr(2) : item.tests;
        item.startPlan = PlanStart(item.tests, full, f.parameters, plan_.silent, false);
        item.unattendedPlan = PlanStart(item.tests, full, f.parameters, true, true);
        item.throughProcess = IsWaitedThroughProcess(item.tests) || !item.startPlan.program.empty();
        for (const WaitName& name : wait.names)
            if (EqualsIgnoringAsciiCase(name.text, "msiexec.exe") ||
                (name.contains && EqualsIgnoringAsciiCase(name.text, ".exe"))) {
                Warn(item.number, item.installerPackage ? WarningId::MsiexecWaitPackage : WarningId::MsiexecWait,
                     {name.entry});
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
            if (!item.fields.rebootFlag.empty()) Warn(n, WarningId::RebootFlagDriver, {item.fields.rebootFlag});
            break;
        case ItemKind::End:
            if (n < itemsLoaded_)
                Warn(n, WarningId::UnknownKindBeforeOthers,
                     {item.fields.kind, KnownKinds(), KindChoices(), ItemRange(n + 1, itemsLoaded_)});
            else
                Warn(n, WarningId::UnknownKind, {item.fields.kind, KnownKinds(), KindChoices()});
            return item;
        }
        if (item.found == Found::No) {
            const std::string skipped = SkippedWords(item.kind);
            if (!item.missingWhy.empty()) {
                if (item.kind == ItemKind::Copy && HasDriveLetter(item.fields.file)) return item;  // said already
                Warn(n, item.enters.empty() ? WarningId::MissingPath : WarningId::MissingFolder,
                     {item.missingWhy, skipped});
            } else {
                item.missingWhy = Quoted(item.kind == ItemKind::Copy ? item.copyFrom : item.tests) + " is not in " +
                                  item.currentDirectory;
                if (movedBy_ == 0 || movedBy_ == n ||
                    EqualsIgnoringAsciiCase(currentDirectory_,
                                            WindowsFullPath(options_.programDirectory, std::string())))
                    Warn(n, WarningId::MissingHere, {item.missingWhy, skipped});
                else
                    Warn(n, WarningId::MissingMoved,
                         {item.missingWhy, skipped, currentDirectory_, std::to_string(movedBy_)});
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
    int itemsLoaded_ = 0;
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
