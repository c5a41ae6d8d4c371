#!/usr/bin/env python3
"""Checks Windows Installer packages against the rules that Windows Installer and its ICE validators
apply and Wine's msiexec does not, from the packages' tables (msiinfo export); no Windows needed.

Usage: msi_lint.py PACKAGE...   Prints every rule's findings; exits 1 when there is any.
"""
import re
import subprocess
import sys

# Folders in a user's profile (for a per-user installation, and as ICE38/ICE43/ICE64 see them).
PROFILE_FOLDERS = {
    "AppDataFolder", "DesktopFolder", "FavoritesFolder", "LocalAppDataFolder", "MyPicturesFolder",
    "NetHoodFolder", "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder",
    "SendToFolder", "StartMenuFolder", "StartupFolder", "TemplateFolder", "AdminToolsFolder",
}
# CustomAction.Type bits.
IN_SCRIPT, ROLLBACK, COMMIT, NO_IMPERSONATE = 0x400, 0x100, 0x200, 0x800
# Upgrade.Attributes bits.
ONLY_DETECT, INCLUDE_MINIMUM, INCLUDE_MAXIMUM = 2, 256, 512
REG_HKCU, REG_HKLM = 1, 2
# Component.Attributes: the key path is a Registry row.
KEY_PATH_REGISTRY = 4
GUID = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")


def table(package, name):
    """The table's rows as dicts (column name to text); no rows when the package has no such table."""
    run = subprocess.run(["msiinfo", "export", package, name], capture_output=True, text=True)
    if run.returncode != 0:
        return []
    lines = run.stdout.replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    rows = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    return rows


def lint(package):
    """Yields (rule, finding) for every broken rule."""
    t = {name: table(package, name) for name in (
        "CustomAction", "InstallExecuteSequence", "File", "MsiFileHash", "Property", "Upgrade",
        "Component", "Directory", "Registry", "Shortcut", "RemoveFile", "LaunchCondition", "Feature")}
    prop = {r["Property"]: r["Value"] for r in t["Property"]}
    sequence = sorted(((int(r["Sequence"]), r["Action"], r["Condition"]) for r in t["InstallExecuteSequence"]
                       if r["Sequence"]))
    position = {action: (i, seq, cond) for i, (seq, action, cond) in enumerate(sequence)}

    # Custom actions: rollback actions are deferred into the rollback script, each just before the
    # action it undoes; no impersonation only for actions in the script (ICE68); actions in the
    # script lie between InstallInitialize and InstallFinalize (ICE77).
    rule = "custom-action types and sequence"
    types = {r["Action"]: int(r["Type"]) for r in t["CustomAction"]}
    for action, kind in types.items():
        if kind & NO_IMPERSONATE and not kind & IN_SCRIPT:
            yield rule, f"{action} (type {kind}) is immediate but claims no impersonation"
        if action.startswith("Rollback"):
            undone = action[len("Rollback"):]
            if kind & (IN_SCRIPT | ROLLBACK) != IN_SCRIPT | ROLLBACK:
                yield rule, f"{action} (type {kind}) is not a rollback action (in-script + rollback)"
            if undone not in types or types[undone] & (ROLLBACK | COMMIT) or not types[undone] & IN_SCRIPT:
                yield rule, f"{action} undoes no deferred action {undone}"
            elif action in position and undone in position:
                (i, _, cond), (j, _, undone_cond) = position[action], position[undone]
                if j != i + 1 or cond != undone_cond:
                    yield rule, f"{action} is not scheduled just before {undone} under its condition"
            else:
                yield rule, f"{action} or {undone} is not in InstallExecuteSequence"
        if kind & IN_SCRIPT and action in position:
            at = position[action][1]
            if not position["InstallInitialize"][1] < at < position["InstallFinalize"][1]:
                yield rule, f"deferred {action} at {at} lies outside InstallInitialize..InstallFinalize"
    # Every deferred registration or unregistration is undone: a rollback action of the same program
    # with the opposite switch lies just before it (named otherwise, it is not found by the rule above).
    opposite = {"/regserver": "/unregserver", "/unregserver": "/regserver"}
    rows = {r["Action"]: r for r in t["CustomAction"]}
    for action, kind in types.items():
        switch = rows[action].get("Target", "").strip().lower()
        if switch not in opposite or kind & (ROLLBACK | COMMIT) or not kind & IN_SCRIPT:
            continue
        i = position.get(action, (0,))[0]
        partner = rows.get(sequence[i - 1][1]) if i > 0 else None
        if not (partner and types[partner["Action"]] & (IN_SCRIPT | ROLLBACK) == IN_SCRIPT | ROLLBACK
                and partner["Source"] == rows[action]["Source"]
                and partner.get("Target", "").strip().lower() == opposite[switch]):
            yield rule, f"{action} ({switch}) has no rollback action running {opposite[switch]} just before it"
    remove = position.get("RemoveExistingProducts")
    if remove and not (position["InstallValidate"][1] < remove[1] < position["InstallInitialize"][1]
                       or remove[1] > position["InstallFinalize"][1]):
        yield rule, f"RemoveExistingProducts at {remove[1]} (ICE63)"

    # Versions: ProductVersion major.minor.build with a fourth field 0 (Windows Installer compares
    # three fields); versioned files carry their version and language (ICE60) and no hash.
    rule = "versions"
    version = prop.get("ProductVersion", "")
    fields = version.split(".")
    if not re.fullmatch(r"\d+\.\d+\.\d+(\.\d+)?", version):
        yield rule, f"ProductVersion '{version}' is not major.minor.build"
    else:
        if len(fields) == 4 and fields[3] != "0":
            yield rule, f"ProductVersion {version}: the fourth field is ignored by Windows Installer, must be 0"
        if any(int(f) > limit for f, limit in zip(fields, (255, 255, 65535))):
            yield rule, f"ProductVersion {version} exceeds 255.255.65535"
    hashed = {r["File_"] for r in t["MsiFileHash"]}
    for f in t["File"]:
        name = f["FileName"].split("|")[-1]
        if name.lower().endswith((".exe", ".dll")) and not f["Version"]:
            yield rule, f"File {f['File']} ({name}) has no Version"
        if f["Version"] and re.fullmatch(r"[\d.]+", f["Version"]):
            if not f["Language"]:
                yield rule, f"File {f['File']} is versioned without a Language (ICE60)"
            if f["File"] in hashed:
                yield rule, f"File {f['File']} is versioned and hashed (MsiFileHash is for unversioned files)"

    # Upgrades: the same version and older ones are replaced, newer ones refused; GUIDs in upper
    # case (Windows Installer does not find a product by a lower-case code); the upgrade properties
    # pass from the user's to the system's side (SecureCustomProperties).
    rule = "upgrade"
    for name in ("ProductCode", "UpgradeCode"):
        if not GUID.match(prop.get(name, "")):
            yield rule, f"{name} '{prop.get(name, '')}' is not an upper-case GUID"
    code = prop.get("UpgradeCode", "").upper()
    rows = [r for r in t["Upgrade"] if r["UpgradeCode"].upper() == code]
    if len(rows) != len(t["Upgrade"]):
        yield rule, "Upgrade rows with another upgrade code than the package's"
    secure = set(prop.get("SecureCustomProperties", "").split(";"))
    for r in t["Upgrade"]:
        if r["ActionProperty"] not in secure or r["ActionProperty"] != r["ActionProperty"].upper():
            yield rule, f"Upgrade property {r['ActionProperty']} is not an upper-case secure property"
    if not any(r["VersionMax"] == version and int(r["Attributes"]) & INCLUDE_MAXIMUM
               and not int(r["Attributes"]) & ONLY_DETECT for r in rows):
        yield rule, f"no Upgrade row removes installed versions up to and including {version}"
    downgrade = [r for r in rows if r["VersionMin"] == version and int(r["Attributes"]) & ONLY_DETECT
                 and not int(r["Attributes"]) & INCLUDE_MINIMUM]
    if not downgrade:
        yield rule, f"no Upgrade row detects versions above {version}"
    elif not any(c["Condition"] == "NOT " + d["ActionProperty"] for c in t["LaunchCondition"] for d in downgrade):
        yield rule, "a newer installed version is detected but not refused (LaunchCondition)"

    # Per-machine.
    rule = "per-machine"
    if prop.get("ALLUSERS") != "1":
        yield rule, f"ALLUSERS is '{prop.get('ALLUSERS', '')}', not 1"

    # Components in a user profile or with non-advertised shortcuts have an HKCU value as their key
    # path (ICE38, ICE43), do not mix per-user and per-machine data (ICE57), and their folders go
    # on uninstall (ICE64); a shortcut names files of its own component only (ICE69).
    rule = "profile components"
    parent = {d["Directory"]: d["Directory_Parent"] for d in t["Directory"]}

    def in_profile(directory):
        while directory:
            if directory in PROFILE_FOLDERS:
                return True
            directory = parent.get(directory)
        return False

    registry = {r["Registry"]: r for r in t["Registry"]}
    features = {f["Feature"] for f in t["Feature"]}
    files = {f["File"]: f["Component_"] for f in t["File"]}
    shortcut_components = {s["Component_"] for s in t["Shortcut"] if s["Target"] not in features}
    for c in t["Component"]:
        name = c["Component"]
        roots = {int(r["Root"]) for r in t["Registry"] if r["Component_"] == name}
        profile = in_profile(c["Directory_"])
        if profile or name in shortcut_components:
            key = registry.get(c["KeyPath"]) if int(c["Attributes"]) & KEY_PATH_REGISTRY else None
            if not key or int(key["Root"]) != REG_HKCU:
                yield rule, f"component {name} ({'profile folder' if profile else 'shortcuts'}) has no HKCU key path (ICE38/ICE43)"
        if profile and REG_HKLM in roots:
            yield rule, f"component {name} in a profile folder holds per-machine data (ICE57)"
        if REG_HKCU in roots and REG_HKLM in roots:
            yield rule, f"component {name} mixes HKCU and HKLM values (ICE57)"
        if not GUID.match(c["ComponentId"]):
            yield rule, f"component {name}'s id {c['ComponentId']} is not an upper-case GUID"
    created = {c["Directory_"] for c in t["Component"]}
    removed = {r["DirProperty"] for r in t["RemoveFile"] if not r["FileName"] and int(r["InstallMode"]) & 2}
    for directory in sorted(created):
        if in_profile(directory) and directory not in PROFILE_FOLDERS and directory not in removed:
            yield rule, f"profile folder {directory} is not removed on uninstall (ICE64)"
    for s in t["Shortcut"]:
        for field in ("Target", "Arguments"):
            for ref in re.findall(r"\[#([^\]]+)\]", s.get(field, "")):
                if files.get(ref) != s["Component_"]:
                    yield rule, f"shortcut {s['Shortcut']} names file {ref} of component {files.get(ref)}, not its own {s['Component_']} (ICE69)"


def main(packages):
    if not packages:
        raise SystemExit(__doc__)
    found = 0
    for package in packages:
        findings = list(lint(package))
        for rule, finding in findings:
            print(f"{package}: FAIL [{rule}] {finding}")
        if not findings:
            print(f"{package}: ok, no findings")
        found += len(findings)
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main(sys.argv[1:])
