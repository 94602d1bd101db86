"""Home folders made through the real window on the samba backend belong to
their accounts, on the standalone server of scripts/test-samba (sa), whose
accounts this machine's name service resolves: the test runs where the
server's own /etc is /etc (the copy its add user script runs useradd on,
bound over /etc in a mount namespace of the test's own), so each account the
window makes through libnetapi is a Unix account here too. Then checked from
outside, as those accounts and with the server's own tools. An account the
server has and this machine does not know gets its folder as made, the
program's.

Outside scripts/test-samba's sa run, or without root, it is skipped (77).
"""
# uses-programs: unshare sh mount getent runuser userdel pdbedit touch ls

import os
import re
import subprocess
import sys

import desktop
import host_machine
from host_machine import LogReader, start_numbered_run
from test_home_root import set_home_root
from test_host_accounts import PASSWORD, etc_file, outcomes_of
from test_host_home_folders import as_account, run_entry_on_rows

NAMES = ("sown1", "sown2", "sown3")
# Made on the server, then hidden from the name service here (not from the
# server, which cannot serve an account without its Unix one).
UNKNOWN = "sown4"
# Not the 0700 the program falls back on, and still closed to the other
# accounts, which share the primary group users on this server.
HOME_MODE = 0o710
MARKER = "ORVANE_TEST_SERVER_ETC"


# Where the test runs.

def server_etc():
    return os.path.join(os.environ["ORVANE_TEST_SAMBA_DIR"], "etc")


def on_server_etc():
    if os.environ.get(MARKER) != "1":
        return False
    here, there = os.stat("/etc"), os.stat(server_etc())
    return (here.st_dev, here.st_ino) == (there.st_dev, there.st_ino)


def enter():
    """Runs this file again in a mount namespace of its own with the server's
    /etc bound over /etc; afterwards, the caller's /etc/passwd must be as it
    was."""
    if on_server_etc():
        return
    if os.environ.get(MARKER) == "1":
        print(f"FAIL: /etc is not the server's copy {server_etc()}", flush=True)
        sys.exit(1)
    if os.environ.get("ORVANE_TEST_SAMBA") != "sa":
        print("SKIP: needs the standalone server of scripts/test-samba (sa)", flush=True)
        sys.exit(desktop.SKIP)
    if os.geteuid() != 0:
        print("SKIP: the server's /etc is bound over /etc as root", flush=True)
        sys.exit(desktop.SKIP)
    with open("/etc/passwd", "rb") as f:
        before = f.read()
    inner = subprocess.run(
        ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
         'mount -n --bind "$0" /etc && exec "$@"', server_etc(), sys.executable, *sys.argv],
        env=dict(os.environ, **{MARKER: "1"}), preexec_fn=desktop._die_with_parent)
    with open("/etc/passwd", "rb") as f:
        if f.read() != before:
            print("FAIL: the /etc/passwd outside the test changed", flush=True)
            sys.exit(1)
    sys.exit(inner.returncode)


# The server.

def server(*command):
    """A command where the server's files are, as the server sees them."""
    return subprocess.run(
        [os.environ["ORVANE_TEST_SAMBA_CONTROL"], "exec", os.environ["ORVANE_TEST_SAMBA_DIR"],
         "--", *command], stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)


def server_uids():
    """Samba's accounts and the UIDs it holds for them (pdbedit, on the
    server's own database)."""
    listed = server("pdbedit", "-s", os.environ["ORVANE_TEST_SAMBA_CONF"], "-L")
    assert listed.returncode == 0, listed.stderr
    return {name: int(uid) for name, uid, _ in
            (line.split(":", 2) for line in listed.stdout.splitlines() if line.count(":") >= 2)}


def getent(name):
    """(uid, gid) as the name service here resolves the account, or None."""
    found = subprocess.run(["getent", "passwd", name], capture_output=True, text=True,
                           timeout=30)
    if found.returncode == 2:
        return None
    assert found.returncode == 0, found
    fields = found.stdout.strip().split(":")
    return int(fields[2]), int(fields[3])


def hide_from_this_machine(name, folder):
    """The name service here stops knowing the account, the server does not:
    a copy of passwd without it bound over /etc/passwd in this namespace,
    where the program runs."""
    with open("/etc/passwd") as f:
        kept = [line for line in f if line.split(":", 1)[0] != name]
    path = os.path.join(folder, "passwd")
    with open(path, "w") as f:
        f.writelines(kept)
    os.chmod(path, 0o644)
    subprocess.run(["mount", "-n", "--bind", path, "/etc/passwd"], check=True, timeout=30)


def remove_accounts(names):
    """The test's accounts gone from the server, for the tests after it."""
    conf = os.environ["ORVANE_TEST_SAMBA_CONF"]
    for name in names:
        server("pdbedit", "-s", conf, "-x", name)
        server("userdel", name)


class SambaApp(desktop.App):
    """The real program on the samba backend, signed on to the test server as
    the other samba desktop tests sign on."""

    def __init__(self, session, orvane, name, env=None):
        super().__init__(session, orvane, name, dict(
            env or {}, ORVANE_NETAPI="samba", USER=os.environ["ORVANE_TEST_SAMBA_USER"],
            PASSWD=os.environ["ORVANE_TEST_SAMBA_PASSWORD"]))

    def wait_filled(self):
        # The server may hold its administrator alone.
        desktop.wait_until(lambda: "Users" in [r[0] for r in self.rows(self.groups)],
                           "Users in the group list")


def home_folders_belong_to_their_server_accounts(app):
    names = [*NAMES, UNKNOWN]
    try:
        with etc_file("/etc/login.defs", lambda text: re.sub(
                r"(?m)^\s*#?\s*HOME_MODE\s.*$", "", text) + f"HOME_MODE\t0{HOME_MODE:o}\n"):
            check_home_folders(app, names)
    finally:
        remove_accounts(names)


def check_home_folders(app, names):
    os.umask(0o022)
    # The accounts pass through the test's folder to their own.
    os.chmod(app.session.tmp, 0o711)
    homes = os.path.join(app.session.tmp, "homes")
    os.mkdir(homes, 0o755)

    log = LogReader(app)
    start_numbered_run(app, "sown", 1, len(names), PASSWORD)
    assert outcomes_of(log, len(names), "the accounts") == [(n, "成功") for n in names]
    host_machine.when_idle(app, log)
    samba_uids = server_uids()
    for name in names:
        # Real Unix accounts of the server's /etc, the same ones Samba holds.
        assert getent(name) is not None and getent(name)[0] == samba_uids[name], name
    hide_from_this_machine(UNKNOWN, app.folder)
    assert getent(UNKNOWN) is None
    assert server("getent", "passwd", UNKNOWN).returncode == 0, "hidden from the server too"

    # The home root chosen, as the chooser stores it, while the program is down.
    orvane = app.process.args[0]
    app.quit()
    set_home_root(app, homes)
    app.__init__(app.session, orvane, os.path.basename(app.folder))
    desktop.wait_until(lambda: desktop.text_of(app.edit("用户目录：")) == homes + "/",
                       "the stored home root")
    desktop.wait_until(lambda: set(names) <= {r[0] for r in app.rows(app.accounts)},
                       "the accounts listed")

    folders = {name: os.path.join(homes, name) for name in names}
    # 创建用户主文件夹 is the eighth entry.
    # One line a row, in the server's order of the list.
    lines = run_entry_on_rows(app, names, 8)
    assert sorted(lines) == [f"{folders[n]} 创建成功 " for n in names], lines
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")

    for name in NAMES:
        folder = folders[name]
        uid, gid = getent(name)
        st = os.lstat(folder)
        assert (st.st_uid, st.st_gid) == (uid, gid), (name, (uid, gid), st)
        assert st.st_mode & 0o7777 == HOME_MODE, (name, oct(st.st_mode))
        # Nothing is copied in for a server's account.
        assert os.listdir(folder) == [], (name, os.listdir(folder))
        touched = as_account(name, "touch", os.path.join(folder, "x"))
        assert touched.returncode == 0, (name, touched.stderr)
        assert os.lstat(os.path.join(folder, "x")).st_uid == uid

    listed = as_account("sown2", "ls", folders["sown1"])
    assert listed.returncode != 0 and "Permission denied" in listed.stderr, listed
    written = as_account("sown2", "touch", os.path.join(folders["sown1"], "y"))
    assert written.returncode != 0, "another account wrote in sown1's folder"

    # Unknown here: made as before, the program's, and its line the same.
    st = os.lstat(folders[UNKNOWN])
    assert (st.st_uid, st.st_gid, st.st_mode & 0o7777) == (0, 0, 0o755), (UNKNOWN, st)
    assert os.lstat(homes).st_uid == 0


home_folders_belong_to_their_server_accounts.app_class = SambaApp


if __name__ == "__main__":
    enter()
    sys.exit(desktop.main([home_folders_belong_to_their_server_accounts]))
