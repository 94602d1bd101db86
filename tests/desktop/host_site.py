"""This machine's site as its own tools list it, to compare before and after:
the account files byte for byte, Samba's accounts, registry shares and
usershares through Samba's tools, and folder trees with owners and modes (and
what their files hold). Read over the private copy of /etc that
host_machine.enter() runs in.
"""
# uses-programs: pdbedit net testparm

import hashlib
import os
import stat
import subprocess

import host_machine

ACCOUNT_FILES = ("passwd", "shadow", "group", "gshadow", "subuid", "subgid")


def _tool(*argv):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    return (result.returncode, result.stdout, result.stderr.strip())


def _file(path):
    try:
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except FileNotFoundError:
        return None


def tree(top, contents=True):
    """Every entry below top: its path, type, owner, group, mode, and what it
    holds (a file's digest, a link's target) where contents are asked for."""
    found = {}
    for folder, folders, files in os.walk(top):
        folders.sort()
        for name in [""] + sorted(folders + files):
            path = os.path.join(folder, name) if name else folder
            if name == "" and folder != top:
                continue
            st = os.lstat(path)
            held = (None if not contents else os.readlink(path) if stat.S_ISLNK(st.st_mode)
                    else _file(path) if stat.S_ISREG(st.st_mode) else None)
            found[os.path.relpath(path, top)] = (stat.S_IFMT(st.st_mode), st.st_uid, st.st_gid,
                                                 oct(st.st_mode & 0o7777), held)
    return found


class Site:
    """What the site holds now; compare two with difference()."""

    def __init__(self, folders):
        self.parts = {f"/etc/{name}": _file(f"/etc/{name}") for name in ACCOUNT_FILES}
        # What else a rehearsal might leave: a file in /etc, the login records.
        self.parts["/etc names"] = sorted(os.listdir("/etc"))
        for log in ("/var/log/lastlog", "/var/log/faillog"):
            self.parts[log] = _file(log)
        if host_machine.samba_installed():
            self.parts["pdbedit -L -w"] = _tool("pdbedit", "-L", "-w")
            self.parts["net conf list"] = _tool("net", "conf", "list")
            self.parts["net usershare info"] = _tool("net", "usershare", "info")
            # Samba's own files change as its tools open them: which there
            # are, not what they hold.
            state = _tool("testparm", "-s", "--parameter-name=state directory")[1].strip()
            self.parts[f"{state} (names)"] = tree(state, contents=False)
        if os.path.isdir("/var/mail"):
            self.parts["/var/mail"] = tree("/var/mail")
        for folder in folders:
            self.parts[folder] = tree(folder)

    def difference(self, other):
        """The parts that differ, by name; empty when the two are the same."""
        return [name for name in self.parts if self.parts[name] != other.parts.get(name)]

    def holds(self, part, text):
        return text in self.parts[part][1]


def change(before, after):
    """What changed in a part, said briefly: a tree's entries, or both values."""
    if not isinstance(before, dict) or not isinstance(after, dict):
        return f"{before!r} -> {after!r}"
    said = [f"{path} gone" for path in sorted(before.keys() - after.keys())]
    said += [f"{path} new {after[path]}" for path in sorted(after.keys() - before.keys())]
    said += [f"{path} {before[path]} -> {after[path]}"
             for path in sorted(before.keys() & after.keys()) if before[path] != after[path]]
    return "; ".join(said)
