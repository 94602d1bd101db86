"""Home folders made through the real window on the host backend belong to
their accounts: made for three new accounts and registered as their homes
through the window, then checked from outside as those accounts, with the
machine's own tools. The skeleton copied in is the site's own, named by SKEL
in /etc/default/useradd.

Runs as root over a private copy of /etc (host_machine.enter()), with the
home root on a tmpfs mounted in that private namespace; without root or a
display it is skipped (77).
"""
# uses-programs: mount runuser su touch ls getent useradd

import os
import pwd
import subprocess
import sys

import desktop
import host_machine
from host_machine import LogReader, host_case, start_numbered_run
from test_home_root import set_home_root
from test_host_accounts import PASSWORD, any_password_goes, outcomes_of

# A private home root: a tmpfs over /srv in this namespace only, so every
# folder above the home root is root's and open to others to pass through,
# as a real home root's are.
SITE = "/srv"
HOMES = os.path.join(SITE, "orvane-homes")
NAMES = ("ho1", "ho2", "ho3")
SKELETON = os.path.join(SITE, "site-skel")
SKELETON_FILES = {".profile": "# the site's profile\n", "site-note": "welcome\n"}


def private_home_root():
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "orvane-homes", SITE],
                   check=True, timeout=30)
    os.mkdir(HOMES, 0o755)


def site_skeleton():
    """A skeleton of the site's own, set as an administrator sets it: SKEL in
    /etc/default/useradd (this namespace's copy), which useradd -D shows."""
    os.mkdir(SKELETON, 0o755)
    for name, text in SKELETON_FILES.items():
        with open(os.path.join(SKELETON, name), "w", encoding="utf-8") as f:
            f.write(text)
    with open("/etc/default/useradd", "a", encoding="utf-8") as f:
        f.write(f"SKEL={SKELETON}\n")
    shown = subprocess.run(["useradd", "-D"], capture_output=True, text=True, timeout=30)
    assert f"SKEL={SKELETON}\n" in shown.stdout, shown


def select_rows(app, names):
    """Selects the accounts' rows with the pointer (Ctrl adds one); their rows."""
    rows = [app.row_of(app.accounts, name) for name in names]
    app.click(app.cell(app.accounts, rows[0]))
    for row in rows[1:]:
        app.click(app.cell(app.accounts, row), modifier="ctrl")
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == sorted(rows),
                       f"{names} selected")
    return rows


def run_entry_on_rows(app, names, downs):
    """Selects the rows with the pointer (Ctrl adds one), opens the context
    menu on the last and takes the entry that many steps down; the log lines
    the command wrote."""
    rows = select_rows(app, names)
    log = LogReader(app)
    app.click(app.cell(app.accounts, rows[-1]), button=3)
    app.key(*["Down"] * downs, "Return")
    desktop.wait_until(lambda: len(log.read()) >= len(names), "the command's lines")
    return [line.split("】 ", 1)[1] for line in log.lines]


def as_account(name, *argv):
    return subprocess.run(["runuser", "-u", name, "--", *argv], capture_output=True,
                          text=True, timeout=30)


def registered_homes(app, prefix, count):
    """Accounts prefix1..prefixN made by a numbered run with PASSWORD, their
    folders made under HOMES (the home root the program is restarted on) and
    registered as their homes, all through the window; name: folder."""
    names = [f"{prefix}{n}" for n in range(1, count + 1)]
    log = LogReader(app)
    start_numbered_run(app, prefix, 1, count, PASSWORD)
    assert outcomes_of(log, count, "the accounts") == [(n, "成功") for n in names]
    host_machine.when_idle(app, log)

    # The home root chosen, as the chooser stores it, while the program is down.
    orvane = app.process.args[0]
    app.quit()
    set_home_root(app, HOMES)
    app.__init__(app.session, orvane, os.path.basename(app.folder), {"ORVANE_NETAPI": "host"})
    desktop.wait_until(lambda: desktop.text_of(app.edit("用户目录：")) == HOMES + "/",
                       "the stored home root")

    folders = {name: os.path.join(HOMES, name) for name in names}
    # 创建用户主文件夹 is the eighth entry, 关联主文件夹 the twelfth.
    assert run_entry_on_rows(app, names, 8) == [f"{folders[n]} 创建成功 " for n in names]
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")
    assert run_entry_on_rows(app, names, 12) == [f"{n} 已关联主文件夹 {folders[n]}"
                                                 for n in names]
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")
    return folders


@host_case
@any_password_goes
def home_folders_belong_to_their_accounts(app):
    private_home_root()
    site_skeleton()
    folders = registered_homes(app, "ho", len(NAMES))
    assert list(folders) == list(NAMES)

    for name, folder in folders.items():
        account = pwd.getpwnam(name)
        st = os.lstat(folder)
        assert (st.st_uid, st.st_gid) == (account.pw_uid, account.pw_gid), (name, st)
        # login.defs of this machine's kind leaves HOME_MODE unset.
        assert st.st_mode & 0o7777 == 0o700, (name, oct(st.st_mode))
        assert account.pw_dir == folder, account
        # The site's skeleton, not /etc/skel's, and the account's.
        for entry, text in SKELETON_FILES.items():
            path = os.path.join(folder, entry)
            assert os.lstat(path).st_uid == account.pw_uid, (name, entry)
            with open(path, encoding="utf-8") as f:
                assert f.read() == text, (name, entry)
        assert not os.path.exists(os.path.join(folder, ".bashrc")), name

        touched = as_account(name, "touch", os.path.join(folder, "x"))
        assert touched.returncode == 0, (name, touched.stderr)
        assert os.lstat(os.path.join(folder, "x")).st_uid == account.pw_uid
        logged_on = subprocess.run(["su", "-", name, "-c", "pwd"], capture_output=True,
                                   text=True, timeout=30)
        assert logged_on.stdout.strip() == folder, (name, logged_on.stdout, logged_on.stderr)

    listed = as_account("ho2", "ls", folders["ho1"])
    assert listed.returncode != 0 and "Permission denied" in listed.stderr, listed
    written = as_account("ho2", "touch", os.path.join(folders["ho1"], "y"))
    assert written.returncode != 0, "another account wrote in ho1's folder"
    # Nothing else under the root changed hands.
    assert os.lstat(HOMES).st_uid == 0 and os.lstat(SITE).st_uid == 0


if __name__ == "__main__":
    host_machine.enter()
    sys.exit(desktop.main([home_folders_belong_to_their_accounts]))
