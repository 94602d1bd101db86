"""A rehearsal seen from outside: orvane-rehearse started as the desktop
tier starts the program, its window found below it, and what the copy is
made of (its namespaces, the mounts it made), to find what is left of it;
two at once, apart.
"""
# uses-programs: xdotool

import os
import subprocess

import desktop
import host_machine
from host_machine import HostApp, LogReader, start_numbered_run


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


def refilled(app):
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")


def stacked(*apps):
    """The programs' main windows, one above the other; a function that puts
    one of them on top (there is no window manager to do it)."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Orvane$"],
                           env=apps[0].session.env, capture_output=True, text=True, timeout=30,
                           check=True)
    windows = found.stdout.split()
    assert len(windows) == len(apps), windows
    # Each moved to a place of its own, which tells which program it is.
    for number, window in enumerate(windows):
        apps[0].xdotool("windowmove", "--sync", window, 20 * number, 20 * number)
    places = {}
    for app in apps:
        corners = [(20 * n, 20 * n) for n in range(len(windows))]
        place = desktop.wait_until(
            lambda: (lambda x, y, *_: (x, y) if (x, y) in corners else None)(
                *desktop.extents(app.window)), "the window moved")
        places[app] = windows[corners.index(place)]

    def on_top(app):
        app.xdotool("windowraise", places[app])
    return on_top


def apart(first, second, password):
    """Two rehearsals at once each make an account through the window; after
    a refill neither lists the other's."""
    from test_host_accounts import outcomes_of
    on_top = stacked(first, second)

    def makes(rehearsal, name):
        on_top(rehearsal)
        log = LogReader(rehearsal)
        start_numbered_run(rehearsal, name[:-1], 1, 1, password)
        assert outcomes_of(log, 1, f"{name} made") == [(name, "成功")]
        host_machine.when_idle(rehearsal, log)

    def listed_after_refill(rehearsal):
        on_top(rehearsal)
        # 刷新, from the context menu of the first row.
        rehearsal.click(rehearsal.cell(rehearsal.accounts, 0), button=3)
        rehearsal.key(*["Down"] * 4, "Return")
        refilled(rehearsal)
        return [row[0] for row in rehearsal.rows(rehearsal.accounts)]

    makes(first, "ra1")
    assert "ra1" not in listed_after_refill(second)
    makes(second, "rb1")
    listed = listed_after_refill(first)
    assert "ra1" in listed and "rb1" not in listed, listed


def select_group(app, name):
    row = app.row_of(app.groups, name)
    app.click(app.cell(app.groups, row))
    desktop.wait_until(lambda: app.selected_rows(app.groups) == [row],
                       f"{name} chosen (row {row} of {[r[0] for r in app.rows(app.groups)]})")


def session_table(app, refused, group, missing, password):
    """The session's account table: rt1 into group, a name the site refuses,
    rt3 into a group that does not exist, and a line of two fields, which is
    no account line."""
    path = os.path.join(app.session.tmp, "accounts.CSV")
    with open(path, "w") as f:
        f.write(f"rt1,{password},{group}\n"
                f"{refused},{password},{group}\n"
                f"rt3,{password},{missing}\n"
                f"rt4,{password}\n")
    return path


def scripted_session(app, prefix, existing, table, import_lines, team, left, password):
    """The session a rehearsal must predict, through the pointer and keyboard:
    a numbered run of PREFIX1..4 that meets the existing account, the table
    imported (it writes at least import_lines lines), home folders made and
    registered for PREFIX1, the existing account and PREFIX3, the first two
    shared, PREFIX3, PREFIX4 and the table's rt1 put into team, PREFIX3
    taken out of left, PREFIX4 deleted. The log's lines without their time
    stamps, and the account rows at the end."""
    from test_host_accounts import import_table, outcomes_of
    from test_host_home_folders import run_entry_on_rows
    from test_host_home_share import share_rows
    log = LogReader(app)
    start_numbered_run(app, prefix, 1, 4, password)
    outcomes_of(log, 4, "the numbered run's lines")
    host_machine.when_idle(app, log)
    before = len(log.read())
    import_table(app, table)
    desktop.wait_until(lambda: len(log.read()) >= before + import_lines, "the import's lines")
    host_machine.when_idle(app, log)
    first, third, fourth = (f"{prefix}{n}" for n in (1, 3, 4))
    # 创建用户主文件夹, one folder there already; 关联主文件夹; 设置共享,
    # one share there already.
    for downs in (8, 12):
        run_entry_on_rows(app, [first, existing, third], downs)
        refilled(app)
    share_rows(app, [first, existing])
    # 添加到组, 从组中移除 (of the group chosen in the group list), 删除指定用户.
    for group, names, downs in ((team, [third, fourth, "rt1"], 5), (left, [third], 6)):
        select_group(app, group)
        run_entry_on_rows(app, names, downs)
        refilled(app)
    run_entry_on_rows(app, [fourth], 3)
    refilled(app)
    lines = [line.split("】 ", 1)[1] for line in app.log_lines()]
    return lines, app.rows(app.accounts)
