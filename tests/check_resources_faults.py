#!/usr/bin/env python3
"""tools/check_resources.py against doctored copies of a built launcher: each
row changes the manifest, the PE header or the version block the way a real
mistake would (same length, so the image stays valid) and names the failure
the check must report; the untouched copy must pass.

    check_resources_faults.py EXE CMAKECACHE
Exit 0 when every row behaves, 1 otherwise, 77 when EXE is not built.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "tools", "check_resources.py")


def swap(old, new):
    assert len(old) == len(new), (old, new)

    def patch(data):
        assert data.count(old) == 1, "%r found %d times" % (old, data.count(old))
        return data.replace(old, new)
    return patch


def clear_tsaware(data):
    data = bytearray(data)
    at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 70
    struct.pack_into("<H", data, at, struct.unpack_from("<H", data, at)[0] & ~0x8000)
    return bytes(data)


def utf16(text):
    return text.encode("utf-16-le")


def value_after(data, key, old, new):
    """The first old after the version-block key, replaced by new."""
    at = data.index(utf16(key))
    at = data.index(utf16(old), at)
    return data[:at] + utf16(new) + data[at + len(utf16(old)):]


# name, patch, the failure line the check must print (regex)
ROWS = [
    ("untouched", lambda d: d, None),
    ("runs as the invoker",
     swap(b'level="requireAdministrator"', b'level="asInvoker"           '),
     r"requestedExecutionLevel \{'level': 'asInvoker'"),
    ("may drive elevated windows",
     swap(b'uiAccess="false"', b'uiAccess="true" '),
     r"requestedExecutionLevel .*'uiAccess': 'true'"),
    ("Windows 10/11 not declared",
     swap(b'<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>',
          b'<!-- Windows 10: {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}-->'),
     r"supportedOS \[[^]]*d0da78}'\] \(and \[\]\), want"),
    ("a mistyped Windows 7 id",
     swap(b"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", b"{35138b9a-5d96-4fbd-8e2d-a2440225f93b}"),
     r"supportedOS .*93b"),
    ("dpiAware in the https namespace, which Windows does not know",
     swap(b"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
          b"https://schemas.microsoft.com/SMI/2005/WindowsSetting"),
     r"windowsSettings .*want only dpiAware true"),
    ("DPI unaware",
     swap(b">true</dpiAware>", b">fals</dpiAware>"),
     r"windowsSettings .*'fals'"),
    ("trustInfo outside the asm.v3 namespace",
     swap(b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">',
          b'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v9">'),
     r"manifest: elements"),
    ("not terminal-server aware", clear_tsaware, r"lacks TERMINAL_SERVER_AWARE"),
    ("a file version that is not the release's",
     lambda d: value_after(d, "FileVersion", "1, 0, 1, 10", "1, 0, 1, 11"),
     r"string FileVersion '1, 0, 1, 11'"),
    ("a distributor value other than the configured one",
     swap(utf16("Chained installation launcher"), utf16("Chained installation launcheR")),
     r"string Comments 'Chained installation launcheR', want 'Chained installation launcher'"),
]


def main(argv):
    exe, cache = argv[1], argv[2]
    if not os.path.isfile(exe):
        print("SKIP: %s not built" % exe)
        return 77
    original = open(exe, "rb").read()
    fails = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, patch, want in ROWS:
            path = os.path.join(tmp, os.path.basename(exe))
            try:
                doctored = patch(original)
            except AssertionError as e:
                print("FAIL: %s: the fault could not be made: %s" % (name, e))
                fails += 1
                continue
            open(path, "wb").write(doctored)
            run = subprocess.run([sys.executable, CHECK, "--cache", cache, path],
                                 capture_output=True, text=True)
            out = run.stdout + run.stderr
            if want is None:
                good = run.returncode == 0
            else:
                good = run.returncode == 1 and re.search(want, out) is not None
            if good:
                print("ok: %s (exit %d)" % (name, run.returncode))
            else:
                print("FAIL: %s: exit %d, want %s /%s/:\n    %s"
                      % (name, run.returncode, 0 if want is None else 1, want, out.strip().replace("\n", "\n    ")))
                fails += 1
    print("%s: resource check faults (%d rows)" % ("PASS" if not fails else "FAIL", len(ROWS)))
    return 1 if fails else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
