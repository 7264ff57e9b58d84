#!/usr/bin/env python3
"""The cases name no host: vocabulary.py [CASE...] fails when a case uses a
word that only Wine gives (wine, wineserver, a WINE* variable, a host_
function that another host file does not define, a rig function that calls
Wine), except on a line marked `wine_only`, whose check another host skips.
It first proves that it fails on a case that calls `wine` directly."""
import re
import sys
from pathlib import Path

E2E = Path(__file__).resolve().parent
WINE = Path(E2E.parent)
BASE = {"wine", "wine64", "wineserver", "wineboot", "winecfg", "WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES",
        "WINEARCH", "ZW_WINE_CACHE"}
FUNCTION = re.compile(r"^([A-Za-z_][A-Za-z0-9_]*)\(\)\s*\{(.*)$")
WORD = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


def functions(path):
    """name -> body text of the shell functions a file defines."""
    found, name, body, depth = {}, None, [], 0
    for line in path.read_text().splitlines():
        m = FUNCTION.match(line)
        if name is None and m:
            name, body, depth = m.group(1), [m.group(2)], 1 + m.group(2).count("{") - m.group(2).count("}")
            if depth <= 0:
                found[name], name = " ".join(body), None
            continue
        if name is not None:
            body.append(line)
            depth += line.count("{") - line.count("}")
            if depth <= 0 or line.startswith("}"):
                found[name], name = " ".join(body), None
    return found


def wine_words():
    """BASE, the rig's functions that reach Wine, and the host file's own words."""
    rig = {}
    for f in (E2E / "host-wine.sh", WINE / "msi" / "msi.sh"):
        rig.update(functions(f))
    words = set(BASE)
    grown = True
    while grown:  # a function that calls one that reaches Wine reaches it too
        grown = False
        for name, body in rig.items():
            if name not in words and words & set(WORD.findall(body)):
                words.add(name)
                grown = True
    wine_host = functions(E2E / "host-wine.sh")
    other_hosts = [functions(p) for p in E2E.glob("host-*.sh") if p.name != "host-wine.sh"]
    for name in wine_host:
        if any(name not in other for other in other_hosts):
            words.add(name)
    # The driver's verbs and the host files are the vocabulary, whatever they call.
    for name in list(functions(E2E / "run.sh")) + [n for n in wine_host if all(n in o for o in other_hosts)]:
        words.discard(name)
    return words


def offences(text, words):
    """(line number, word) for every Wine word outside comments, heredoc bodies and wine_only lines."""
    found, heredoc = [], None
    for n, line in enumerate(text.splitlines(), 1):
        if heredoc is not None:
            if line.strip() == heredoc:
                heredoc = None
            continue
        m = re.search(r"<<-?\s*'?([A-Za-z_]+)'?", line)
        if m:
            heredoc = m.group(1)
        code = re.sub(r"(^|\s)#.*$", "", line)
        # wine_only exempts what follows it on its line; a path's folder is no word.
        code = code.split("wine_only ", 1)[0]
        found += [(n, m.group()) for m in WORD.finditer(code)
                  if m.group() in words and "/" not in code[max(m.start() - 1, 0):m.start()] + code[m.end():m.end() + 1]]
    return found


def main(cases):
    words = wine_words()
    if not offences('helper app/a.exe 500\nwine "$APP/a.exe"\n', words):
        print("FAIL: a case that calls wine directly was not caught")
        return 1
    bad = 0
    for case in cases:
        for n, word in offences(Path(case).read_text(), words):
            print(f"FAIL: {case}:{n}: '{word}' is Wine's own word: use a verb of run.sh or mark the line wine_only")
            bad += 1
    if bad == 0:
        print(f"PASS: {len(cases)} cases use the driver's and the host files' words only")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or sorted(str(p) for p in (E2E / "cases").glob("*.case"))))
