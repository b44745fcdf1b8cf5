#!/usr/bin/env python3
# Lists the windows in sway's tree (swaymsg -t get_tree on standard input), one a line:
#   visible|hidden  x,y,w,h  app_id-or-class  title
# Windows in the scratchpad count as hidden.
import json
import sys


def walk(node, out, in_scratch=False):
    scratch = in_scratch or node.get("name") == "__i3_scratch"
    if node.get("type") in ("con", "floating_con") and node.get("pid"):
        r = node.get("rect", {})
        ident = node.get("app_id") or (node.get("window_properties") or {}).get("class") or "?"
        vis = "visible" if node.get("visible") and not scratch else "hidden"
        out.append("%s %d,%d,%d,%d %s %s" % (vis, r.get("x", 0), r.get("y", 0), r.get("width", 0),
                                             r.get("height", 0), ident, node.get("name") or ""))
    for key in ("nodes", "floating_nodes"):
        for child in node.get(key, []):
            walk(child, out, scratch)


def main():
    out = []
    walk(json.load(sys.stdin), out)
    print("\n".join(out))


if __name__ == "__main__":
    main()
