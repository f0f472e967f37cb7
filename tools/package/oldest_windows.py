#!/usr/bin/env python3
"""Tells the oldest Windows that each executable (32-bit PE32 or 64-bit PE32+) can start on,
from its PE header and import table (objdump -p), and the oldest that all of them start on.

Usage: oldest_windows.py FILE...

A program does not load on a Windows that lacks a function it imports, nor on one older than
the subsystem version in its header. The functions below are those of KERNEL32 and USER32
that came after Windows XP; every other function these files import is in Windows XP (the
program's one SHELL32 function, SHGetFolderPathA, came with Windows 2000). Prints
one line per file, "FILE: Windows X (reason)", then "oldest: Windows X".
"""
import os
import subprocess
import sys

WINDOWS = ["Windows 2000", "Windows XP", "Windows Vista", "Windows 7", "Windows 8", "Windows 10"]
SUBSYSTEMS = {(5, 0): "Windows 2000", (5, 1): "Windows XP", (5, 2): "Windows XP",
              (6, 0): "Windows Vista", (6, 1): "Windows 7", (6, 2): "Windows 8",
              (6, 3): "Windows 8", (10, 0): "Windows 10"}
NEWER_FUNCTIONS = {
    "Windows Vista": """GetTickCount64 InitializeSRWLock AcquireSRWLockExclusive
        ReleaseSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockShared
        InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
        WakeConditionVariable WakeAllConditionVariable InitOnceExecuteOnce
        InitOnceBeginInitialize InitOnceComplete CreateEventExA CreateEventExW CreateMutexExA
        CreateMutexExW CreateSemaphoreExA CreateSemaphoreExW FlsAlloc FlsFree FlsGetValue
        FlsSetValue GetThreadId GetCurrentProcessorNumber CancelIoEx
        GetFileInformationByHandleEx LocaleNameToLCID LCIDToLocaleName GetLocaleInfoEx
        CompareStringEx GetUserDefaultLocaleName""",
    "Windows 7": "TryAcquireSRWLockExclusive TryAcquireSRWLockShared",
    "Windows 8": "GetSystemTimePreciseAsFileTime",
    "Windows 10": "SetThreadDescription GetThreadDescription",
}
SINCE = {name: windows for windows, names in NEWER_FUNCTIONS.items() for name in names.split()}


def header_and_imports(path):
    # objdump speaks the locale's language; the fields are read in English.
    text = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          stdout=subprocess.PIPE, universal_newlines=True,
                          env=dict(os.environ, LC_ALL="C")).stdout
    fields, imports, dll = {}, [], None
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0].endswith("SubsystemVersion"):
            fields[parts[0]] = int(parts[1])
        elif line.strip().startswith("DLL Name:"):
            dll = parts[-1]
        elif dll and line.startswith("\t") and len(parts) == 3 and parts[1].isdigit():
            imports.append(parts[2])
    return (fields["MajorSubsystemVersion"], fields["MinorSubsystemVersion"]), imports


def oldest(path):
    """The oldest Windows for one file, and the header field or imports that set it."""
    subsystem, imports = header_and_imports(path)
    windows = SUBSYSTEMS.get(subsystem, WINDOWS[0])
    for name in imports:
        windows = max(windows, SINCE.get(name, WINDOWS[0]), key=WINDOWS.index)
    reason = [name for name in imports if SINCE.get(name) == windows]
    return windows, reason or ["subsystem %d.%d" % subsystem]


def main(paths):
    floor = WINDOWS[0]
    for path in paths:
        windows, reason = oldest(path)
        print("%s: %s (%s)" % (path.rsplit("/", 1)[-1], windows, ", ".join(reason)))
        floor = max(floor, windows, key=WINDOWS.index)
    print("oldest: %s" % floor)


main(sys.argv[1:])
