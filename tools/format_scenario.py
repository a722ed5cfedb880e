#!/usr/bin/env python3
"""Rewrites scenario files in the house layout: one key a line, settings and
each expected event on a line of its own. Usage: format_scenario.py FILE..."""
import json
import sys


def dumps(value):
    return json.dumps(value, ensure_ascii=False)


def layout(data):
    out = ["{"]
    keys = list(data)
    for i, key in enumerate(keys):
        comma = "," if i < len(keys) - 1 else ""
        value = data[key]
        if key == "expect" and isinstance(value, dict):
            out.append('  "expect": {')
            ekeys = list(value)
            for j, ekey in enumerate(ekeys):
                ecomma = "," if j < len(ekeys) - 1 else ""
                items = value[ekey]
                if ekey == "events" and isinstance(items, list) and items:
                    out.append('    "events": [')
                    out += ["      %s%s" % (dumps(e), "," if k < len(items) - 1 else "")
                            for k, e in enumerate(items)]
                    out.append("    ]" + ecomma)
                elif ekey == "tree" and isinstance(items, dict) and items:
                    out.append('    "tree": {')
                    tkeys = list(items)
                    out += ["      %s: %s%s" % (dumps(t), dumps(items[t]),
                                                 "," if k < len(tkeys) - 1 else "")
                            for k, t in enumerate(tkeys)]
                    out.append("    }" + ecomma)
                else:
                    out.append("    %s: %s%s" % (dumps(ekey), dumps(items), ecomma))
            out.append("  }" + comma)
        elif key in ("settings", "files") and isinstance(value, (list, dict)) and len(value) > 3:
            if isinstance(value, list):
                out.append("  %s: [" % dumps(key))
                out += ["    %s%s" % (dumps(v), "," if k < len(value) - 1 else "")
                        for k, v in enumerate(value)]
                out.append("  ]" + comma)
            else:
                out.append("  %s: {" % dumps(key))
                fkeys = list(value)
                out += ["    %s: %s%s" % (dumps(f), dumps(value[f]),
                                            "," if k < len(fkeys) - 1 else "")
                        for k, f in enumerate(fkeys)]
                out.append("  }" + comma)
        else:
            out.append("  %s: %s%s" % (dumps(key), dumps(value), comma))
    out.append("}")
    return "\n".join(out) + "\n"


for path in sys.argv[1:]:
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    text = layout(data)
    assert json.loads(text) == data, path
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
