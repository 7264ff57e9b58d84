#!/usr/bin/env python3
"""Reads the resource section of a built launcher executable and checks every
resource byte for byte against the set it must carry.

    check_resources.py [--cache CMakeCache.txt] [--comments TEXT]
                       [--company-name TEXT] [--legal-copyright TEXT]
                       [--product-name TEXT] zarnowel.exe [zarnowel64.exe ...]
    check_resources.py --probe-table

--probe-table prints the expectations that the Wine probe of the resources
(tests/wine/progs/resprobe.c) reports as the system interprets them, in its
form, for the case "resources"; the bytes are this check's alone.

The version block's four distributor values are the configured ones: given
as options, else read from --cache, else from the CMakeCache.txt in the
executable's own folder (its build folder). Prints one line per failed check
and exits 1 when any failed, 0 when all passed, 2 when a file can't be read
as a PE image or the distributor values are not known. Text in the templates is
compared as decoded UTF-16, so a wrongly converted Korean caption shows up
here rather than as mojibake on screen.
"""

import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_BITMAP, RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 2, 3, 4, 5, 6
RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 9, 14, 16, 24
ENGLISH_US, KOREAN = 0x0409, 0x0412

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_SYSMENU, WS_GROUP = 0x00C00000, 0x00080000, 0x00020000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
SS_LEFT, SS_BITMAP, SS_NOPREFIX = 0x0, 0xE, 0x80
WS_EX_TRANSPARENT = 0x20
STATIC_ATOM = 0x0082
DIALOG_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT

# (type, number) -> language; nothing else may be present.
EXPECTED_SET = {
    (RT_DIALOG, 103): ENGLISH_US,
    (RT_DIALOG, 132): KOREAN,
    (RT_BITMAP, 171): KOREAN,
    (RT_MENU, 109): KOREAN,
    (RT_ACCELERATOR, 109): KOREAN,
    (RT_STRING, 103 // 16 + 1): KOREAN,
    (RT_GROUP_ICON, 162): KOREAN,
    (RT_ICON, 1): KOREAN,
    (RT_VERSION, 1): KOREAN,
    (RT_MANIFEST, 1): KOREAN,
}

BITMAP = ("ordinal", 171)

# Dialog header: (x, y, cx, cy, caption, point size, typeface); extended
# templates also carry weight, italic and character set.
DIALOGS = {
    103: {
        "extended": True,
        "frame": (22, 17, 168, 42),
        "caption": "Installation",
        "font": (8, 0, 0, 1, "System"),
        "controls": [
            (BITMAP, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, (14, 9, 16, 16)),
            ("Installing, now...", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, (44, 8, 108, 8)),
            ("Please wait a moment.", WS_CHILD | WS_VISIBLE | SS_LEFT, WS_EX_TRANSPARENT, (44, 18, 117, 11)),
        ],
    },
    132: {
        "extended": False,
        "frame": (0, 0, 169, 42),
        "caption": "\uc124\uce58\uc911",  # 설치중
        "font": (10, None, None, None, "System"),
        "controls": [
            # 설치 중입니다.
            ("\uc124\uce58 \uc911\uc785\ub2c8\ub2e4.",
             WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, (39, 9, 105, 8)),
            # 잠시만 기다려 주십시오.
            ("\uc7a0\uc2dc\ub9cc \uae30\ub2e4\ub824 \uc8fc\uc2ed\uc2dc\uc624.",
             WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, (39, 21, 103, 8)),
            (BITMAP, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, (14, 9, 16, 16)),
        ],
    },
}

MF_POPUP, MF_END = 0x10, 0x80
MENU = [(MF_POPUP, None, "&File"), (MF_END, 105, "E&xit"),
        (MF_POPUP | MF_END, None, "&Help"), (MF_END, 104, "&About ...")]

FALT, ACCEL_LAST = 0x10, 0x80
ACCELERATORS = [(FALT, ord("?"), 104), (FALT | ACCEL_LAST, ord("/"), 104)]

STRINGS = {103: "zarnowel2", 109: "ZARNOWEL2"}

# The fixed strings; the distributor's four come from the build's configuration.
VERSION_STRINGS = {
    "FileDescription": "zarnowel",
    "FileVersion": "1, 0, 1, 10",
    "InternalName": "zarnowel",
    "LegalTrademarks": "",
    "OriginalFilename": "zarnowel.exe",
    "PrivateBuild": "",
    "ProductVersion": "1, 0, 1, 10",
    "SpecialBuild": "",
}

# version-block key -> (cache variable, option)
DISTRIBUTOR_KEYS = {
    "Comments": ("ZARNOWEL_COMMENTS", "comments"),
    "CompanyName": ("ZARNOWEL_COMPANY_NAME", "company_name"),
    "LegalCopyright": ("ZARNOWEL_LEGAL_COPYRIGHT", "legal_copyright"),
    "ProductName": ("ZARNOWEL_PRODUCT_NAME", "product_name"),
}

ASM = "{urn:schemas-microsoft-com:asm.v1}"
ASM3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SMI2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
XML_DECLARATION = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'

# The operating systems the launcher declares it was made for: without them
# Windows 7 and later run it with the behaviour of Windows Vista.
SUPPORTED_OS = [
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Windows Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
]
# No <dependency>: Windows resolves an assembly dependency before any code of
# the launcher runs, and looks for it in <exe>.local beside it first.
MANIFEST_ELEMENTS = [ASM + "assemblyIdentity", ASM + "description",
                     ASM3 + "trustInfo", COMPAT + "compatibility", ASM3 + "application"]

IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE = 0x8000


class Reader:
    """Bounded little-endian reads; running off the end raises ValueError."""

    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise ValueError("template ends early at %d" % self.pos)
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += size
        return values if len(values) > 1 else values[0]

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def wstr(self):
        chars = []
        while True:
            c = self.take("H")
            if c == 0:
                return "".join(chars).encode("utf-16-le", "surrogatepass").decode("utf-16-le")
            chars.append(chr(c))

    def sz_or_ord(self):
        first = self.take("H")
        if first == 0xFFFF:
            return ("ordinal", self.take("H"))
        if first == 0:
            return ""
        self.pos -= 2
        return self.wstr()


def pe_dll_characteristics(image):
    """DllCharacteristics of the optional header (the same offset in PE32 and PE32+)."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    return struct.unpack_from("<H", image, pe + 24 + 70)[0]


def pe_machine(image):
    """The COFF machine field: 0x14c for x86, 0x8664 for x64."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    return struct.unpack_from("<H", image, pe + 4)[0]


def read_resources(image):
    """{(type, name, lang): bytes} for a PE image; names as ints or strings."""
    if image[:2] != b"MZ":
        raise ValueError("not an MZ image")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, opt_size = struct.unpack_from("<H12xH", image, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", image, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", image, dirs + 2 * 8)
    table = opt + opt_size
    spans = []
    for i in range(sections):
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((va, max(vsize, raw_size), raw_ptr))

    def offset(rva):
        for va, size, raw in spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA 0x%x outside every section" % rva)

    if rsrc_rva == 0 or rsrc_size == 0:
        return {}
    base = offset(rsrc_rva)

    def name_of(field):
        if field & 0x80000000:
            p = base + (field & 0x7FFFFFFF)
            n = struct.unpack_from("<H", image, p)[0]
            return image[p + 2:p + 2 + 2 * n].decode("utf-16-le")
        return field

    def entries(dir_off):
        named, ids = struct.unpack_from("<12xHH", image, base + dir_off)
        for i in range(named + ids):
            yield struct.unpack_from("<II", image, base + dir_off + 16 + 8 * i)

    found = {}
    for t_name, t_off in entries(0):
        for n_name, n_off in entries(t_off & 0x7FFFFFFF):
            for l_name, l_off in entries(n_off & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, base + l_off)
                start = offset(rva)
                found[(name_of(t_name), name_of(n_name), l_name)] = image[start:start + size]
    return found


def check_set(res, fail):
    present = {}
    for (t, n, lang) in res:
        present.setdefault((t, n), []).append(lang)
    for key, lang in EXPECTED_SET.items():
        if present.get(key) != [lang]:
            fail("resource %r: languages %s, want [0x%04x]" % (key, [hex(x) for x in present.get(key, [])], lang))
    for key in present:
        if key not in EXPECTED_SET:
            fail("unexpected resource type %r number %r" % key)


def check_dialog(number, data, fail):
    want = DIALOGS[number]
    r = Reader(data)
    if want["extended"]:
        ver, sig, _help, exstyle, style = r.take("HHIII")
        if (ver, sig) != (1, 0xFFFF):
            fail("dialog %d: not an extended template" % number)
    else:
        style, exstyle = r.take("II")
        if (style & 0xFFFF0000) == 0xFFFF0000:
            fail("dialog %d: extended template, want plain" % number)
    count, x, y, cx, cy = r.take("Hhhhh")
    menu, cls, caption = r.sz_or_ord(), r.sz_or_ord(), r.wstr()
    if style != DIALOG_STYLE or exstyle != 0:
        fail("dialog %d: style 0x%08x ex 0x%x, want 0x%08x ex 0" % (number, style, exstyle, DIALOG_STYLE))
    if (x, y, cx, cy) != want["frame"]:
        fail("dialog %d: frame %r, want %r" % (number, (x, y, cx, cy), want["frame"]))
    if menu != "" or cls != "":
        fail("dialog %d: menu %r class %r, want none" % (number, menu, cls))
    if caption != want["caption"]:
        fail("dialog %d: caption %r, want %r" % (number, caption, want["caption"]))
    if want["extended"]:
        font = r.take("HHBB") + (r.wstr(),)
    else:
        font = (r.take("H"), None, None, None, r.wstr())
    if font != want["font"]:
        fail("dialog %d: font %r, want %r" % (number, font, want["font"]))
    if count != len(want["controls"]):
        fail("dialog %d: %d controls, want %d" % (number, count, len(want["controls"])))
        return
    for i, (text, cstyle, cex, frame) in enumerate(want["controls"]):
        r.align(4)
        if want["extended"]:
            _help, ex, st, x, y, cx, cy, cid = r.take("IIIhhhhi")
        else:
            st, ex, x, y, cx, cy, cid = r.take("IIhhhhH")
            cid = cid - 0x10000 if cid >= 0x8000 else cid
        ccls, ctext = r.sz_or_ord(), r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        got = (ccls, ctext, st, ex, (x, y, cx, cy), cid)
        exp = (("ordinal", STATIC_ATOM), text, cstyle, cex, frame, -1)
        if got != exp:
            fail("dialog %d control %d: %r, want %r" % (number, i + 1, got, exp))


BITMAP_BYTES = 2088
ICON_IMAGE_BYTES = 3240
# The version block's fixed part (VS_FIXEDFILEINFO, 13 DWORDs), its one string
# table and its translation.
VERSION_FIXED = (0xFEEF04BD, 0x00010000, 0x00010000, 0x0001000A, 0x00010000, 0x0001000A,
                 0x3F, 0, 0x00040004, 1, 0, 0, 0)
VERSION_TABLE = "041204b0"
VERSION_TRANSLATION = (0x0412, 1200)


def check_bitmap(data, fail):
    if len(data) != BITMAP_BYTES:
        fail("bitmap 171: %d bytes, want %d" % (len(data), BITMAP_BYTES))
        return
    size, w, h, planes, bpp, comp, _img, _xr, _yr, used = struct.unpack_from("<IiiHHIIiiI", data)
    if (size, w, h, planes, bpp, comp) != (40, 32, 32, 1, 8, 0) or used not in (0, 256):
        fail("bitmap 171: header %r" % ((size, w, h, planes, bpp, comp, used),))
    corner = data[40 + 1024]
    b, g, r = data[40 + 4 * corner:40 + 4 * corner + 3]
    if (r, g, b) != (236, 233, 216):
        fail("bitmap 171: background %r, want (236, 233, 216)" % ((r, g, b),))


def check_menu(data, fail):
    r = Reader(data)
    if r.take("HH") != (0, 0):
        fail("menu 109: not a plain menu template")
        return
    got = []
    while r.pos < len(data):
        flags = r.take("H")
        cmd = None if flags & MF_POPUP else r.take("H")
        got.append((flags, cmd, r.wstr()))
    if got != MENU:
        fail("menu 109: %r, want %r" % (got, MENU))


def check_accelerators(data, fail):
    got = [struct.unpack_from("<HHH", data, i)[:3] for i in range(0, len(data) - 7, 8)]
    if len(data) % 8 or got != ACCELERATORS:
        fail("accelerators 109: %r, want %r" % (got, ACCELERATORS))


def check_strings(block, data, fail):
    r = Reader(data)
    for i in range(16):
        n = r.take("H")
        text = "".join(chr(r.take("H")) for _ in range(n))
        number = (block - 1) * 16 + i
        if text != STRINGS.get(number, ""):
            fail("string %d: %r, want %r" % (number, text, STRINGS.get(number, "")))


def check_icon(group, image, fail):
    if len(group) != 6 + 14:
        fail("icon group 162: %d bytes, want one entry" % len(group))
        return
    header = struct.unpack_from("<HHH", group)
    entry = struct.unpack_from("<BBBBHHIH", group, 6)
    if header != (0, 1, 1) or entry != (32, 32, 0, 0, 1, 24, ICON_IMAGE_BYTES, 1):
        fail("icon group 162: %r %r" % (header, entry))
    if image is None or len(image) != ICON_IMAGE_BYTES:
        fail("icon image 1: %s bytes, want %d" % (None if image is None else len(image), ICON_IMAGE_BYTES))
        return
    hdr = struct.unpack_from("<IiiHHI", image)
    if hdr != (40, 32, 64, 1, 24, 0):
        fail("icon image 1: header %r" % (hdr,))


def version_node(data, pos):
    """(key, value bytes, children, end) of one VS_VERSIONINFO-style node."""
    length, vlen, vtype = struct.unpack_from("<HHH", data, pos)
    r = Reader(data[:pos + length], pos + 6)
    key = r.wstr()
    r.align(4)
    vbytes = vlen * 2 if vtype == 1 else vlen
    value = data[r.pos:r.pos + vbytes]
    r.pos += vbytes
    children = []
    r.align(4)
    while r.pos < pos + length:
        child = version_node(data, r.pos)
        children.append(child)
        r.pos = child[3]
        r.align(4)
    return key, value, children, pos + length


def read_cache(path):
    """{name: value} of a CMakeCache.txt ("NAME:TYPE=value", value to the line end)."""
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(("#", "//")) or "=" not in line:
                continue
            name_type, value = line.split("=", 1)
            values[name_type.split(":", 1)[0]] = value
    return values


def distributor_strings(exe, args):
    """The four distributor values the build of exe was configured with."""
    given = {key: getattr(args, opt) for key, (_var, opt) in DISTRIBUTOR_KEYS.items()}
    if all(v is not None for v in given.values()):
        return given
    cache = args.cache or os.path.join(os.path.dirname(os.path.abspath(exe)), "CMakeCache.txt")
    try:
        values = read_cache(cache)
    except OSError as e:
        raise ValueError("distributor values: no option and no cache (%s)" % e)
    for key, (var, _opt) in DISTRIBUTOR_KEYS.items():
        if given[key] is None:
            if var not in values:
                raise ValueError("distributor values: %s is not in %s" % (var, cache))
            given[key] = values[var]
    return given


def check_version(distributor, data, fail):
    key, fixed, children, _ = version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        fail("version: root %r with %d-byte fixed part" % (key, len(fixed)))
        return
    f = struct.unpack("<13I", fixed)
    if f != VERSION_FIXED:
        fail("version: fixed part %s, want %s" % ([hex(x) for x in f], [hex(x) for x in VERSION_FIXED]))
    by_key = {c[0]: c for c in children}
    sfi, vfi = by_key.get("StringFileInfo"), by_key.get("VarFileInfo")
    if sfi is None or len(sfi[2]) != 1 or sfi[2][0][0] != VERSION_TABLE:
        fail("version: string tables %r, want one %r" % ([c[0] for c in sfi[2]] if sfi else None, VERSION_TABLE))
    else:
        strings = {}
        for k, v, _c, _e in sfi[2][0][2]:
            strings[k] = v.decode("utf-16-le").split("\0")[0]
        want = dict(VERSION_STRINGS, **distributor)
        for k in sorted(k for k in distributor if not strings.get(k)):
            fail("version: string %s is empty: the distributor's values name the product" % k)
        for k in sorted(set(strings) | set(want)):
            if strings.get(k) != want.get(k):
                fail("version: string %s %r, want %r" % (k, strings.get(k), want.get(k)))
    trans = vfi[2][0] if vfi and len(vfi[2]) == 1 else None
    if trans is None or trans[0] != "Translation" or trans[1] != struct.pack("<HH", *VERSION_TRANSLATION):
        fail("version: translation %r, want 0x%04x, %d" % ((trans[:2] if trans else None,) + VERSION_TRANSLATION))


def path_of(elem, *tags):
    """The one element at the end of tags below elem, or None when any step
    is missing or holds more than one child of that name."""
    for tag in tags:
        found = elem.findall(tag)
        if len(found) != 1:
            return None
        elem = found[0]
    return elem


def check_manifest(arch, data, fail):
    text = data.decode("utf-8")
    if not text.startswith(XML_DECLARATION):
        fail("manifest: declaration %r" % text[:60])
    root = ET.fromstring(data)
    if root.tag != ASM + "assembly" or root.attrib != {"manifestVersion": "1.0"}:
        fail("manifest: root %r %r" % (root.tag, root.attrib))
    kids = list(root)
    if [k.tag for k in kids] != MANIFEST_ELEMENTS:
        fail("manifest: elements %r, want %r" % ([k.tag for k in kids], MANIFEST_ELEMENTS))
        return
    x86 = arch == "x86"
    own = {"processorArchitecture": arch, "version": "5.1.0.0", "type": "win32",
           "name": "Zarnowel.Launcher" if x86 else "Zarnowel.Launcher64"}
    if kids[0].attrib != own:
        fail("manifest: own identity %r" % kids[0].attrib)
    description = "Zarnowel installation launcher" if x86 else "Zarnowel installation launcher (64-bit)"
    if (kids[1].text or "") != description:
        fail("manifest: description %r" % kids[1].text)

    # Every start asks for administrator rights: drivers, the Windows
    # directory and the restart need them, and a prompt up front beats an
    # installer failing halfway.
    level = path_of(kids[2], ASM3 + "security", ASM3 + "requestedPrivileges", ASM3 + "requestedExecutionLevel")
    want = {"level": "requireAdministrator", "uiAccess": "false"}
    if level is None or level.attrib != want:
        fail("manifest: requestedExecutionLevel %r, want %r" % (None if level is None else level.attrib, want))

    app = path_of(kids[3], COMPAT + "application")
    ids = [] if app is None else [e.get("Id") for e in app if e.tag == COMPAT + "supportedOS"]
    others = [] if app is None else [e.tag for e in app if e.tag != COMPAT + "supportedOS"]
    if ids != SUPPORTED_OS or others:
        fail("manifest: supportedOS %r (and %r), want %r" % (ids, others, SUPPORTED_OS))

    # System DPI aware: "true" in the 2005 namespace. A dpiAwareness element
    # would override it from Windows 10 1607 on, so there must be none.
    settings = path_of(kids[4], ASM3 + "windowsSettings")
    got = [] if settings is None else [(e.tag, (e.text or "").strip()) for e in settings]
    if got != [(SMI2005 + "dpiAware", "true")]:
        fail("manifest: windowsSettings %r, want only dpiAware true" % got)


def check_image(path, distributor):
    failures = []

    def fail(msg):
        failures.append("%s: %s" % (path, msg))

    with open(path, "rb") as f:
        image = f.read()
    res = read_resources(image)
    # A 64-bit process can't load the x86 common controls, so the x64 build
    # names its own architecture where the x86 build names x86.
    arch = {0x14C: "x86", 0x8664: "amd64"}.get(pe_machine(image))
    if arch is None:
        fail("machine 0x%x is neither x86 nor x64" % pe_machine(image))
        arch = "x86"
    # Terminal-server aware: Windows then loads no compatibility shims for it
    # on a Remote Desktop session host.
    if not pe_dll_characteristics(image) & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE:
        fail("PE header: DllCharacteristics 0x%04x lacks TERMINAL_SERVER_AWARE" % pe_dll_characteristics(image))
    check_set(res, fail)
    by_key = {(t, n): d for (t, n, _l), d in res.items()}

    def run(key, check, *args):
        if key in by_key:
            try:
                check(*args, by_key[key], fail)
            except (ValueError, struct.error, UnicodeDecodeError, ET.ParseError) as e:
                fail("%r: unreadable: %s" % (key, e))

    run((RT_DIALOG, 103), check_dialog, 103)
    run((RT_DIALOG, 132), check_dialog, 132)
    run((RT_BITMAP, 171), check_bitmap)
    run((RT_MENU, 109), check_menu)
    run((RT_ACCELERATOR, 109), check_accelerators)
    run((RT_STRING, 7), check_strings, 7)
    run((RT_VERSION, 1), check_version, distributor)
    run((RT_MANIFEST, 1), check_manifest, arch)
    if (RT_GROUP_ICON, 162) in by_key:
        check_icon(by_key[(RT_GROUP_ICON, 162)], by_key.get((RT_ICON, 1)), fail)
    return failures


def probe_table():
    """The same expectations as resprobe (tests/wine/progs) reports them inside
    Wine, "KEY=VALUE" a line: the one home of these values for both checks."""
    out = ["resource=%d/%d/%04x" % (t, n, lang) for (t, n), lang in EXPECTED_SET.items()]
    out += ["string.%d=%s" % kv for kv in STRINGS.items()]
    popups = []
    for flags, cmd, text in MENU:
        if flags & MF_POPUP:
            popups.append(("popup " + text, []))
        else:
            popups[-1][1].append("%d %s" % (cmd, text))
    out.append("menu.count=%d" % len(popups))
    for i, (popup, items) in enumerate(popups, 1):
        out += ["menu.%d=%s" % (i, popup), "menu.%d.count=%d" % (i, len(items))]
        out += ["menu.%d.%d=%s" % (i, j, item) for j, item in enumerate(items, 1)]
    out.append("accel.count=%d" % len(ACCELERATORS))
    out += ["accel.%d=flags 0x%x key %d cmd %d" % (i, flags & ~ACCEL_LAST, key, cmd)
            for i, (flags, key, cmd) in enumerate(ACCELERATORS, 1)]
    for n, dialog in DIALOGS.items():  # the texts as the dialog, once created, shows them
        out.append("window.%d.caption=%s" % (n, dialog["caption"]))
        out += ["window.%d.child.%d.text=%s" % (n, i, c[0])
                for i, c in enumerate(dialog["controls"], 1) if isinstance(c[0], str)]
    out.append("manifest.supportedos.count=%d" % len(SUPPORTED_OS))
    out += ["manifest.supportedos.%d=%s type 1" % (i, g) for i, g in enumerate(SUPPORTED_OS, 1)]
    return out


def main(argv):
    if argv[1:] == ["--probe-table"]:
        print("\n".join(probe_table()))
        return 0
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--cache", help="CMakeCache.txt holding the ZARNOWEL_* distributor values")
    for _key, (_var, opt) in DISTRIBUTOR_KEYS.items():
        parser.add_argument("--" + opt.replace("_", "-"), dest=opt)
    parser.add_argument("exe", nargs="+")
    args = parser.parse_args(argv[1:])
    failures = []
    for path in args.exe:
        try:
            failures += check_image(path, distributor_strings(path, args))
        except (OSError, ValueError, struct.error) as e:
            print("%s: %s" % (path, e), file=sys.stderr)
            return 2
    for line in failures:
        print(line)
    if not failures:
        print("resources ok: %s" % " ".join(args.exe))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
