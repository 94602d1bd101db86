"""A rehearsal seen from outside: orvane-rehearse started as the desktop
tier starts the program, its window found below it, and what the copy is
made of (its namespaces, the mounts it made), to find what is left of it.
"""

import os

import desktop
import host_machine
from host_machine import HostApp


def rehearse_program(orvane):
    """orvane-rehearse, which runs the orvane beside it."""
    return os.path.join(os.path.dirname(orvane), "orvane-rehearse")


class RehearsalApp(HostApp):
    """orvane-rehearse on the site of the case's program (its machine folder);
    the window is a process of the rehearsal's own PID namespace."""

    window_below = True

    def __init__(self, app, name, attach=True, env=None):
        super().__init__(app.session, rehearse_program(app.process.args[0]), name,
                         dict(env or {}, ORVANE_MACHINE=os.path.join(app.folder, "machine")),
                         attach)

    def window_pid(self):
        return self.app.get_process_id()


def namespace(pid, kind):
    return os.readlink(f"/proc/{pid}/ns/{kind}")


def _processes():
    return [int(entry) for entry in os.listdir("/proc") if entry.isdigit()]


def processes_in(kind, ns):
    """"pid name" of each process in the namespace."""
    found = []
    for pid in _processes():
        try:
            if namespace(pid, kind) == ns:
                found.append(f"{pid} {host_machine.command_name(pid)}")
        except OSError:
            pass
    return found


CAP_AUDIT_WRITE = 29


def bounding_set(pid):
    """The capabilities a process and what it starts can ever have."""
    with open(f"/proc/{pid}/status") as f:
        return int(next(line.split()[1] for line in f if line.startswith("CapBnd:")), 16)


def mounts(pid):
    """(device, mount point, type) of each mount pid sees."""
    found = set()
    try:
        with open(f"/proc/{pid}/mountinfo") as f:
            for line in f:
                fields = line.split()
                found.add((fields[2], fields[4], fields[fields.index("-") + 1]))
    except OSError:
        pass
    return found


class Copy:
    """The rehearsal's namespaces and the mounts it made, read while it runs.

    The kernel numbers namespaces and anonymous devices afresh from the
    lowest free number, so once the copy is gone another program's new ones
    may carry its numbers: its PID namespace is held open here, which keeps
    its number its own (and holds no process or mount), and its mounts are
    looked for in the mount namespaces that were there beside it."""

    def __init__(self, rehearsal):
        window = rehearsal.window_pid()
        self._held = os.open(f"/proc/{window}/ns/pid", os.O_RDONLY | os.O_CLOEXEC)
        self.pids = namespace(window, "pid")
        self.mnt = namespace(window, "mnt")
        assert self.pids != namespace(os.getpid(), "pid"), "the window is not in a PID namespace"
        assert self.mnt != namespace(os.getpid(), "mnt"), "the window sees the test's mounts"
        ours = mounts(os.getpid())
        # Its own file systems: the scratch layers, the overlays, its /proc.
        self.made = {m for m in mounts(window) - ours if m[2] in ("overlay", "tmpfs", "proc")}
        assert any(m[2] == "overlay" and m[1] == "/etc" for m in self.made), self.made
        # Nothing in the copy can write to the kernel's audit trail.
        assert not bounding_set(window) & 1 << CAP_AUDIT_WRITE, "the copy may write audit records"
        assert not self.made & ours, f"the copy's mounts reach the test: {self.made & ours}"
        self.beside = set()
        for pid in _processes():
            try:
                self.beside.add(namespace(pid, "mnt"))
            except OSError:
                pass
        self.beside.discard(self.mnt)

    def left(self):
        """What is left of it: its processes (orvane-rehearse, outside, is the
        caller's to reap), and its mounts wherever seen."""
        found = processes_in("pid", self.pids)
        for pid in _processes():
            try:
                if namespace(pid, "mnt") in self.beside:
                    found += [f"{m} seen by {pid}" for m in mounts(pid) & self.made]
            except OSError:
                pass
        return found

    def wait_gone(self):
        try:
            desktop.wait_until(lambda: not self.left(), "nothing of the rehearsal left",
                               timeout=10)
        except AssertionError:
            raise AssertionError(f"left of the rehearsal after 10 s: {self.left()}") from None
        finally:
            os.close(self._held)
