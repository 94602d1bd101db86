"""This machine's own accounts, seen from outside while the real program runs
on them as root (ORVANE_NETAPI=host).

Everything happens inside tests/support/with-private-etc: enter() runs the
test file again there, and refuses an /etc that is not a private mount, so
the machine's own accounts and Samba are never read for the test's, let
alone changed. The account files are read as the C library reads them,
Samba's account database through its own tool, and the shadow suite's locks
as its tools take them.
"""
# uses-programs: pwck grpck pdbedit (and tests/support/with-private-etc)

import ctypes
import glob
import os
import re
import subprocess
import sys
import time

import desktop

WRAPPER = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support",
                       "with-private-etc")

LOG_OUTCOME = re.compile(r"【[^】]*】 添加用户 (.+) (成功|失败)$")


# Where the test runs.

def _private_etc_source():
    """Where the wrapper's copy of /etc comes from, or None."""
    if os.environ.get("ORVANE_TEST_PRIVATE_ETC") != "1":
        return None
    # /etc is the wrapper's copy, bind-mounted from its scratch folder.
    try:
        with open("/proc/self/mountinfo") as f:
            mounts = [line.split() for line in f]
    except OSError:
        return None
    return next((m[3] for m in mounts
                 if m[4] == "/etc" and re.search(r"/orvane-etc\.[^/]+/etc$", m[3])), None)


def _etc_is_private():
    return _private_etc_source() is not None


def private_scratch():
    """The wrapper's scratch folder, removed after the run from outside this
    namespace; a test keeps what it mounts there."""
    # The mount's source is a path in its own file system, which is /tmp's
    # or the root's.
    source = os.path.dirname(_private_etc_source())
    for folder in [source] + [os.path.join(top, os.path.basename(source))
                              for top in (os.environ.get("TMPDIR", "/tmp"), "/tmp")]:
        if os.path.isdir(os.path.join(folder, "etc")) and \
                os.path.samefile(os.path.join(folder, "etc"), "/etc"):
            return folder
    raise AssertionError(f"the private /etc's scratch folder is not found ({source})")


def enter():
    """Runs this test file again over a private /etc, as root; 77 without root."""
    if _etc_is_private():
        return
    if os.environ.get("ORVANE_TEST_PRIVATE_ETC") == "1":
        print("FAIL: ORVANE_TEST_PRIVATE_ETC is set but /etc is the machine's own", flush=True)
        sys.exit(1)
    if os.geteuid() != 0:
        print("SKIP: the host backend's tests need root (over a private /etc)", flush=True)
        sys.exit(desktop.SKIP)
    os.execv(WRAPPER, [WRAPPER, sys.executable, *sys.argv])


def samba_installed():
    return all(os.path.exists(p) for p in ("/usr/sbin/smbd", "/usr/bin/smbpasswd",
                                           "/etc/samba/smb.conf"))


# The account files.

def _entries(name):
    with open(os.path.join("/etc", name), encoding="utf-8", errors="surrogateescape") as f:
        return [line.rstrip("\n").split(":") for line in f if line.strip()]


class Accounts:
    """The four account files, read once."""

    def __init__(self):
        self.passwd = _entries("passwd")
        self.shadow = _entries("shadow")
        self.group = _entries("group")
        self.gshadow = _entries("gshadow")

    @staticmethod
    def _count(table, name):
        return sum(1 for e in table if e[0] == name)

    def has(self, name):
        return self._count(self.passwd, name) > 0

    def entries_of(self, name):
        """How often the name is in passwd, shadow, group and gshadow."""
        return tuple(self._count(t, name) for t in (self.passwd, self.shadow, self.group,
                                                     self.gshadow))

    def uid(self, name):
        return next(int(e[2]) for e in self.passwd if e[0] == name)

    def gecos(self, name):
        return next(e[4] for e in self.passwd if e[0] == name)

    def hash(self, name):
        return next(e[1] for e in self.shadow if e[0] == name)

    def locked(self, name):
        """Whether the account cannot log on with a password: '!' before the
        hash (passwd -l), or no hash at all (useradd gives '!')."""
        return not self.hash(name).startswith("$")

    def members(self, group):
        line = next(e for e in self.group if e[0] == group)
        return [m for m in line[3].split(",") if m]

    def shadow_members(self, group):
        line = next(e for e in self.gshadow if e[0] == group)
        return [m for m in line[3].split(",") if m]

    def names(self, pattern):
        return [e[0] for e in self.passwd if re.fullmatch(pattern, e[0])]

    def duplicates(self):
        """Names, UIDs, group names or GIDs that appear twice: never right."""
        found = []
        for what, table, key in (("account", self.passwd, 0), ("UID", self.passwd, 2),
                                 ("shadow entry", self.shadow, 0), ("group", self.group, 0),
                                 ("GID", self.group, 2), ("gshadow entry", self.gshadow, 0)):
            seen = set()
            for e in table:
                if e[key] in seen:
                    found.append(f"{what} {e[key]}")
                seen.add(e[key])
        for e in self.group:
            members = [m for m in e[3].split(",") if m]
            if len(members) != len(set(members)):
                found.append(f"a member twice in {e[0]}")
        return found

    def text(self):
        """The files as they are, to compare byte for byte."""
        return tuple(open(os.path.join("/etc", n), "rb").read()
                     for n in ("passwd", "shadow", "group", "gshadow", "subuid", "subgid")
                     if os.path.exists(os.path.join("/etc", n)))


# Samba's account database.

def samba_accounts():
    """Samba's accounts as (name, uid, flags, NT hash) from pdbedit, with the
    private smb.conf; empty where Samba is not installed."""
    if not samba_installed():
        return []
    result = subprocess.run(["pdbedit", "-L", "-w"], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, f"pdbedit -L -w: {result.stderr}"
    accounts = []
    for line in result.stdout.splitlines():
        fields = line.split(":")
        accounts.append((fields[0], int(fields[1]), fields[4], fields[3]))
    return accounts


def samba_disabled(flags):
    return "D" in flags.strip("[]")


def samba_has_password(nt_hash):
    """pdbedit -L -w shows an account without a password with X's for its hash."""
    return nt_hash.strip("X") != ""


# The shadow suite's own checks and locks.

def problems(accounts=None):
    """What is wrong with the files as a whole: pwck and grpck (errors only: a
    home folder not made yet is none), a lock file left behind, a lock the
    suite's tools could not take, the same name or id twice, and Samba's
    accounts against the account files."""
    found = []
    for tool in ("pwck", "grpck"):
        result = subprocess.run([tool, "-qr"], capture_output=True, text=True, timeout=120)
        said = [line for line in (result.stdout + result.stderr).splitlines()
                if line.strip() and not line.startswith("delete ")]  # -r's answers
        if result.returncode != 0 or said:
            found.append(f"{tool} -qr: status {result.returncode}: " + "\n".join(said))
    left = glob.glob("/etc/*.lock") + glob.glob("/etc/*+")
    if left:
        found.append(f"left in /etc: {left}")
    libc = ctypes.CDLL(None, use_errno=True)
    started = time.monotonic()
    if libc.lckpwdf() != 0:
        found.append(f"lckpwdf failed after {time.monotonic() - started:.0f} s")
    else:
        libc.ulckpwdf()
        if time.monotonic() - started > 1:
            found.append(f"lckpwdf waited {time.monotonic() - started:.1f} s")
    accounts = accounts or Accounts()
    found += accounts.duplicates()
    seen = set()
    for name, uid, _, _ in samba_accounts():
        if name in seen:
            found.append(f"{name} twice in Samba's database")
        seen.add(name)
        if not accounts.has(name):
            found.append(f"Samba account {name} has no Unix account")
        elif accounts.uid(name) != uid:
            found.append(f"Samba account {name} has UID {uid}, its Unix account "
                         f"{accounts.uid(name)}")
    return found


# The program.

class HostApp(desktop.App):
    """The real program on the host backend, as root over the private /etc."""

    def __init__(self, session, orvane, name, env=None, attach=True):
        super().__init__(session, orvane, name, dict(env or {}, ORVANE_NETAPI="host"), attach)

    def wait_filled(self):
        # A fresh machine may have no account in the listed range; the group
        # list comes after the account list and always holds users.
        desktop.wait_until(lambda: "users" in [r[0] for r in self.rows(self.groups)],
                           "users in the group list")

    def another(self, name):
        """One more of the program, on the same accounts, with a machine folder
        of its own."""
        return HostApp(self.session, self.process.args[0], name)


def host_case(function):
    function.app_class = HostApp
    return function


class LogReader:
    """The execution log's new lines, read one by one as a screen reader does.
    A read waits for the program to answer, which it does between its calls
    to the system."""

    def __init__(self, app):
        self.app = app
        self.start = app.log.childCount
        self.lines = []

    def read(self):
        count = self.app.log.childCount
        for i in range(self.start + len(self.lines), count):
            self.lines.append(self.app.log.getChildAtIndex(i).name)
        return self.lines

    def outcomes(self):
        """(name, "成功" or "失败") of every account line read so far."""
        found = []
        for line in self.lines:
            match = LOG_OUTCOME.fullmatch(line)
            if match:
                found.append((match.group(1), match.group(2)))
        return found

    def wait_for(self, count, what, timeout=desktop.WAIT):
        return desktop.wait_until(lambda: len(self.read()) >= count and self.lines, what,
                                  timeout)


def start_numbered_run(app, prefix, first, last, password):
    """Fills the batch boxes and clicks "创建用户帐号" with the pointer."""
    for box, value in (("前缀：", prefix), ("递增：", str(first)), ("递增：~", str(last)),
                       ("密码：", password)):
        edit = app.edit(box)
        edit.queryEditableText().setTextContents(value)
        desktop.wait_until(lambda: desktop.text_of(edit) == value, f"{value!r} in {box}")
    app.click(app.button("创建用户帐号"))


def when_idle(app, log):
    """Returns once the program runs no command: a numbered run that ends
    before it starts is refused while another command runs, and says so in
    the log once it is taken."""
    for box, value in (("递增：", "1"), ("递增：~", "0")):
        edit = app.edit(box)
        edit.queryEditableText().setTextContents(value)
        desktop.wait_until(lambda: desktop.text_of(edit) == value, f"{value!r} in {box}")
    button = app.button("创建用户帐号")
    end = time.monotonic() + desktop.WAIT
    while True:
        before = len(log.read())
        app.click(button)
        try:
            desktop.wait_until(lambda: any("没有创建用户" in line
                                           for line in log.read()[before:]),
                               "the idle window's answer", timeout=2)
            return
        except AssertionError:
            if time.monotonic() > end:
                raise


def children(pid):
    """The processes whose parent is pid, by any of its threads."""
    found = []
    for task in glob.glob(f"/proc/{pid}/task/*/children"):
        try:
            with open(task) as f:
                found += [int(p) for p in f.read().split()]
        except OSError:
            pass
    return found


def command_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return None


def become_subreaper():
    """Processes orphaned below this one come to it, so that a test can wait
    for what a killed program left running."""
    PR_SET_CHILD_SUBREAPER = 36
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def wait_for_orphans(known, timeout=60):
    """Reaps the children of this process that are not in known (what a
    killed program's tools became); the names of those that ran."""
    ran = []
    end = time.monotonic() + timeout
    while True:
        orphans = [p for p in children(os.getpid()) if p not in known]
        if not orphans:
            return ran
        for pid in orphans:
            name = command_name(pid)
            done, _ = os.waitpid(pid, os.WNOHANG)
            if done:
                ran.append(name)
        if time.monotonic() > end:
            raise AssertionError(f"left running after {timeout} s: "
                                 f"{[command_name(p) for p in orphans]}")
        time.sleep(0.01)
