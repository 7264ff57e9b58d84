// [Detect], [Marker] and [Restart] as the launcher reads them, and the
// deployment an agent is given for the list.
#include <string>

#include "checker.h"
#include "platform/ascii.h"
#include "restart/pending_restart.h"
#include "warnings.h"

namespace zw::check {

namespace {

// The whole value, however long; the launcher cuts it at limit - 1.
std::string Whole(const ProfileText& text, const char* section, const std::string& key)
{
    std::string buffer(4096, '\0');
    const unsigned n = text.Read(section, key, "", buffer.data(), static_cast<unsigned>(buffer.size()));
    buffer.resize(n);
    return buffer;
}

// The file field of item n in a section, as the loader splits it.
std::string FileIn(const ProfileText& text, const char* section, int n)
{
    return SplitSetupValue(Whole(text, section, SetupKeyName(n))).file;
}

WarningId ProblemWarning(std::string_view id)
{
    if (id == "detect_hive") return WarningId::DetectHive;
    if (id == "detect_wow6432node") return WarningId::DetectWow6432Node;
    if (id == "detect_msi_field4") return WarningId::DetectMsiField4;
    return WarningId::DetectSyntax;
}

std::string JsonText(std::string_view s)
{
    std::string o = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') o += '\\';
        o += c;
    }
    return o + "\"";
}

// A PowerShell literal in single quotes.
std::string Ps(std::string_view s)
{
    std::string o = "'";
    for (const char c : s) o += c == '\'' ? std::string("''") : std::string(1, c);
    return o + "'";
}

std::string LastName(const std::string& key) { return key.substr(key.find_last_of('\\') + 1); }

}  // namespace

void CheckRunAgain(const ProfileText& text, Plan& plan)
{
    auto warn = [&plan](int item, WarningId id, std::initializer_list<std::string> args) {
        plan.warnings.push_back(MakeWarning(item, id, args));
    };
    const std::vector<std::string> keys = text.Keys(kSectionDetect);
    for (const std::string& key : keys) {
        PlanItem* item = nullptr;
        for (PlanItem& p : plan.items)
            if (EqualsIgnoringAsciiCase(key, SetupKeyName(p.number)) && p.kind != ItemKind::End) item = &p;
        if (item == nullptr) {
            warn(0, WarningId::DetectKey, {key, plan.section});
            continue;
        }
        std::string value = Whole(text, kSectionDetect, key);
        if (value.size() >= kDetectBufferSize) {
            warn(item->number, WarningId::DetectCut,
                 {key, std::to_string(value.size()), value.substr(kDetectBufferSize - 1)});
            value.resize(kDetectBufferSize - 1);
        }
        item->hasDetect = true;
        item->detect = ParseDetectRules(value);
        for (const DetectProblem& problem : item->detect.problems)
            warn(item->number, ProblemWarning(problem.id), {problem.rule});
        const std::string silent = FileIn(text, kSectionSilent, item->number);
        const std::string list = FileIn(text, kSectionList, item->number);
        if (!silent.empty() && !EqualsIgnoringAsciiCase(silent, list))
            warn(item->number, WarningId::DetectSilent, {key, std::to_string(item->number), silent, list});
    }

    plan.markerKey = Whole(text, kSectionMarker, "Key");
    plan.markerVersion = Whole(text, kSectionMarker, "Version");
    plan.markerName = Whole(text, kSectionMarker, "Name");
    plan.markerPublisher = Whole(text, kSectionMarker, "Publisher");
    plan.restartCheck = Whole(text, kSectionRestart, "Pending");
    for (char& c : plan.restartCheck) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (plan.markerKey.empty()) {
        if (!keys.empty()) warn(0, WarningId::DetectNoMarker, {});
        return;
    }
    if (const char* problem = MarkerKeyProblem(plan.markerKey))
        warn(0, WarningId::MarkerKey, {plan.markerKey, problem});
    Version version;
    if (!ParseVersion(plan.markerVersion, version)) warn(0, WarningId::MarkerVersion, {plan.markerVersion});
}

std::string FormatAgent(const Plan& plan, std::string_view agent, int timeoutMinutes)
{
    Version version;
    if (plan.markerKey.empty() || MarkerKeyProblem(plan.markerKey) != nullptr ||
        !ParseVersion(plan.markerVersion, version))
        return std::string();
    // The agent's own limit stays above the launcher's, so the launcher ends
    // the run and tells why.
    const int maxMinutes = timeoutMinutes == 0 ? 60 : timeoutMinutes + 10 > 1440 ? 1440 : timeoutMinutes + 10;
    const std::string timeout = timeoutMinutes == 0 ? "" : " /timeout:" + std::to_string(timeoutMinutes);
    const std::string install =
        "zarnowel.exe /s /norestart" + timeout + " /log:\"%WINDIR%\\Logs\\Zarnowel\\zarnowel.log\"";
    const std::string uninstall = "cmd.exe /c reg delete \"HKLM\\" + plan.markerKey + "\" /f /reg:64";
    const std::string name = plan.markerName.empty() ? LastName(plan.markerKey) : plan.markerName;
    const bool refuse = plan.restartCheck == "refuse";
    std::string o;
    if (agent == "configmgr") {
        const std::string type = "Zarnowel chain " + plan.markerVersion;
        o += "$marker = New-CMDetectionClauseRegistryKeyValue -Hive LocalMachine -KeyName " + Ps(plan.markerKey) +
             " `\n  -ValueName 'Version' -PropertyType Version -ExpressionOperator GreaterEquals -ExpectedValue " +
             Ps(plan.markerVersion) + " -Value -Is64Bit\n";
        o += "Add-CMScriptDeploymentType -ApplicationName " + Ps(name) + " -DeploymentTypeName " + Ps(type) + " `\n";
        o += "  -ContentLocation " + Ps("\\\\SERVER\\Share\\" + LastName(plan.markerKey)) + " `\n";
        o += "  -InstallCommand " + Ps(install) + " `\n";
        o += "  -UninstallCommand " + Ps(uninstall) + " `\n";
        o += "  -AddDetectionClause $marker -InstallationBehaviorType InstallForSystem `\n";
        o += "  -LogonRequirementType WhetherOrNotUserLoggedOn -UserInteractionMode Hidden `\n";
        o += "  -MaximumRuntimeMins " + std::to_string(maxMinutes) + " -RebootBehavior BasedOnExitCode\n";
        if (refuse) {
            o += "$dt = Get-CMDeploymentType -ApplicationName " + Ps(name) + " -DeploymentTypeName " + Ps(type) + "\n";
            o += "Add-CMDeploymentTypeReturnCode -InputObject $dt -ReturnCode 350 -CodeType FastRetry -Name 'Restart "
                 "pending' `\n  -Description 'Zarnowel started nothing: Windows must restart first'\n";
        }
        return o;
    }
    if (agent != "intune") return std::string();
    auto code = [](int n, const char* type) {
        return "    {\"@odata.type\": \"microsoft.graph.win32LobAppReturnCode\", \"returnCode\": " + std::to_string(n) +
               ", \"type\": \"" + type + "\"}";
    };
    o += "{\n  \"@odata.type\": \"#microsoft.graph.win32LobApp\",\n";
    o += "  \"displayName\": " + JsonText(name) + ", \"publisher\": " + JsonText(plan.markerPublisher) +
         ", \"displayVersion\": " + JsonText(plan.markerVersion) + ",\n";
    o += "  \"fileName\": " + JsonText(LastName(plan.markerKey) + ".intunewin") +
         ", \"setupFilePath\": \"zarnowel.exe\",\n";
    o += "  \"installCommandLine\": " + JsonText(install) + ",\n";
    o += "  \"uninstallCommandLine\": " + JsonText(uninstall) + ",\n";
    o += "  \"installExperience\": {\"@odata.type\": \"microsoft.graph.win32LobAppInstallExperience\",\n"
         "    \"runAsAccount\": \"system\", \"deviceRestartBehavior\": \"basedOnReturnCode\", "
         "\"maxRunTimeInMinutes\": " +
         std::to_string(maxMinutes) + "},\n";
    o += "  \"returnCodes\": [\n" + code(0, "success") + ",\n" + code(1707, "success") + ",\n" +
         code(3010, "softReboot") + ",\n" + code(1641, "hardReboot") + ",\n" + code(1618, "retry") +
         (refuse ? ",\n" + code(350, "failed") : std::string()) + "],\n";
    o += "  \"rules\": [{\"@odata.type\": \"#microsoft.graph.win32LobAppRegistryRule\", \"ruleType\": \"detection\",\n"
         "    \"check32BitOn64System\": false, \"keyPath\": " +
         JsonText("HKEY_LOCAL_MACHINE\\" + plan.markerKey) +
         ",\n    \"valueName\": \"Version\", \"operationType\": \"version\", \"operator\": \"greaterThanOrEqual\",\n"
         "    \"comparisonValue\": " +
         JsonText(plan.markerVersion) + "}]\n}\n";
    return o;
}

}  // namespace zw::check
