"""A home folder shared through the real window on the host backend is a real
share of this machine's Samba: two accounts made with a password, their home
folders made and registered, one of them shared with "设置共享"; then, from
outside with Samba's own client against a smbd of the test's own, the share
is listed, its owner writes into the folder as itself, the other account is
kept out, and all of it holds after smbd restarts. The window's share column
shows the share after the command's refill.

Runs as root over a private copy of /etc (host_machine.enter()), then beside
tests/support/with-host-smbd (network, mount and PID namespaces of their own,
loopback only). The home root is a tmpfs over /srv mounted before smbd
starts, so that the server sees the folders the program makes. Without root,
a display or Samba's file server and client it is skipped (77).
"""
# uses-programs: smbclient (and tests/support/with-host-smbd, with-host-smbd restart)

import os
import pwd
import re
import shutil
import subprocess
import sys

import desktop
import host_machine
from host_machine import host_case
from test_host_accounts import PASSWORD, any_password_goes
from test_host_home_folders import private_home_root, registered_homes, select_rows

WITH_HOST_SMBD = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support",
                              "with-host-smbd")
OWNER, OTHER = "hs1", "hs2"


class Client:
    """Samba's client signing on as one account over loopback; the password
    in an authentication file, as a command line is anyone's to read."""

    def __init__(self, folder, account):
        self.account = account
        self.auth = os.path.join(folder, f"{account}.auth")
        with open(os.open(self.auth, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
            f.write(f"username = {account}\npassword = {PASSWORD}\n")

    def run(self, *argv):
        result = subprocess.run(["smbclient", *argv, "-A", self.auth], capture_output=True,
                                text=True, timeout=60)
        return result.returncode, result.stdout + result.stderr

    def shares(self):
        """The disk shares the server lists to this account."""
        code, said = self.run("-L", "//127.0.0.1", "-g")
        assert code == 0, f"smbclient -L as {self.account}: {said}"
        # -g: "Disk|name|comment", one a line.
        names = [line.split("|")[1] for line in said.splitlines() if line.startswith("Disk|")]
        return names, said

    def on_share(self, share, commands):
        return self.run(f"//127.0.0.1/{share}", "-c", commands)


def share_rows(app, names):
    """Selects the rows with the pointer and takes "设置共享", the tenth entry of
    the context menu; it writes no line, and ends by refilling the list."""
    rows = select_rows(app, names)
    app.click(app.cell(app.accounts, rows[-1]), button=3)
    app.key(*["Down"] * 10, "Return")
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")


def share_column(app):
    """Account name: the share column's text, as a screen reader reads it."""
    return {row[0]: row[3] for row in app.rows(app.accounts)}


def restart_smbd():
    subprocess.run([WITH_HOST_SMBD, "restart"], check=True, timeout=90)


def shared_home_folder_is_its_owners_alone(app):
    folders = registered_homes(app, "hs", 2)
    folder = folders[OWNER]
    assert share_column(app)[OWNER] == "未共享", share_column(app)

    share_rows(app, [OWNER])
    # The share is named after the folder; the column names it and the folder.
    columns = desktop.wait_until(
        lambda: (lambda c: c if c[OWNER] != "未共享" else None)(share_column(app)),
        "the share in the share column")
    assert columns[OWNER] == f"{OWNER} | {folder}", columns
    assert columns[OTHER] == "未共享", columns

    owner = Client(app.session.tmp, OWNER)
    other = Client(app.session.tmp, OTHER)
    note = os.path.join(app.session.tmp, "note.txt")
    with open(note, "w") as f:
        f.write("from the owner\n")
    uid = pwd.getpwnam(OWNER).pw_uid

    def owner_writes(as_name):
        code, said = owner.on_share(OWNER, f"put {note} {as_name}")
        assert code == 0, said
        written = os.lstat(os.path.join(folder, as_name))
        assert written.st_uid == uid, (as_name, written)
        with open(os.path.join(folder, as_name)) as f:
            assert f.read() == "from the owner\n"

    listed, said = owner.shares()
    assert OWNER in listed, said
    owner_writes("x")
    # Anyone signed on may see the list; only the folder's mode keeps the
    # other account out of it.
    assert OWNER in other.shares()[0]
    before = sorted(os.listdir(folder))
    for commands in ("get x -", f"put {note} y", "ls"):
        code, said = other.on_share(OWNER, commands)
        assert code != 0 and "NT_STATUS_ACCESS_DENIED" in said, (commands, said)
        assert "from the owner" not in said, said
    assert sorted(os.listdir(folder)) == before

    restart_smbd()
    owner_writes("after-restart")
    code, said = other.on_share(OWNER, "get x -")
    assert code != 0 and "NT_STATUS_ACCESS_DENIED" in said, said


@host_case
@any_password_goes
def shared_as_a_registry_share(app):
    shared_home_folder_is_its_owners_alone(app)


@host_case
@any_password_goes
def refused_as_installed(app):
    """Debian's smb.conf as installed: usershares, which Samba never names
    after an account, and [homes], which gives each account its own home
    folder under its name, read only. The share is refused, the column
    stays as it was, and the program says on stderr what the site changes;
    the account's automatic home service is indeed read only."""
    folders = registered_homes(app, "hs", 2)
    share_rows(app, [OWNER])
    columns = share_column(app)
    assert columns[OWNER] == "未共享", columns
    said = desktop.wait_until(
        lambda: (lambda o: o if "registry shares = yes" in o else None)(app.output()),
        "the advice on stderr")
    assert f"sharing {OWNER}:" in said and "read only = no" in said, said
    note = os.path.join(app.session.tmp, "note.txt")
    with open(note, "w") as f:
        f.write("from the owner\n")
    code, said = Client(app.session.tmp, OWNER).on_share(OWNER, f"put {note} x")
    assert code != 0 and "NT_STATUS_" in said, said
    assert not os.path.exists(os.path.join(folders[OWNER], "x"))


CASES = [shared_as_a_registry_share, refused_as_installed]


def without_homes(text):
    """Samba's configuration without its [homes] section: smbd serves a
    user's automatic home service under the user's name ahead of a registry
    share of that name (read-only, as Debian's [homes] is), so a site that
    shares home folders under their accounts' names serves no [homes]."""
    kept, skipping = [], False
    for line in text.splitlines(keepends=True):
        header = re.match(r"\s*\[([^]]*)\]", line)
        if header:
            skipping = header.group(1).strip().lower() == "homes"
        if not skipping:
            kept.append(line)
    return "".join(kept)


def registry_shares(text):
    # A second [global] section adds to the first.
    return without_homes(text) + "\n[global]\nregistry shares = yes\n"


# Where the site keeps new shares, as Samba's configuration says; the other
# case runs on Samba's configuration as installed.
SETTINGS = {"shared_as_a_registry_share": registry_shares}


def samba_missing():
    for program in ("smbd", "smbclient"):
        if not shutil.which(program, path=os.environ.get("PATH", "") + ":/usr/sbin"):
            return f"{program} is not installed (scripts/deps --test installs it)"
    if not host_machine.samba_installed():
        return "Samba is not installed (scripts/deps --test installs it)"
    return None


if __name__ == "__main__":
    # One case a run: each sets Samba up its own way, on a copy of its own.
    if len(sys.argv) != 3 or sys.argv[2] not in [c.__name__ for c in CASES]:
        print(f"usage: {sys.argv[0]} PATH-TO-ORVANE {{{','.join(c.__name__ for c in CASES)}}}",
              file=sys.stderr)
        sys.exit(2)
    host_machine.enter()
    if not os.environ.get("ORVANE_TEST_HOST_SMBD"):
        why = samba_missing()
        if why:
            print(f"SKIP: {why}", flush=True)
            sys.exit(desktop.SKIP)
        # Written and mounted here, before with-host-smbd copies this
        # namespace for smbd; the private copy of /etc goes with the run.
        if sys.argv[2] in SETTINGS:
            with open("/etc/samba/smb.conf") as conf:
                text = conf.read()
            with open("/etc/samba/smb.conf", "w") as conf:
                conf.write(SETTINGS[sys.argv[2]](text))
        private_home_root()
        os.execv(WITH_HOST_SMBD, [WITH_HOST_SMBD, sys.executable, *sys.argv])
    sys.exit(desktop.main(CASES))
