#!/usr/bin/env python3
"""Compares two registry exports (the .reg text that "reg export" writes).

  reg_diff.py BEFORE.reg AFTER.reg show     prints the keys and values that
                                            AFTER adds or changes
  reg_diff.py BEFORE.reg AFTER.reg undo     prints "reg" arguments, one
                                            command a line, that delete
                                            what AFTER adds
"""
import sys


def read_export(path):
    """The export as {key: {value name: data text}}, keys in file order."""
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") \
        else raw.decode("utf-8", "replace")
    keys = {}
    key = None
    pending = ""
    for line in text.splitlines():
        line = pending + line.strip()
        pending = ""
        if line.endswith("\\") and key is not None:
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            keys.setdefault(key, {})
        elif key is not None and "=" in line:
            name, _, data = line.partition("=")
            keys[key][name] = data
    return keys


def main():
    before, after, mode = read_export(sys.argv[1]), read_export(sys.argv[2]), \
        sys.argv[3]
    added_keys = [k for k in after if k not in before]
    if mode == "show":
        for key, values in after.items():
            old = before.get(key)
            changed = {n: d for n, d in values.items()
                       if old is None or old.get(n) != d}
            if old is None or changed:
                print(("+ " if old is None else "~ ") + key)
                for name, data in changed.items():
                    print("      %s = %s" % (name, data[:100]))
        return
    # Undo: whole added keys (the shallowest of them), then added values.
    roots = [k for k in added_keys
             if not any(k.startswith(o + "\\") for o in added_keys)]
    for key in roots:
        print("delete\t%s\t/f" % key)
    for key, values in after.items():
        if key in before:
            for name in values:
                if name not in before[key]:
                    value = name.strip('"') if name != "@" else ""
                    print("delete\t%s\t/v\t%s\t/f" % (key, value) if value
                          else "delete\t%s\t/ve\t/f" % key)


if __name__ == "__main__":
    main()
