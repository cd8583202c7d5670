#!/usr/bin/env python3
"""Checks a built release package: usage check_package.py BUILD_DIR PROJECT_VERSION

BUILD_DIR is a build folder after its dist target (the zip, SHA256SUMS and cyclowis.exe in it);
PROJECT_VERSION is the version of the CMake project, such as 1.0.0.1. Checked: the zip holds
exactly cyclowis.exe, README.txt and LICENSE.txt with fixed times and permissions; the texts have
Windows line endings; SHA256SUMS matches; the program is a 32-bit GUI executable for subsystem
4.0 with NX and ASLR, no time stamp, importing only Windows' own five DLLs and from them only
functions that Windows 95 has; its version resource shows the project's version; its one
application manifest is well-formed and asks for DPI awareness, no elevation, the Windows versions
from Vista to 11 and Common Controls 6, with no code page of its own. Prints every failure and
exits 1 when there was one.
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

ENTRIES = ["cyclowis.exe", "README.txt", "LICENSE.txt"]
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)
ENTRY_MODE = 0o100644
IMPORTS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "shell32.dll", "user32.dll"}
OBJDUMP = os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump")

# Every function the program may import, by DLL: each one exists on Windows 95, so the program
# still loads there. A newer function must be looked up at run time (GetProcAddress) instead, and
# a function added here must be one that Windows 95 has. The C runtime's are classic ones that
# msvcrt.dll has had from its first version.
FUNCTIONS_WINDOWS_95_HAS = {
    "advapi32.dll": {
        "RegCloseKey", "RegCreateKeyExA", "RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA",
    },
    "kernel32.dll": {
        "CloseHandle", "CreateFileMappingA", "DeleteCriticalSection", "EnterCriticalSection",
        "FreeLibrary", "GetCurrentProcessId", "GetLastError", "GetModuleHandleA", "GetProcAddress",
        "GetStartupInfoA", "GetSystemDirectoryA", "GetTickCount", "InitializeCriticalSection",
        "LeaveCriticalSection", "LoadLibraryA", "MapViewOfFile", "OpenFileMappingA", "SetLastError",
        "SetUnhandledExceptionFilter", "Sleep", "TlsGetValue", "UnmapViewOfFile", "VirtualProtect",
        "VirtualQuery", "lstrcpynA",
    },
    "msvcrt.dll": {
        "__getmainargs", "__initenv", "__p__acmdln", "__p__commode", "__p__fmode",
        "__set_app_type", "__setusermatherr", "_amsg_exit", "_cexit", "_errno", "_initterm",
        "_iob", "_onexit", "abort", "calloc", "exit", "fprintf", "free", "fwrite", "malloc",
        "memcmp", "memcpy", "signal", "strcmp", "strlen", "strncmp", "vfprintf",
    },
    "shell32.dll": {"Shell_NotifyIconA"},
    "user32.dll": {
        "CreateIcon", "DestroyIcon", "DialogBoxParamA", "EndDialog", "FindWindowA", "GetClassNameA",
        "GetCursorPos", "GetDlgItem", "GetSubMenu", "GetSysColor", "GetSystemMetrics", "GetWindowTextA",
        "GetWindowThreadProcessId", "KillTimer", "LoadMenuA", "LoadStringA", "MsgWaitForMultipleObjects",
        "PostMessageA", "RegisterWindowMessageA", "SendMessageA", "SendMessageTimeoutA", "SetDlgItemTextA",
        "SetForegroundWindow", "SetTimer", "ShowWindow", "SystemParametersInfoA", "TrackPopupMenu",
    },
}

# Newer functions that a DPI-aware program is tempted to import, with the Windows that have them;
# an import of one of these would stop the program from loading on anything older.
NEWER_THAN_WINDOWS_95 = {
    "GetDpiForWindow": "Windows 10 1607 and later",
    "GetSystemMetricsForDpi": "Windows 10 1607 and later",
    "GetDpiForSystem": "Windows 10 1607 and later",
    "SetProcessDpiAwarenessContext": "Windows 10 1703 and later",
    "SetProcessDPIAware": "Windows Vista and later",
    "RtlGetVersion": "the NT line only",
    "SetCoalescableTimer": "Windows 8 and later",
    "RegisterPowerSettingNotification": "Windows Vista and later",
    "UnregisterPowerSettingNotification": "Windows Vista and later",
    "AllowSetForegroundWindow": "Windows 98 and 2000 and later",
}
NEWER_DLLS = {"shcore.dll": "Windows 8.1 and later", "wtsapi32.dll": "Windows XP and later",
              "dwmapi.dll": "Windows Vista and later"}

# What the application manifest must say (cyclowisp.manifest.in).
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY_V1 = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
COMMON_CONTROLS_6 = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                     "version": "6.0.0.0", "processorArchitecture": "x86",
                     "publicKeyToken": "6595b64144ccf1df", "language": "*"}

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_32BIT_MACHINE = 0x0100
PE32_MAGIC = 0x10B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
RT_VERSION = 16
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
    return ok


def version_texts(version):
    """The text form and build group of a project version: 1.0.0.1 -> "1.00.0101", "0101".
    The build group is the patch level counted from 01, then the tweak number, two digits each."""
    major, minor, patch, tweak = (list(map(int, version.split("."))) + [0, 0, 0])[:4]
    build = f"{patch + 1:02d}{tweak:02d}"
    return f"{major}.{minor:02d}.{build}", build, (major, minor, patch, tweak)


# --- the zip ------------------------------------------------------------------------------------

def check_zip(path):
    """Returns the bytes of cyclowis.exe in the zip, or None."""
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
        names = [i.filename for i in infos]
        if not check(names == ENTRIES, f"zip entries are {names}, expected {ENTRIES}"):
            return None
        check(z.testzip() is None, "a zip entry fails its CRC")
        for info in infos:
            check(info.date_time == ENTRY_TIME,
                  f"{info.filename}: time {info.date_time}, expected {ENTRY_TIME}")
            check(info.create_system == 3 and info.external_attr >> 16 == ENTRY_MODE,
                  f"{info.filename}: system {info.create_system}, mode "
                  f"{oct(info.external_attr >> 16)}, expected Unix {oct(ENTRY_MODE)}")
            check(info.extra == b"", f"{info.filename}: extra field {info.extra.hex()}")
        for name in ("README.txt", "LICENSE.txt"):
            check_windows_text(name, z.read(name))
        licence = z.read("LICENSE.txt").decode("ascii", "replace")
        check(licence.startswith("MIT License\r\n"), "LICENSE.txt is not the MIT licence")
        check("Copyright (c) 2026 The Cyclowisp authors\r\n" in licence,
              "LICENSE.txt lacks the copyright line")
        return z.read("cyclowis.exe")


def check_windows_text(name, data):
    try:
        data.decode("ascii")
    except UnicodeDecodeError as e:
        check(False, f"{name}: not plain ASCII at byte {e.start}")
    bare = re.search(rb"(?<!\r)\n|\r(?!\n)", data)
    check(bare is None, f"{name}: a line end other than CR LF at byte {bare and bare.start()}")
    check(data.endswith(b"\r\n"), f"{name}: the last line has no line end")


def check_sums(sums_path, zip_path):
    folder = os.path.dirname(sums_path)
    with open(sums_path, encoding="ascii") as f:
        lines = f.read().splitlines()
    names = []
    for line in lines:
        m = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
        if not check(m, f"SHA256SUMS: malformed line {line!r}"):
            continue
        names.append(m.group(2))
        with open(os.path.join(folder, m.group(2)), "rb") as f:
            actual = hashlib.sha256(f.read()).hexdigest()
        check(actual == m.group(1), f"SHA256SUMS: {m.group(2)} is {actual}, listed {m.group(1)}")
    expected = [os.path.basename(zip_path), "cyclowis.exe"]
    check(names == expected, f"SHA256SUMS lists {names}, expected {expected}")


# --- the executable -----------------------------------------------------------------------------

class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        self.resource_rva = struct.unpack_from("<I", data, opt + 96 + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            s = opt + optional_size + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, raw_size), raw_ptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} is in no section")

    def resource(self, type_id):
        """The data of the first resource of a type (first name, first language)."""
        found = self.resources(type_id)
        return found[0][2] if found else None

    def resources(self, type_id):
        """Every resource of a type as (name, language, data), in directory order; a name given
        as a string instead of a number comes as that string."""
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, directory + 16 + 8 * i)

        def name(ident):
            if not ident & 0x80000000:
                return ident
            at = base + (ident & 0x7FFFFFFF)
            length = struct.unpack_from("<H", self.data, at)[0]
            return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

        found = []
        for ident, names in entries(base):
            if ident != type_id or not names & 0x80000000:
                continue
            for name_id, languages in entries(base + (names & 0x7FFFFFFF)):
                if not languages & 0x80000000:
                    continue
                for language, leaf in entries(base + (languages & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    found.append((name(name_id), language, self.data[start:start + size]))
        return found


def parse_version_block(buf, off=0):
    """One node of a version resource: (key, value bytes, children), and the offset past it."""
    length, value_length, kind = struct.unpack_from("<HHH", buf, off)
    end = off + length
    p = off + 6
    key_end = p
    while buf[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = buf[p:key_end].decode("utf-16-le")
    p = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = buf[p:p + value_bytes]
    p = (p + value_bytes + 3) & ~3
    children = []
    while p < end:
        child, p = parse_version_block(buf, p)
        children.append(child)
        p = (p + 3) & ~3
    return (key, value, children), end


def check_exe(data, version):
    try:
        pe = Pe(data)
    except (ValueError, struct.error) as e:
        check(False, f"cyclowis.exe is no PE executable: {e}")
        return
    check(pe.machine == IMAGE_FILE_MACHINE_I386, f"machine {pe.machine:#x}, expected i386")
    wanted = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE
    check(pe.characteristics & wanted == wanted,
          f"characteristics {pe.characteristics:#x} lack executable and 32-bit")
    check(pe.magic == PE32_MAGIC, f"optional header magic {pe.magic:#x}, expected PE32")
    check(pe.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, f"subsystem {pe.subsystem}, expected GUI")
    check(pe.subsystem_version == (4, 0), f"subsystem version {pe.subsystem_version}, expected 4.0")
    wanted = IMAGE_DLLCHARACTERISTICS_NX_COMPAT | IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE
    check(pe.dll_characteristics & wanted == wanted,
          f"DllCharacteristics {pe.dll_characteristics:#x} lack NX and DYNAMIC_BASE")
    check(pe.timestamp == 0, f"header time stamp {pe.timestamp:#x}, expected none (0)")
    check_version_resource(pe.resource(RT_VERSION), version)
    manifests = pe.resources(RT_MANIFEST)
    listed = [(name, f"{language:#06x}") for name, language, _ in manifests]
    if check(len(manifests) == 1 and manifests[0][0] == CREATEPROCESS_MANIFEST_RESOURCE_ID,
             f"manifest resources (id, language) {listed}, expected exactly one, id 1"):
        check_manifest(manifests[0][2], version)


def check_version_resource(block, version):
    if not check(block, "no version resource"):
        return
    text, build, numbers = version_texts(version)
    (key, fixed, children), _ = parse_version_block(block)
    check(key == "VS_VERSION_INFO", f"version resource key {key!r}")
    if check(len(fixed) == 52, f"fixed version info of {len(fixed)} bytes"):
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        check(signature == VS_FIXEDFILEINFO_SIGNATURE, f"fixed info signature {signature:#x}")
        major, minor, patch, tweak = numbers
        ms, ls = major << 16 | minor, patch << 16 | tweak
        for name, got in (("FILEVERSION", (file_ms, file_ls)),
                          ("PRODUCTVERSION", (product_ms, product_ls))):
            check(got == (ms, ls), f"{name} {got[0] >> 16},{got[0] & 0xFFFF},{got[1] >> 16},"
                                   f"{got[1] & 0xFFFF}, expected {','.join(map(str, numbers))}")
    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, entries in tables:
                for name, value, _ in entries:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    for name, expected in (("FileVersion", text), ("ProductVersion", text),
                           ("PrivateBuild", build), ("SpecialBuild", build)):
        check(strings.get(name) == expected,
              f"version string {name} is {strings.get(name)!r}, expected {expected!r}")


def check_manifest(data, version):
    """The application manifest: Windows reads only what sits in the right namespaces."""
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as e:
        check(False, f"manifest is no well-formed XML: {e}")
        return
    if not check(root.tag == ASM_V1 + "assembly" and root.get("manifestVersion") == "1.0",
                 f"manifest root {root.tag} version {root.get('manifestVersion')}, expected an "
                 f"asm.v1 assembly, manifestVersion 1.0"):
        return
    numbers = (version.split(".") + ["0"] * 4)[:4]
    identity = root.find(ASM_V1 + "assemblyIdentity")
    expected = {"type": "win32", "name": "Cyclowisp", "version": ".".join(numbers),
                "processorArchitecture": "x86"}
    got = identity.attrib if identity is not None else None
    check(got == expected, f"manifest identity {got}, expected {expected}")

    levels = root.findall(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                          f"{ASM_V3}requestedExecutionLevel")
    got = [dict(level.attrib) for level in levels]
    check(got == [{"level": "asInvoker", "uiAccess": "false"}],
          f"manifest execution levels {got}, expected one: asInvoker without uiAccess")

    settings = f"{ASM_V3}application/{ASM_V3}windowsSettings/"
    aware = [e.text for e in root.findall(settings + WINDOWS_SETTINGS_2005 + "dpiAware")]
    check(aware == ["true"], f"manifest dpiAware {aware}, expected ['true']")
    awareness = [e.text or ""
                 for e in root.findall(settings + WINDOWS_SETTINGS_2016 + "dpiAwareness")]
    check(len(awareness) == 1 and awareness[0].startswith("PerMonitorV2"),
          f"manifest dpiAwareness {awareness}, expected one starting with PerMonitorV2")

    compatibility = f"{COMPATIBILITY_V1}compatibility/{COMPATIBILITY_V1}application/"
    ids = [e.get("Id", "").lower()
           for e in root.findall(compatibility + COMPATIBILITY_V1 + "supportedOS")]
    missing = [SUPPORTED_OS[i] for i in SUPPORTED_OS if i not in ids]
    check(not missing and len(ids) == len(SUPPORTED_OS),
          f"manifest supportedOS ids {ids}; missing: {missing or 'none'}")

    dependencies = [dict(e.attrib) for e in root.findall(
        f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")]
    check(dependencies == [COMMON_CONTROLS_6],
          f"manifest dependencies {dependencies}, expected only {COMMON_CONTROLS_6}")

    # The program is ANSI in the user's own code page; a manifest code page would change that.
    code_pages = [e.tag for e in root.iter() if e.tag.rpartition("}")[2] == "activeCodePage"]
    check(not code_pages, f"manifest sets a code page: {code_pages}")


def imported_functions(objdump_output):
    """{dll in lower case: [function names]} from objdump -p; by-ordinal imports as '#n'."""
    imports = {}
    functions = None
    for line in objdump_output.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            functions = imports.setdefault(m.group(1).lower(), [])
        elif functions is not None and not line.strip():
            functions = None
        elif functions is not None:
            m = re.match(r"\t[0-9a-f]+\t\s*(\d+)\s+(\S+)", line)
            if m:
                functions.append("#" + m.group(1) if m.group(2) == "<none>" else m.group(2))
    return imports


def check_imports(exe_path):
    out = subprocess.run([OBJDUMP, "-p", exe_path], capture_output=True, text=True, check=True)
    imports = imported_functions(out.stdout)
    dlls = set(imports)
    check(dlls == IMPORTS, f"imports {sorted(dlls)}, expected only {sorted(IMPORTS)}")
    for dll, functions in sorted(imports.items()):
        for function in functions:
            if dll in NEWER_DLLS:
                check(False, f"imports {function} from {dll}, a DLL of {NEWER_DLLS[dll]}: the "
                             f"program would not load on Windows 95; look it up at run time "
                             f"(LoadLibraryA, GetProcAddress)")
            elif function in NEWER_THAN_WINDOWS_95:
                check(False, f"imports {function} from {dll}, a function of "
                             f"{NEWER_THAN_WINDOWS_95[function]}: the program would not load on "
                             f"Windows 95; look it up at run time (GetProcAddress)")
            elif dll in FUNCTIONS_WINDOWS_95_HAS:
                check(function in FUNCTIONS_WINDOWS_95_HAS[dll],
                      f"imports {function} from {dll}, which is not among the functions Windows "
                      f"95 has that this program may import: if Windows 95 has it, add it to "
                      f"FUNCTIONS_WINDOWS_95_HAS, else look it up at run time (GetProcAddress)")
    return sum(len(functions) for functions in imports.values())


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check_package.py BUILD_DIR PROJECT_VERSION")
    build, version = sys.argv[1:]
    text, _, _ = version_texts(version)
    zip_path = os.path.join(build, f"cyclowisp-{text}-win32.zip")
    exe_path = os.path.join(build, "cyclowis.exe")
    if not os.path.exists(zip_path):
        sys.exit(f"FAIL: no package {zip_path}")
    exe = check_zip(zip_path)
    check_sums(os.path.join(build, "SHA256SUMS"), zip_path)
    if exe is not None:
        with open(exe_path, "rb") as f:
            check(f.read() == exe, "cyclowis.exe in the zip differs from the one built")
        check_exe(exe, version)
    functions = check_imports(exe_path)
    for message in failures:
        print("FAIL:", message)
    if failures:
        return 1
    print(f"package {os.path.basename(zip_path)}: 3 entries, PE32 GUI 4.0, NX and ASLR, "
          f"imports {', '.join(sorted(IMPORTS))} ({functions} functions, all on Windows 95), "
          f"version {text}, manifest: all as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
