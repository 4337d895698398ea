#!/usr/bin/env python3
"""What a registration wrote into a Wine prefix's class registry, as data.

  regdelta.py snapshot PREFIX OUT.json [user]  the machine's (or user's) class keys now
  regdelta.py delta BEFORE AFTER OUT.json   keys and values AFTER added or changed
  regdelta.py wxi DELTA OUT_DIR DLL_PATH    WiX rows writing the same keys
  regdelta.py compare A B [SKIP...]         key-by-key differences; exit 1 if any
                                            (keys under each SKIP not compared)

Only the class registry counts (HKLM\\Software\\Classes and, on a 64-bit
prefix, its 32-bit view). Keys are read from the prefix's system.reg, which
the wineserver writes when it exits.
"""
import json
import re
import sys
from pathlib import Path

CLASSES = "software\\classes\\"
VIEW32 = ("software\\classes\\wow6432node\\", "software\\wow6432node\\classes\\")


def unescape(s):
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", s[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_quoted(line, i):
    """The string starting at line[i] == '"'; returns (text, index after)."""
    j = i + 1
    while line[j] != '"':
        j += 2 if line[j] == "\\" else 1
    return unescape(line[i + 1:j]), j + 1


def parse_value(raw):
    if raw.startswith('"'):
        return ["sz", read_quoted(raw, 0)[0]]
    m = re.match(r"str\((\d+)\):", raw)
    if m:
        kind = {"2": "expand", "7": "multi"}.get(m.group(1), "sz")
        return [kind, read_quoted(raw, m.end())[0]]
    if raw.startswith("dword:"):
        return ["dword", int(raw[6:], 16)]
    return ["raw", raw]


def snapshot(prefix, hive="system.reg"):
    keys, key, pending = {}, None, ""
    for line in Path(prefix, hive).read_text(encoding="utf-8", errors="replace").splitlines():
        if pending:
            line, pending = pending + line.strip(), ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("["):
            name = unescape(line[1:line.rindex("]")])
            key = None
            if name.lower().startswith(CLASSES) or name.lower().startswith(VIEW32[1]):
                key = keys.setdefault(canonical(name), {})
            continue
        if key is None or not line or line.startswith("#"):
            if line.startswith("#link"):
                keys.pop(canonical(name), None)
                key = None
            continue
        if line.startswith("@="):
            key[""] = parse_value(line[2:])
        elif line.startswith('"'):
            vname, end = read_quoted(line, 0)
            key[vname] = parse_value(line[end + 1:])
    return keys


def canonical(name):
    low = name.lower()
    if low.startswith(VIEW32[1]):
        return "Wow6432Node\\" + name[len(VIEW32[1]):]
    return name[len(CLASSES):]


def delta(before, after):
    out = {}
    before_low = {k.lower(): v for k, v in before.items()}
    for k, values in after.items():
        old = before_low.get(k.lower())
        if old is None:
            out[k] = values
            continue
        changed = {n: v for n, v in values.items() if old.get(n) != v}
        if changed:
            out[k] = changed
    return out


def xml_text(s):
    return s.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")


def is_progid(key):
    """A ProgID's key ("Vellix.Office", "Vellix.Office.1\\CLSID"): one
    registry view serves both processors, so both packages write it."""
    top = key.split("\\", 1)[0]
    return "." in top and not top.startswith(".")


def wxi(delta_keys, out_dir, dll_long):
    """Three include files: rows of the package's own registry view, rows of
    the 32-bit view of a 64-bit machine, and the ProgIDs' rows, which the
    x86 and x64 packages share (progid.wxi, their own component). The DLL's paths become formatted
    references: [!VellixDll] is its short path (what the registration
    writes), [#VellixDll] its long one, [INSTALLDIR] its folder."""
    dll_dir = dll_long.rsplit("\\", 1)[0]
    short = None
    for values in delta_keys.values():
        for kind, data in values.values():
            if kind == "sz" and isinstance(data, str) and data.lower().endswith("\\vellix.dll") \
                    and data.lower() != dll_long.lower():
                short = data

    def formatted(s):
        for path, ref in ((dll_long, "[#VellixDll]"), (short, "[!VellixDll]")):
            if path:
                s = re.sub(re.escape(path), lambda _: ref, s, flags=re.I)
        if s.lower() == dll_dir.lower():
            s = "[INSTALLDIR]"
        # A square bracket is formatting in MSI; keep others literal.
        return re.sub(r"\[(?![#!]VellixDll\]|INSTALLDIR\])", lambda _: "[\\[]", s)

    # The class rows' root is the package's: HKCR per machine, the user's
    # Software\Classes per user (Wine's msiexec writes HKCR rows to the
    # machine's classes even in a per-user install).
    root = 'Root="$(var.ClassesRoot)" Key="$(var.ClassesKey)'
    rows = {False: [], True: [], "progid": []}
    for k in sorted(delta_keys, key=str.lower):
        view32 = k.lower().startswith("wow6432node\\")
        key = k[len("Wow6432Node\\"):] if view32 else k
        if not view32 and is_progid(key):
            view32 = "progid"
        values = delta_keys[k]
        if not values:
            rows[view32].append(f'<RegistryValue {root}{xml_text(key)}" Name="*" Type="string"/>')
        for name, (kind, data) in sorted(values.items()):
            attr = f' Name="{xml_text(name)}"' if name else ""
            if kind == "dword":
                rows[view32].append(f'<RegistryValue {root}{xml_text(key)}"{attr} Type="integer" Value="{data}"/>')
            elif kind in ("sz", "expand"):
                t = "expandable" if kind == "expand" else "string"
                rows[view32].append(f'<RegistryValue {root}{xml_text(key)}"{attr} Type="{t}" '
                                    f'Value="{xml_text(formatted(data))}"/>')
            else:
                sys.exit(f"regdelta: no WiX form for {kind} value {name!r} of {k}")
    for view32, name in ((False, "registry.wxi"), (True, "registry32.wxi"), ("progid", "progid.wxi")):
        body = "\n".join("  " + r for r in rows[view32])
        Path(out_dir, name).write_text(f'<?xml version="1.0" encoding="utf-8"?>\n<Include>\n{body}\n</Include>\n',
                                       encoding="utf-8")


def normalised(keys):
    """Keys and values in one spelling: names case-folded, a folder path
    without its trailing backslash (an installer's folder reference ends in
    one, the registration's does not)."""
    out = {}
    for k, values in keys.items():
        norm = {}
        for n, (kind, data) in values.items():
            if isinstance(data, str) and len(data) > 3 and data.endswith("\\"):
                data = data[:-1]
            norm[n.lower()] = [kind, data]
        out[k.lower()] = norm
    return out


def compare(a, b, skip=()):
    skip = tuple(s.lower() for s in skip)
    a = {k: v for k, v in normalised(a).items() if not k.startswith(skip)}
    b = {k: v for k, v in normalised(b).items() if not k.startswith(skip)}
    lines = []
    for k in sorted(set(a) | set(b)):
        if k not in b:
            lines.append(f"- [{k}]")
        elif k not in a:
            lines.append(f"+ [{k}]")
        else:
            for n in sorted(set(a[k]) | set(b[k])):
                if a[k].get(n) != b[k].get(n):
                    lines.append(f"  [{k}] {n or '@'}: {a[k].get(n)} -> {b[k].get(n)}")
    return lines


def main(argv):
    cmd = argv[1] if len(argv) > 1 else ""
    load = lambda p: json.loads(Path(p).read_text(encoding="utf-8"))
    save = lambda p, d: Path(p).write_text(json.dumps(d, indent=1, sort_keys=True), encoding="utf-8")
    if cmd == "snapshot" and len(argv) in (4, 5):
        save(argv[3], snapshot(argv[2], "user.reg" if argv[4:] == ["user"] else "system.reg"))
    elif cmd == "delta" and len(argv) == 5:
        save(argv[4], delta(load(argv[2]), load(argv[3])))
    elif cmd == "wxi" and len(argv) == 5:
        wxi(load(argv[2]), argv[3], argv[4])
    elif cmd == "compare" and len(argv) >= 4:
        diff = compare(load(argv[2]), load(argv[3]), argv[4:])
        print("\n".join(diff))
        return 1 if diff else 0
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
