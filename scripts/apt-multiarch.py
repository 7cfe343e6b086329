#!/usr/bin/env python3
"""Prints the apt-get install arguments that add i386 packages to this amd64
machine without removing anything.

    scripts/apt-multiarch.py PACKAGE:i386...

A library installed for both architectures must be the same version in both,
and a machine's amd64 libraries may be at versions the i386 index lacks (a
security update built for amd64 only, or an image older than the mirror).
apt then gives up. This asks apt for a plan again and again, each time
naming, for every library it could not match, the newest version both
architectures have, and for every package the plan would remove, the version
that matches what was named; it prints the arguments once a plan installs
everything and removes nothing. Exit status 1 when no such plan is found.
"""
import re
import subprocess
import sys


def versions(package):
    out = subprocess.run(["apt-cache", "madison", package], capture_output=True, text=True).stdout
    return {fields[1].strip() for fields in (line.split("|") for line in out.splitlines()) if len(fields) >= 3}


def newest(candidates):
    best = None
    for v in candidates:
        if best is None or subprocess.run(["dpkg", "--compare-versions", v, "gt", best]).returncode == 0:
            best = v
    return best


def main(wanted):
    pins = {}  # package, with :i386 for the foreign half -> version
    for _ in range(40):
        args = wanted + [f"{p}={v}" for p, v in pins.items()]
        plan = subprocess.run(["apt-get", "install", "-s", "--no-install-recommends"] + args,
                              capture_output=True, text=True)
        out = plan.stdout + plan.stderr
        removed = re.findall(r"^Remv (\S+) ", out, re.M)
        if plan.returncode == 0 and not removed:
            print(" ".join(args))
            return 0
        progress = False
        unmatched = set(re.findall(r"Depends: ([a-z0-9.+-]+):i386", out))
        unmatched |= set(re.findall(r"^ ([a-z0-9.+-]+):i386 :", out, re.M))
        for name in sorted(unmatched):
            if name + ":i386" in pins:
                continue
            version = newest(versions(name) & versions(name + ":i386"))
            if version:
                pins[name] = pins[name + ":i386"] = version
                progress = True
        named = set(pins.values())
        for name in removed:
            if name not in pins:
                version = newest(versions(name) & named)
                if version:
                    pins[name] = version
                    progress = True
        if not progress:
            sys.stderr.write(out[-3000:])
            return 1
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
