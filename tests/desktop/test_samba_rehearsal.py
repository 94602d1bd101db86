"""A rehearsal (orvane-rehearse) on the samba backend when the server is a
domain controller: the window on a copy of the DC that Samba's own backup and
restore make in memory, served in a network of the rehearsal's own. Seen from
outside, against the test DC of scripts/test-samba (its dc run):

- differential: the DC holds an account, its home folder and a share of it.
  One scripted session through real X input (a numbered run that meets the
  existing account, an import with a bad line and a missing group, home
  folders that meet the existing one, their registration, shares, membership
  changes and a deletion), first in a rehearsal, then in the real window:
  the logs without their time stamps and the final account rows are the
  same, and after the rehearsal the DC's accounts, group members and shares,
  as its own tools list them, and the home root's tree, owners and modes are
  as before.
- two_at_once: two rehearsals started together both come up, each on a copy
  of its own: neither sees what the other made, and nothing is left of
  either.
- ticket: with a Kerberos ticket of the real DC instead of a password, the
  window logs on to the copy with a ticket of the copy's own, reads its
  directory in bulk and makes an account there; the test's ticket cache is
  as it was, and so is the DC.
- kill_9_while_copying: orvane-rehearse, its progress window read as a
  screen reader reads it, killed while Samba's backup runs: the backup goes
  with it, and nothing is left (no process, no mount, no scratch file).
- wrong_password: a password the DC refuses ends the rehearsal with a box
  that says so in Samba's words, status 1, and nothing left.
- kill_9: orvane-rehearse killed in the middle of a numbered run in the copy:
  the DC is as before, and nothing of the copy is left (no process in its
  network, PID or mount namespaces, no mount, nothing in its scratch folder).

And, against the standalone server of scripts/test-samba (its sa run),
refused: orvane-rehearse offers no rehearsal there, says so and exits 2,
having started nothing.

Elsewhere (no such server here, no root, no display) it is skipped (77).
"""
# uses-programs: samba-tool net unshare mount kinit

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import desktop
import host_machine
import host_site
from samba_server import conf, server
from host_machine import LogReader, start_numbered_run
import rehearsal_copy
from rehearsal_copy import Copy, RehearsalApp, apart, namespace, processes_in, rehearse_program
from test_home_root import set_home_root
from test_host_accounts import outcomes_of

# The window in the copy reaches the display from another network.
desktop.X_PATH_SOCKET = True

PASSWORD = "Rehearse-7"
# A built-in group near the top of the list, in view to be clicked.
EXISTING, TEAM = "rd2", "Guests"
# The home root, where this machine makes the DC's accounts' folders; the
# DC's server, in namespaces of its own, sees it too.
HOMES = os.path.join(tempfile.gettempdir(), f"orvane-dc-homes.{os.getpid()}")
# Every account a case may leave on the DC.
MADE = ["rd1", EXISTING, "rd3", "rd4", "rt1", "rt3"]


def the_dc():
    """The DC as its own tools list it: accounts, the members of the groups
    the session touches, and its shares."""
    found = {"users": sorted(server("samba-tool", "user", "list", *conf()).split())}
    for group in (TEAM, "Users"):
        found[group] = sorted(server("samba-tool", "group", "listmembers", group,
                                     *conf()).split())
    found["shares"] = server("net", *conf(), "conf", "list")
    return found


def on_the_domain():
    return {"ORVANE_NETAPI": "samba", "USER": os.environ["ORVANE_TEST_SAMBA_USER"],
            "PASSWD": os.environ["ORVANE_TEST_SAMBA_PASSWORD"],
            "ORVANE_SAMBA_SERVER": os.environ["ORVANE_TEST_SAMBA_SERVER"]}


class DomainApp(desktop.App):
    """The real program on the test DC."""

    def wait_filled(self):
        desktop.wait_until(lambda: EXISTING in [r[0] for r in self.rows(self.accounts)],
                           f"{EXISTING} in the account list")
        desktop.wait_until(lambda: TEAM in [r[0] for r in self.rows(self.groups)],
                           f"{TEAM} in the group list")


class DcRehearsalApp(DomainApp):
    """orvane-rehearse on the same domain, on the case's machine folder; the
    window is a process of the rehearsal's own PID namespace, and its own
    progress window is not the one looked for."""

    window_below = True
    window_pid = RehearsalApp.window_pid

    def __init__(self, app, name, attach=True, env=None):
        super().__init__(app.session, rehearse_program(app.process.args[0]), name,
                         dict(env or on_the_domain(),
                              ORVANE_MACHINE=os.path.join(app.folder, "machine")), attach)

    def attach(self):
        # The copy is made first: Samba's backup and restore, then its start.
        desktop.wait_until(self._application, "the window on the copy", timeout=150)
        super().attach()

    def _application(self):
        if self.process.poll() is not None:
            raise SystemExit(f"orvane-rehearse ended with status {self.process.returncode}:\n"
                             + self.output())
        desktop_ = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop_.childCount):
            app = desktop_.getChildAtIndex(i)
            try:
                pid = app.get_process_id() if app is not None else None
                if pid and pid != self.process.pid and desktop._descends_from(pid,
                                                                             self.process.pid):
                    return app
            except Exception:
                continue
        return None


def domain_case(function):
    function.app_class = DomainApp
    function.env = on_the_domain
    return function


def table(app):
    """An account table with a name the directory refuses."""
    return rehearsal_copy.session_table(app, "rt*2", "Users", "rdnone", PASSWORD)


def scripted_session(app):
    return rehearsal_copy.scripted_session(app, "rd", EXISTING, table(app), 3, TEAM, TEAM,
                                           PASSWORD)


def assert_dc_is(before, when):
    after = the_dc()
    changed = [k for k in before if before[k] != after[k]]
    assert not changed, f"{when}, the DC changed: " + "; ".join(
        f"{k}: {before[k]!r} -> {after[k]!r}" for k in changed)


def real_again(app):
    app.__init__(app.session, app.process.args[0], os.path.basename(app.folder),
                 on_the_domain())


@domain_case
def differential(app):
    app.quit()
    set_home_root(app, HOMES)
    before, homes = the_dc(), host_site.tree(HOMES)
    assert f"[{EXISTING}]" in before["shares"], before["shares"]
    started = time.monotonic()
    rehearsal = DcRehearsalApp(app, "rehearsal")
    print(f"  the rehearsal's window after {time.monotonic() - started:.1f} s", flush=True)
    copy = Copy(rehearsal)
    network = namespace(rehearsal.window_pid(), "net")
    rehearsed = scripted_session(rehearsal)
    rehearsal.quit()
    copy.wait_gone()
    # The copy's server went with the window.
    desktop.wait_until(lambda: not processes_in("net", network),
                       "nothing left in the copy's network", timeout=10)
    print(f"  the rehearsal: {time.monotonic() - started:.1f} s", flush=True)
    assert_dc_is(before, "after the rehearsal")
    assert host_site.tree(HOMES) == homes, "the home root changed: " + host_site.change(
        homes, host_site.tree(HOMES))

    real_again(app)
    real = scripted_session(app)
    for what, said, done in (("log", rehearsed[0], real[0]),
                             ("account rows", rehearsed[1], real[1]),
                             ("window's words on stderr", rehearsal.output().splitlines(),
                              app.output().splitlines())):
        assert said == done, f"the {what} differ:\n" + "\n".join(
            f"  {a!r}\n  {b!r}" for a, b in zip(said, done) if a != b) + (
            f"\n  lengths {len(said)} and {len(done)}" if len(said) != len(done) else "")
    # The session did what it was written for.
    lines, rows = real
    assert f"添加用户 {EXISTING} 失败" in lines and "删除用户 rd4 成功" in lines, lines
    listed = {row[0]: row for row in rows}
    assert "rd4" not in listed and "rt1" in listed and "rt*2" not in listed, sorted(listed)
    members = server("samba-tool", "group", "listmembers", TEAM, *conf()).split()
    assert "rt1" in members and "rd3" not in members, members
    shares = server("net", *conf(), "conf", "list")
    assert f"path = {os.path.join(HOMES, 'rd1')}" in shares, shares
    shared = {row[0]: row[3] for row in rows}
    assert "未共享" not in (shared["rd1"], shared[EXISTING]) and shared["rd3"] == "未共享", shared
    assert os.path.isdir(os.path.join(HOMES, "rd3")), os.listdir(HOMES)


@domain_case
def two_at_once(app):
    before = the_dc()
    app.quit()
    first = DcRehearsalApp(app, "first", attach=False)
    second = DcRehearsalApp(app, "second", attach=False)
    for rehearsal in (first, second):
        rehearsal.attach()
    copies = [Copy(first), Copy(second)]
    networks = [namespace(r.window_pid(), "net") for r in (first, second)]
    assert copies[0].pids != copies[1].pids and networks[0] != networks[1], networks
    apart(first, second, PASSWORD)
    for rehearsal, copy, network in zip((first, second), copies, networks):
        rehearsal.quit()
        copy.wait_gone()
        desktop.wait_until(lambda: not processes_in("net", network),
                           "nothing left in the copy's network", timeout=10)
    assert_dc_is(before, "after two rehearsals")
    real_again(app)


@domain_case
def kill_9(app):
    before = the_dc()
    app.quit()
    rehearsal = DcRehearsalApp(app, "rehearsal")
    copy = Copy(rehearsal)
    network = namespace(rehearsal.window_pid(), "net")
    assert network != namespace(os.getpid(), "net"), "the window is in the test's network"
    # The copy's server, in namespaces of its own, serves in the window's network.
    servers = [p for p in processes_in("net", network) if p.split()[1] == "samba"]
    assert servers and not set(servers) & set(processes_in("pid", copy.pids)), servers
    log = LogReader(rehearsal)
    start_numbered_run(rehearsal, "rk", 1, 500, PASSWORD)
    made = outcomes_of(log, 5, "five accounts made in the copy", timeout=60)
    assert made == [(f"rk{n}", "成功") for n in range(1, 6)], made
    os.kill(rehearsal.process.pid, signal.SIGKILL)
    rehearsal.process.wait(10)
    copy.wait_gone()
    desktop.wait_until(lambda: not processes_in("net", network), "nothing left in the copy's network",
                       timeout=10)
    scratch = os.path.join(os.path.dirname(rehearsal.process.args[0]), "rehearsal-scratch")
    assert not os.listdir(scratch), f"left in {scratch}: {os.listdir(scratch)}"
    assert_dc_is(before, "after a kill -9 of the rehearsal")
    real_again(app)


def ticket_for_the_dc(folder):
    """A ticket of the real DC's KDC, as kinit gets it on a member: the DC
    by a name its principal carries (in /etc/hosts of this test's own mount
    namespace) and the realm's KDC in a krb5.conf of the test's; its
    environment."""
    realm = os.environ["ORVANE_TEST_SAMBA_REALM"]
    host = "orvanedc." + realm.lower()
    with open("/etc/hosts") as f:
        hosts = f.read()
    with open(os.path.join(folder, "hosts"), "w") as f:
        f.write(f"{hosts}\n127.0.0.1 {host}\n")
    subprocess.run(["mount", "-n", "--bind", os.path.join(folder, "hosts"), "/etc/hosts"],
                   check=True, timeout=30)
    config = os.path.join(folder, "krb5.conf")
    with open(config, "w") as f:
        f.write(f"[libdefaults]\n default_realm = {realm}\n dns_lookup_kdc = false\n"
                f"[realms]\n {realm} = {{\n  kdc = 127.0.0.1\n }}\n"
                f"[domain_realm]\n .{realm.lower()} = {realm}\n")
    env = {"ORVANE_NETAPI": "samba", "USER": os.environ["ORVANE_TEST_SAMBA_USER"],
           "ORVANE_SAMBA_SERVER": host, "KRB5_CONFIG": config,
           "KRB5CCNAME": "FILE:" + os.path.join(folder, "ticket")}
    subprocess.run(["kinit", f"{os.environ['ORVANE_TEST_SAMBA_USER']}@{realm}"],
                   input=os.environ["ORVANE_TEST_SAMBA_PASSWORD"] + "\n", text=True,
                   env=dict(os.environ, **env), check=True, timeout=60,
                   stdout=subprocess.DEVNULL)
    return env


@domain_case
def ticket(app):
    before = the_dc()
    app.quit()
    folder = os.path.join(app.session.tmp, "kerberos")
    os.mkdir(folder, 0o700)
    env = ticket_for_the_dc(folder)
    with open(os.path.join(folder, "ticket"), "rb") as f:
        cache = f.read()
    rehearsal = DcRehearsalApp(app, "rehearsal", env=env)
    with open(f"/proc/{rehearsal.window_pid()}/environ", "rb") as f:
        window_env = dict(e.split(b"=", 1) for e in f.read().split(b"\0") if b"=" in e)
    assert window_env[b"KRB5CCNAME"] != env["KRB5CCNAME"].encode(), window_env[b"KRB5CCNAME"]
    assert b"PASSWD" not in window_env
    log = LogReader(rehearsal)
    start_numbered_run(rehearsal, "rt", 1, 1, PASSWORD)
    assert outcomes_of(log, 1, "an account made in the copy") == [("rt1", "成功")]
    desktop.wait_until(lambda: "rt1" in [r[0] for r in rehearsal.rows(rehearsal.accounts)],
                       "rt1 listed")
    rehearsal.quit()
    assert "cannot be read" not in rehearsal.output(), rehearsal.output()
    with open(os.path.join(folder, "ticket"), "rb") as f:
        assert f.read() == cache, "the test's ticket cache changed"
    assert_dc_is(before, "after a rehearsal with a ticket")
    real_again(app)


def progress_window(rehearsal):
    """orvane-rehearse's own window, on the accessibility bus."""
    def own():
        d = rehearsal.pyatspi.Registry.getDesktop(0)
        for i in range(d.childCount):
            app = d.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == rehearsal.process.pid:
                    return app
            except Exception:
                continue
        return None
    app = desktop.wait_until(own, "orvane-rehearse on the accessibility bus")
    return desktop.find(app, "dialog", "Orvane (演练)", what="the progress window")


@domain_case
def kill_9_while_copying(app):
    before = the_dc()
    app.quit()
    rehearsal = DcRehearsalApp(app, "rehearsal", attach=False)
    window = progress_window(rehearsal)
    desktop.find(window, "label", "正在备份域控制器…")
    desktop.find(window, "progress bar", "进度")
    backup = desktop.wait_until(
        lambda: [p for p in host_machine.children(rehearsal.process.pid)
                 if host_machine.command_name(p) == "samba-tool"], "samba-tool running")
    mounts = namespace(rehearsal.process.pid, "mnt")
    os.kill(rehearsal.process.pid, signal.SIGKILL)
    rehearsal.process.wait(10)
    desktop.wait_until(lambda: not any(os.path.exists(f"/proc/{p}") for p in backup),
                       "the backup gone", timeout=10)
    desktop.wait_until(lambda: not processes_in("mnt", mounts), "nothing left in the copy's "
                       "mount namespace", timeout=10)
    scratch = os.path.join(os.path.dirname(rehearsal.process.args[0]), "rehearsal-scratch")
    assert not os.listdir(scratch), f"left in {scratch}: {os.listdir(scratch)}"
    assert_dc_is(before, "after a kill -9 of the rehearsal while it copied")
    real_again(app)


@domain_case
def wrong_password(app):
    """A password the DC refuses: the backup fails, a box says the copy
    could not be made, with Samba's own words, and closing it ends the
    rehearsal with status 1, leaving nothing."""
    before = the_dc()
    app.quit()
    rehearsal = DcRehearsalApp(app, "rehearsal", attach=False,
                               env=dict(on_the_domain(), PASSWD="not-the-password"))
    own = progress_window(rehearsal).parent
    box = desktop.find(own, "alert", "Orvane (演练)", what="the box")
    desktop.find(box, "label", "无法制作演练副本。真实站点没有任何改动。")
    words = [label.name for label in desktop.find_all(box, "label")]
    assert any(w.startswith("ERROR") and "INVALID_CREDENTIALS" in w for w in words), words
    mounts = namespace(rehearsal.process.pid, "mnt")
    rehearsal.click(desktop.find(box, "push button", "确定"))
    assert rehearsal.process.wait(10) == 1
    desktop.wait_until(lambda: not processes_in("mnt", mounts), "nothing left of the copy",
                       timeout=10)
    assert_dc_is(before, "after a refused password")
    real_again(app)


CASES = [differential, two_at_once, ticket, kill_9_while_copying, kill_9, wrong_password]


def make_site():
    """An account the numbered run meets, its home folder with a file in it,
    and a share of that folder on the DC."""
    server("samba-tool", "user", "create", EXISTING, PASSWORD, *conf())
    folder = os.path.join(HOMES, EXISTING)
    os.makedirs(folder, 0o700)
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write("kept\n")
    server("net", *conf(), "conf", "addshare", EXISTING, folder, "writeable=y", "guest_ok=n",
           f"{EXISTING} here before")


def clear_site():
    control = [os.environ["ORVANE_TEST_SAMBA_CONTROL"], "exec", os.environ["ORVANE_TEST_SAMBA_DIR"],
               "--"]
    for name in MADE:
        for command in (["samba-tool", "user", "delete", name, *conf()],
                        ["net", *conf(), "conf", "delshare", name]):
            subprocess.run(control + command, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=120)
    shutil.rmtree(HOMES, ignore_errors=True)


def refused(orvane):
    """orvane-rehearse against a server that is no domain controller."""
    if os.environ.get("ORVANE_TEST_SAMBA") != "sa":
        print("SKIP no standalone server here: scripts/test-samba runs this against one")
        return desktop.SKIP
    started = time.monotonic()
    ended = subprocess.run([rehearse_program(orvane)], env=dict(os.environ, **on_the_domain()),
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
    assert ended.returncode == 2, (ended.returncode, ended.stderr)
    assert "is no Active Directory domain controller" in ended.stderr, ended.stderr
    print(f"refused in {time.monotonic() - started:.1f} s: {ended.stderr.strip()}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[2] == "refused":
        sys.exit(refused(sys.argv[1]))
    if len(sys.argv) != 3 or sys.argv[2] not in [c.__name__ for c in CASES]:
        print(f"usage: {sys.argv[0]} PATH-TO-ORVANE {{{','.join(c.__name__ for c in CASES)}}}",
              file=sys.stderr)
        sys.exit(2)
    if os.environ.get("ORVANE_TEST_SAMBA") != "dc":
        print("SKIP no domain controller here: scripts/test-samba runs this against one")
        sys.exit(desktop.SKIP)
    if os.geteuid() != 0:
        print("SKIP a rehearsal takes root")
        sys.exit(desktop.SKIP)
    # The ticket case's /etc/hosts in a mount namespace of this test's own.
    if sys.argv[2] == "ticket" and os.environ.get("ORVANE_TEST_OWN_MOUNTS") != "1":
        os.environ["ORVANE_TEST_OWN_MOUNTS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private", "--",
                              sys.executable, *sys.argv])
    if not os.access(rehearse_program(sys.argv[1]), os.X_OK):
        print(f"{sys.argv[0]}: orvane-rehearse is not beside {sys.argv[1]}", file=sys.stderr)
        sys.exit(2)
    clear_site()
    make_site()
    try:
        code = desktop.main(CASES)
    finally:
        clear_site()
    sys.exit(code)
