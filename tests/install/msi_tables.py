#!/usr/bin/env python3
"""Checks the tables of the built Windows Installer package against the rules that
Windows Installer's validation applies to it and that wixl and Wine's msiexec do not
check: key paths and component GUIDs, the shortcut's per-user-or-machine key path,
registry roots, 8.3 short names in the name columns, the file and component tables,
icon names, the per-machine install, the upgrade rows, the protected access list
given to INSTALLDIR wherever it is, and the package's file list against the portable
archive.

    msi_tables.py PACKAGE.msi ARCHIVE.zip VERSION

Prints one line per broken rule and exits 1 if there is any; exits 0 otherwise, and
77 (a skipped test) when the package has not been built.
"""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

UPGRADE_CODE = "{E174BAEA-E65E-43E5-AC03-71A874A2EF4A}"  # never changes
# The host with its proxy restore program, the engine library, the proxy core and
# the core's companion files.
REQUIRED_FILES = ["Duzavide.exe", "DuzavideProxyRestore.exe", "flutter_windows.dll", "xray.exe",
                  "wintun.dll", "geoip.dat", "geosite.dat", "README-FIRST.txt"]
REGISTRY_KEY_PATH = 0x4  # Component.Attributes: the key path is a Registry row
ONLY_DETECT = 0x2  # Upgrade.Attributes
ROOTS = {-1: "HKMU", 0: "HKCR", 1: "HKCU", 2: "HKLM", 3: "HKU"}
# A name column holds an 8.3 short name, optionally followed by "|" and the long name.
SHORT_CHAR = r"[A-Za-z0-9!#$%&'()\-@^_`{}~]"
SHORT_NAME = re.compile(rf"{SHORT_CHAR}{{1,8}}(\.{SHORT_CHAR}{{1,3}})?")


def table(msi, name):
    """The rows of table `name` as dicts; empty when the package has no such table."""
    # Exporting a table with binary columns writes their streams into the working folder.
    with tempfile.TemporaryDirectory() as scratch:
        result = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name],
                                capture_output=True, text=True, cwd=scratch)
    if result.returncode != 0:
        return []
    lines = result.stdout.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def long_name(default_dir):
    """The long name of a "short|long" name column."""
    return default_dir.split("|")[-1]


def check(msi, archive, version):
    problems = []
    components = {row["Component"]: row for row in table(msi, "Component")}
    files = {row["File"]: row for row in table(msi, "File")}
    registry = {row["Registry"]: row for row in table(msi, "Registry")}
    properties = {row["Property"]: row["Value"] for row in table(msi, "Property")}
    featured = {row["Component_"] for row in table(msi, "FeatureComponents")}
    icons = [row["Name"] for row in table(msi, "Icon")]

    guids = {}
    for name, row in components.items():
        if not re.fullmatch(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}", row["ComponentId"]):
            problems.append(f"component {name} has no GUID (ComponentId '{row['ComponentId']}')")
        elif row["ComponentId"] in guids:
            problems.append(f"components {guids[row['ComponentId']]} and {name} share a GUID")
        guids[row["ComponentId"]] = name
        key = row["KeyPath"]
        if int(row["Attributes"] or 0) & REGISTRY_KEY_PATH:
            if registry.get(key, {}).get("Component_") != name:
                problems.append(f"component {name}: key path {key} is no registry value of it")
        elif files.get(key, {}).get("Component_") != name:
            problems.append(f"component {name}: key path '{key}' is no file of it")
        if name not in featured:
            problems.append(f"component {name} belongs to no feature")
    for name, row in registry.items():
        if int(row["Root"]) not in ROOTS:
            problems.append(f"registry value {name} has the invalid root {row['Root']}")

    directories = {row["Directory"]: row for row in table(msi, "Directory")}
    shortcuts = table(msi, "Shortcut")
    names = [("file", row["File"], row["FileName"]) for row in files.values()]
    names += [("folder", key, row["DefaultDir"]) for key, row in directories.items()
              if row["Directory_Parent"] and row["DefaultDir"] != "."]
    names += [("shortcut", row["Shortcut"], row["Name"]) for row in shortcuts]
    for kind, key, name in names:
        if not SHORT_NAME.fullmatch(name.split("|")[0]):
            problems.append(f"{kind} {key}: '{name}' has no 8.3 short name before a '|'")

    for shortcut in shortcuts:
        component = components.get(shortcut["Component_"], {})
        key = registry.get(component.get("KeyPath"), {})
        root = ROOTS.get(int(key.get("Root", 99)))
        registry_key = int(component.get("Attributes") or 0) & REGISTRY_KEY_PATH
        if not registry_key or root not in ("HKMU", "HKCU"):
            problems.append(f"shortcut {shortcut['Shortcut']}: its component's key path is not "
                            f"a registry value under HKMU or HKCU (root {root})")
        if shortcut["Icon_"] and shortcut["Icon_"] not in icons:
            problems.append(f"shortcut {shortcut['Shortcut']}: unknown icon {shortcut['Icon_']}")
    for name in icons:
        if not name.lower().endswith((".ico", ".exe")):
            problems.append(f"icon '{name}' does not end in .ico or .exe")
    if properties.get("ARPPRODUCTICON", "") and properties["ARPPRODUCTICON"] not in icons:
        problems.append(f"ARPPRODUCTICON names the unknown icon {properties['ARPPRODUCTICON']}")

    if properties.get("ALLUSERS") != "1":
        problems.append(f"ALLUSERS is '{properties.get('ALLUSERS')}', not 1 (per machine)")
    upgrades = table(msi, "Upgrade")
    secure = properties.get("SecureCustomProperties", "").split(";")
    if not any(row["UpgradeCode"] == UPGRADE_CODE and row["VersionMin"] == version
               and not row["VersionMax"] and int(row["Attributes"]) & ONLY_DETECT
               for row in upgrades):
        problems.append(f"no Upgrade row detects a version newer than {version}")
    for row in upgrades:
        if row["ActionProperty"] not in secure:
            problems.append(f"Upgrade property {row['ActionProperty']} is not a secure property")

    # INSTALLDIR, wherever it is put (INSTALLDIR=C:\Users\...\Apps outside Program
    # Files included), is created with a protected list that lets only SYSTEM and
    # Administrators change it: the elevated host loads from it. So neither the
    # folder's component nor its lock may carry a condition (a path test would
    # leave a folder elsewhere with the list it inherits from its parent).
    created = {row["Directory_"]: row["Component_"] for row in table(msi, "CreateFolder")}
    folder_component = components.get(created.get("INSTALLDIR"), {})
    locks = [row["SDDLText"] for row in table(msi, "MsiLockPermissionsEx")
             if row["LockObject"] == "INSTALLDIR" and row["Table"] == "CreateFolder"
             and not row.get("Condition")]
    writers = [ace.split(";")[5] for sddl in locks for ace in re.findall(r"\(([^)]*)\)", sddl)
               if ace.split(";")[0] == "A" and ace.split(";")[2] not in ("FRFX", "FXFR")]
    if created.get("INSTALLDIR") not in featured or folder_component.get("Condition") \
            or len(locks) != 1 or not re.match(r"O:(BA|SY)D:PA?I?\(", locks[0]) \
            or set(writers) - {"SY", "BA"}:
        problems.append(f"INSTALLDIR is not created with a protected list only SYSTEM and "
                        f"Administrators may change: {locks}")

    def path_of(directory):
        parts = []
        while directory and directory != "INSTALLDIR":
            row = directories.get(directory)
            if row is None:
                return None
            parts.insert(0, long_name(row["DefaultDir"]))
            directory = row["Directory_Parent"]
        return "/".join(parts) if directory == "INSTALLDIR" else None

    # Every file of the application folder, at its place, and nothing else.
    packed = set()
    for row in files.values():
        folder = path_of(components.get(row["Component_"], {}).get("Directory_"))
        if folder is not None:
            packed.add((folder + "/" if folder else "") + long_name(row["FileName"]))
    with zipfile.ZipFile(archive) as z:
        top = "Duzavide Connect/"
        archived = {n[len(top):] for n in z.namelist()
                    if n.startswith(top) and not n.endswith("/")}
    for name in REQUIRED_FILES:
        if name not in archived:
            problems.append(f"the archive has no {name}")
    for name in sorted(archived - packed):
        problems.append(f"{name} of the application folder is not in the File table")
    for name in sorted(packed - archived):
        problems.append(f"the File table installs {name}, which the application folder lacks")
    return problems


def main():
    msi, archive, version = sys.argv[1:4]
    if not (os.path.isfile(msi) and os.path.isfile(archive)):
        print(f"no package {msi}; run scripts/package first")
        return 77
    problems = check(msi, archive, version)
    for problem in problems:
        print(f"FAIL: {problem}")
    if not problems:
        print(f"{msi}: every table rule holds")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
