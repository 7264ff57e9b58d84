// The plan in words and in JSON (schema: tools/checker/README.md).
#include <cstdio>

#include "checker.h"
#include "sequencer/item_rules.h"
#include "setuplist/setup_list.h"

namespace zw::check {

namespace {

std::string NumberList(const std::vector<int>& numbers)
{
    std::string out;
    for (const int n : numbers) out += (out.empty() ? "" : ", ") + std::to_string(n);
    return out;
}

std::string KindWords(ItemKind kind)
{
    const ItemKindInfo* info = KindInfo(kind);
    if (info == nullptr) return "not a kind the launcher knows";
    return std::string(info->description) + " (kind " + info->character + ")";
}

std::string EndWords(const Plan& plan)
{
    const std::string after =
        plan.lastItemRun == 0 ? "before item 1" : "after item " + std::to_string(plan.lastItemRun);
    switch (plan.end) {
    case EndReason::UnknownKind:
        return "at item " + std::to_string(plan.lastItemRun + 1) + ", whose kind is not " + KnownKinds();
    case EndReason::TableFull:
        return after + ", the last the launcher holds";
    case EndReason::NoMoreKeys:
    default:
        return after + ": Setup" + std::to_string(plan.lastItemRun + 1) + " is missing or empty";
    }
}

std::string RestartWords(const Plan& plan)
{
    const std::string what = plan.noRestart
                                 ? "the launcher neither restarts nor asks and ends with exit code 3010 (/norestart)"
                             : plan.silent ? "the computer restarts at the end without a question (/s)"
                                           : "at the end the launcher asks whether to restart now";
    std::string out;
    if (!plan.restartBy.empty()) {
        out = std::string(plan.restartBy.size() == 1 ? "asked for by item " : "asked for by items ") +
              NumberList(plan.restartBy) + ": " + what;
    }
    if (!plan.exitCodeItems.empty()) {
        const std::string items =
            std::string(plan.exitCodeItems.size() == 1 ? "item " : "items ") + NumberList(plan.exitCodeItems);
        out += out.empty() ? "only if the process of " + items + " ends with exit code 3010 or 1641: " + what
                           : "; also if the process of " + items + " ends with exit code 3010 or 1641";
    }
    if (!plan.driverItems.empty()) {
        const std::string drivers =
            std::string(plan.driverItems.size() == 1 ? "item " : "items ") + NumberList(plan.driverItems);
        out += out.empty() ? "only if the driver installation of " + drivers + " asks for one: " + what
                           : "; also if the driver installation of " + drivers + " asks for one";
    }
    return out.empty() ? "none requested" : out;
}

std::string WaitWords(const PlanItem& item)
{
    const bool direct = item.direct;
    std::string out = direct ? "'~' rule: " : "'*' rule: ";
    if (item.throughProcess) out += "its own process while it runs, then ";
    out += item.waitProgram + " (the item's own name)";
    for (const WaitName& e : item.waitEntries)
        out += ", " + (e.contains ? "every image name holding " + Quoted(e.text) : e.text);
    if (direct)
        out += "; then a grace period of " + std::to_string(kGracePolls) + " polls " +
               std::to_string(kGracePollIntervalMs) + " ms apart watching " +
               (item.gracePoll.empty() ? std::string("nothing") : item.gracePoll) + " by exact name";
    else
        out += "; no grace period";
    return out;
}

std::string CodeList(const std::vector<uint32_t>& codes)
{
    std::string out;
    for (const uint32_t code : codes) out += (out.empty() ? "" : ", ") + std::to_string(code);
    return out;
}

// What the item's exit code means for the run's.
std::string SuccessWords(const PlanItem& item)
{
    const SuccessCodes& listed = item.fields.successCodes;
    std::string out = "exit codes 0, 1707, 3010 and 1641";
    if (listed.any) return out + ", and any other ([ExitCodes] *)";
    if (!listed.codes.empty()) out += ", and " + CodeList(listed.codes) + " ([ExitCodes])";
    return out + "; any other code is the run's exit code, when it is the run's first failure";
}

std::string FoundWords(Found found)
{
    switch (found) {
    case Found::Yes:
        return "found";
    case Found::No:
        return "missing";
    case Found::NotLooked:
    default:
        return "not looked for";
    }
}

void Line(std::string& out, const char* label, const std::string& text)
{
    char head[32] = {};
    std::snprintf(head, sizeof head, "  %-10s ", label);
    out += head + text + "\n";
}

// ------------------------------------------------------------------ JSON

// Strings are the list's bytes; the code page they are in cannot be known,
// so every byte outside printable ASCII is written as \u00XX, one per byte.
std::string Json(std::string_view s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char escaped[8] = {};
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonOrNull(const std::string& s) { return s.empty() ? "null" : Json(s); }

std::string JsonFound(Found found) { return found == Found::Yes ? "true" : found == Found::No ? "false" : "null"; }

std::string JsonInts(const std::vector<int>& numbers) { return "[" + NumberList(numbers) + "]"; }

const char* JsonKind(ItemKind kind)
{
    const ItemKindInfo* info = KindInfo(kind);
    return info == nullptr ? "end" : info->name;
}

const char* JsonEnd(EndReason end)
{
    switch (end) {
    case EndReason::UnknownKind:
        return "unknown-kind";
    case EndReason::TableFull:
        return "table-full";
    case EndReason::NoMoreKeys:
    default:
        return "no-more-keys";
    }
}

std::string JsonDetect(const PlanItem& item)
{
    if (!item.hasDetect) return "null";
    static const char* const kTypes[] = {"msi", "upgrade", "reg", "file", "driver"};
    std::string o = "[";
    for (const DetectRule& r : item.detect.rules) {
        const bool reg = r.type == RuleType::Reg;
        o += std::string(o.size() > 1 ? ", " : "") + "{\"type\": \"" + kTypes[static_cast<int>(r.type)] +
             "\", \"view\": " + (reg ? (r.view32 ? "\"32\"" : "\"64\"") : "null") + ", \"target\": " + Json(r.target) +
             ", \"value\": " + (r.hasValue ? Json(r.value) : "null") + ", \"op\": " +
             (r.op == RuleOp::None      ? "null"
              : r.op == RuleOp::AtLeast ? "\">=\""
                                        : "\"=\"") +
             ", \"operand\": " + (r.op == RuleOp::None ? "null" : Json(r.operand)) + ", \"text\": " + Json(r.text) +
             "}";
    }
    return o + "]";
}

std::string JsonItem(const PlanItem& item)
{
    const SetupItem& f = item.fields;
    const bool known = item.kind != ItemKind::End;
    const bool waits = item.kind == ItemKind::Copy || item.kind == ItemKind::Program;
    std::string o = "    {\n";
    o += "      \"item\": " + std::to_string(item.number) + ",\n";
    o += "      \"value\": " + Json(item.value) + ",\n";
    o += "      \"fields\": {\"kind\": " + Json(f.kind) + ", \"file\": " + Json(f.file) +
         ", \"parameters\": " + Json(f.parameters) + ", \"waitList\": " + Json(f.waitList) +
         ", \"rebootFlag\": " + Json(f.rebootFlag) + "},\n";
    o += std::string("      \"kind\": \"") + JsonKind(item.kind) + "\",\n";
    o += "      \"currentDirectory\": " + (known ? Json(item.currentDirectory) : std::string("null")) + ",\n";
    o += "      \"enters\": " + JsonOrNull(item.enters) + ",\n";
    o += "      \"entered\": " + std::string(item.enters.empty() ? "null" : item.entered ? "true" : "false") + ",\n";
    o += "      \"copyFrom\": " + JsonOrNull(item.copyFrom) + ",\n";
    o += "      \"tests\": " + JsonOrNull(item.tests) + ",\n";
    o += "      \"lookedAt\": " + JsonOrNull(item.lookedAt) + ",\n";
    o += "      \"found\": " + (known ? JsonFound(item.found) : std::string("null")) + ",\n";
    o += "      \"missing\": " + JsonOrNull(item.missingWhy) + ",\n";
    o += std::string("      \"start\": \"") +
         (item.start == StartKind::Direct   ? "direct"
          : item.start == StartKind::Dialog ? "dialog"
                                            : "none") +
         "\",\n";
    if (item.start != StartKind::None && item.kind != ItemKind::Driver)
        o += "      \"startsAs\": {\"program\": " +
             (item.startPlan.program.empty() ? std::string("null") : Json("System32\\" + item.startPlan.program)) +
             ", \"parameters\": " +
             (item.startPlan.host == StartHost::NotOpened ? std::string("null") : Json(item.startPlan.parameters)) +
             ", \"added\": " + JsonOrNull(item.startPlan.added.empty() ? "" : item.startPlan.added.substr(1)) + "},\n";
    else
        o += "      \"startsAs\": null,\n";
    o += "      \"installerPackage\": " + std::string(item.installerPackage ? "true" : "false") + ",\n";
    o += "      \"throughProcess\": " + std::string(item.throughProcess ? "true" : "false") + ",\n";
    if (item.throughProcess && item.start != StartKind::None)
        o += "      \"successCodes\": {\"always\": [0, 1707, 3010, 1641], \"listed\": [" +
             CodeList(f.successCodes.codes) + "], \"any\": " + (f.successCodes.any ? "true" : "false") + "},\n";
    else
        o += "      \"successCodes\": null,\n";
    if (item.kind == ItemKind::Driver) {
        o += "      \"hardwareId\": " + Json(f.parameters) + ",\n";
        o += "      \"infPath\": " + JsonOrNull(item.infPath) + ",\n";
        o += "      \"infFound\": " + JsonFound(item.infFound) + ",\n";
    } else {
        o += "      \"hardwareId\": null,\n      \"infPath\": null,\n      \"infFound\": null,\n";
    }
    if (waits) {
        const bool direct = item.direct;
        o += std::string("      \"wait\": {\"rule\": \"") + (direct ? "direct" : "dialog") + "\", \"separator\": \"" +
             (direct ? "~" : "*") + "\", \"program\": " + Json(item.waitProgram) + ", \"entries\": [";
        for (size_t i = 0; i < item.waitEntries.size(); ++i) {
            const WaitName& e = item.waitEntries[i];
            o += std::string(i == 0 ? "" : ", ") + "{\"name\": " + Json(e.entry) + ", \"match\": \"" +
                 (e.contains ? "contains" : "exact") + "\", \"text\": " + Json(e.text) + "}";
        }
        o += "], \"gracePoll\": " + (direct ? Json(item.gracePoll) : std::string("null")) + "},\n";
    } else {
        o += "      \"wait\": null,\n";
    }
    const char* restart = item.kind == ItemKind::Driver ? (item.start == StartKind::Dialog ? "driver" : "no")
                                                        : (item.requestsRestart ? "yes" : "no");
    o += std::string("      \"restart\": \"") + restart + "\",\n";
    o += "      \"detect\": " + JsonDetect(item) + "\n";
    o += "    }";
    return o;
}

}  // namespace

void DetectLines(std::string& out, const PlanItem& item)
{
    if (!item.hasDetect) return;
    for (const DetectRule& rule : item.detect.rules) Line(out, "detect", RuleInWords(rule));
    for (const DetectProblem& problem : item.detect.problems)
        Line(out, "detect", Quoted(problem.rule) + ": cannot be judged (" + problem.id + ")");
    const std::string pad(13, ' ');
    out += pad + "checked on the target after the item enters its directory, before its file is looked for:\n" + pad +
           (item.detect.Judgeable() ? "holds → skipped (success); after exit code 0 or 1707 it must hold, else the run "
                                      "fails with 1603\n"
                                    : "never skips the item, never fails it\n");
}

std::string FormatPlanText(const Plan& plan)
{
    std::string out = "zarnowel-check: " + plan.listPath + "\n";
    out += "section [" + plan.section + "] " +
           (plan.silent ? (plan.section == kSectionSilent ? "(with /s)" : "(with /s, which falls back to it)")
                        : "(without /s)") +
           (plan.noRestart ? ", with /norestart" : "") + "\n";
    out += "programDirectory " + plan.programDirectory + ", the current directory at the start\n";
    for (const PlanItem& item : plan.items) {
        const SetupItem& f = item.fields;
        out += "\nitem " + std::to_string(item.number) + ": " + KindWords(item.kind) + "\n";
        Line(out, "value", item.value);
        if (item.kind == ItemKind::End) {
            Line(out, "ends", "the run ends here: kind " + Quoted(f.kind) + " is not " + KnownKinds());
            continue;
        }
        if (!item.enters.empty())
            Line(out, "enters",
                 item.enters + (item.entered ? " (the current directory for every later item)"
                                             : ": no such directory, the change fails"));
        if (item.kind == ItemKind::Copy) {
            Line(out, "copies",
                 item.copyFrom + " in " + item.currentDirectory + " (" + FoundWords(item.found) + ") to " + item.tests);
            Line(out, "tests", item.tests);
        } else if (!item.tests.empty() && (item.enters.empty() || item.entered)) {
            const bool relative = item.tests.rfind(".\\", 0) == 0;
            std::string where = relative ? " in " + item.currentDirectory : std::string();
            std::string found = FoundWords(item.found);
            if (item.found == Found::NotLooked) found += " (a drive letter names the target machine's disk)";
            Line(out, "tests", item.tests + where + ": " + found);
        }
        DetectLines(out, item);
        if (item.found == Found::No) {
            Line(out, "skipped",
                 item.missingWhy + (item.kind == ItemKind::Driver ? "; message \"file open error\"" : ""));
            continue;
        }
        if (item.kind == ItemKind::Driver) {
            Line(out, "dialog",
                 "looks for a present device whose first hardware ID holds " + Quoted(f.parameters) +
                     " (any letter case) and installs " +
                     (item.infPath.empty() ? std::string("nothing (INF path too long)")
                                           : item.infPath + " (" + FoundWords(item.infFound) + ")") +
                     " for it");
            Line(out, "restart", "if the driver installation asks for one");
            continue;
        }
        const std::string how = item.tests + (item.start == StartKind::Direct ? " directly" : " under the dialog");
        std::string start = how + StartWords(item.startPlan);
        if (item.installerPackage)
            start +=
                "; a Windows Installer package: first the launcher waits while another installation holds the "
                "installer (10 min at most), then for every msiexec.exe that this run started (never ending one)";
        Line(out, "starts", start);
        if (item.unattendedPlan.host != item.startPlan.host ||
            item.unattendedPlan.parameters != item.startPlan.parameters)
            Line(out, "unattended", how + StartWords(item.unattendedPlan) + " (session 0: nobody could see a box)");
        Line(out, "waits", WaitWords(item));
        std::string restart = item.requestsRestart ? "requested (rebootFlag 1)" : "no";
        if (item.throughProcess) restart += item.requestsRestart ? "" : "; yes if its process ends with 3010 or 1641";
        Line(out, "restart", restart);
        if (item.throughProcess) Line(out, "success", SuccessWords(item));
    }
    out += "\nend: " + EndWords(plan) + "\n";
    out += "restart: " + RestartWords(plan) + "\n";
    if (!plan.markerKey.empty())
        out += "marker: HKLM\\" + plan.markerKey + " (64-bit view), Version " + plan.markerVersion +
               ", written when the list ends without a failure\n";
    if (plan.restartCheck == "refuse")
        out +=
            "restart check: a pending restart (CBS, Windows Update, rename) stops the run before item 1 with exit "
            "code 350\n";
    else if (!plan.restartCheck.empty())
        out += "restart check: a pending restart is logged before item 1; the run goes on\n";
    if (plan.warnings.empty()) {
        out += "warnings: none\n";
        return out;
    }
    out += "warnings: " + std::to_string(plan.warnings.size()) + "\n";
    for (const Warning& w : plan.warnings) {
        out += "  " + (w.item == 0 ? std::string("list") : "item " + std::to_string(w.item)) + " [" + w.code + "] " +
               w.message + "\n";
        out += "    fix: " + w.fix + "\n";
    }
    return out;
}

std::string FormatPlanJson(const Plan& plan)
{
    std::string o = "{\n";
    o += "  \"format\": \"zarnowel-check 1\",\n";
    o += "  \"list\": " + Json(plan.listPath) + ",\n";
    o += "  \"programDirectory\": " + Json(plan.programDirectory) + ",\n";
    o += std::string("  \"silent\": ") + (plan.silent ? "true" : "false") + ",\n";
    o += "  \"section\": " + Json(plan.section) + ",\n";
    o += "  \"items\": [";
    for (size_t i = 0; i < plan.items.size(); ++i) o += std::string(i == 0 ? "\n" : ",\n") + JsonItem(plan.items[i]);
    o += plan.items.empty() ? "],\n" : "\n  ],\n";
    o += "  \"end\": {\"afterItem\": " + std::to_string(plan.lastItemRun) + ", \"reason\": \"" + JsonEnd(plan.end) +
         "\"},\n";
    o += "  \"restart\": {\"requestedBy\": " + JsonInts(plan.restartBy) +
         ", \"driverItems\": " + JsonInts(plan.driverItems) + ", \"exitCodeItems\": " + JsonInts(plan.exitCodeItems) +
         ", \"withoutQuestion\": " + (plan.silent ? "true" : "false") +
         ", \"noRestart\": " + (plan.noRestart ? "true" : "false") + "},\n";
    o += "  \"marker\": " +
         (plan.markerKey.empty() ? std::string("null")
                                 : "{\"key\": " + Json(plan.markerKey) + ", \"version\": " + Json(plan.markerVersion) +
                                       ", \"name\": " + JsonOrNull(plan.markerName) +
                                       ", \"publisher\": " + JsonOrNull(plan.markerPublisher) + "}") +
         ",\n";
    o += "  \"restartCheck\": " + JsonOrNull(plan.restartCheck) + ",\n";
    o += "  \"warnings\": [";
    for (size_t i = 0; i < plan.warnings.size(); ++i) {
        const Warning& w = plan.warnings[i];
        o += std::string(i == 0 ? "\n" : ",\n") +
             "    {\"item\": " + (w.item == 0 ? std::string("null") : std::to_string(w.item)) +
             ", \"code\": " + Json(w.code) + ", \"message\": " + Json(w.message) + ", \"fix\": " + Json(w.fix) + "}";
    }
    o += plan.warnings.empty() ? "],\n" : "\n  ],\n";
    o += "  \"exitCode\": " + std::to_string(ExitCodeOf(plan)) + "\n";
    o += "}\n";
    return o;
}

}  // namespace zw::check
