"""Root working for a user who asked through pkexec (PKEXEC_UID): "查看用户主文件夹"
starts the file browser as that user, with the user's groups, in a fresh
environment and without root's descriptors. Root only (skipped otherwise)."""
# uses-programs: sh id env ls mv
import os
import pwd
import sqlite3
import subprocess
import sys
import tempfile

import desktop

# Stands in for the file browser: writes who it runs as, its environment and
# the descriptors it was started with (as ls inherits them: the shell's own
# are close-on-exec), each file complete once it has its final name.
RECORDER = r"""#!/bin/sh
out='{out}'
{{ id -u; id -g; id -G; pwd; printf '%s\n' "$1"; }} >"$out/who.new"
env >"$out/env.new"
ls -l /proc/self/fd/ >"$out/fds.new"
mv "$out/env.new" "$out/env"
mv "$out/fds.new" "$out/fds"
mv "$out/who.new" "$out/who"
"""

# What the user's program may get: the user's own account, the display the
# user gave, the locale, and what the shell adds itself.
ALLOWED = {"HOME", "USER", "LOGNAME", "SHELL", "PATH", "DISPLAY", "XAUTHORITY", "LANG",
           "LANGUAGE", "TERM", "COLORTERM", "XDG_RUNTIME_DIR", "PWD", "OLDPWD", "SHLVL", "_"}

_recorded = {}


def _as_nobody():
    user = pwd.getpwnam("nobody")
    # The session's folder (TMPDIR), which the user must be able to pass.
    session = os.environ["TMPDIR"]
    os.chmod(session, 0o711)
    folder = tempfile.mkdtemp(dir=session)
    os.chmod(folder, 0o755)
    out = os.path.join(folder, "record")
    os.mkdir(out)
    os.chown(out, user.pw_uid, user.pw_gid)
    script = os.path.join(folder, "browser")
    with open(script, "w") as f:
        f.write(RECORDER.format(out=out))
    os.chmod(script, 0o755)
    root = os.path.join(folder, "homes")
    os.mkdir(root)
    _recorded.update(out=out, user=user, root=root)
    return {"PKEXEC_UID": str(user.pw_uid), "ORVANE_FILE_BROWSER": script,
            "ORVANE_MACHINE": _machine_with_home_root(folder, root),
            "ORVANE_TEST_SECRET": "root's"}


def _read(name):
    with open(os.path.join(_recorded["out"], name)) as f:
        return f.read().splitlines()


def _machine_with_home_root(folder, root):
    """A machine the program made, with its home root set as the program
    stores it: the program reads it when it starts, and the command then
    opens that root (a stray entry of the menu changes nothing outside)."""
    machine = os.path.join(folder, "machine")
    made = subprocess.Popen([os.path.abspath(sys.argv[1])], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                            env=dict(os.environ, QT_QPA_PLATFORM="offscreen",
                                     ORVANE_MACHINE=machine))
    query = "SELECT count(*) FROM registry_keys WHERE path = 'SOFTWARE\\ROrirAridEzo'"

    def key_made():
        if made.poll() is not None:
            raise SystemExit(f"the program ended with status {made.returncode}")
        if not os.path.exists(os.path.join(machine, "machine.db")):
            return False
        db = sqlite3.connect(os.path.join(machine, "machine.db"))
        try:
            return db.execute(query).fetchone()[0] == 1
        except sqlite3.Error:
            return False
        finally:
            db.close()

    try:
        desktop.wait_until(key_made, "the program's registry key")
    finally:
        made.terminate()
        made.wait()
    db = sqlite3.connect(os.path.join(machine, "machine.db"))
    with db:
        db.execute("INSERT INTO registry_values (key, name, type, data) "
                   "VALUES ('SOFTWARE\\ROrirAridEzo', 'MHomePath', 1, ?)",
                   ((root + "\0").encode("utf-16-le"),))
    db.close()
    return machine


def viewing_starts_the_browser_as_the_asking_user(app):
    _view_both(app, _recorded["user"], _recorded["root"])


def _view_both(app, user, root):
    # With two rows selected the command opens the home root.
    app.click(app.cell(app.accounts, 0), button=3)
    app.key("Down", "Return")  # 全选
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == [0, 1], "both rows selected")
    # On the other row: a second press where the first was would be a double click.
    app.click(app.cell(app.accounts, 1), button=3)
    # 全选 反选 删除指定用户 刷新 添加到组. 从组中移除 . 查看用户主文件夹
    app.key(*["Down"] * 7, "Return")
    who = desktop.wait_until(
        lambda: os.path.exists(os.path.join(_recorded["out"], "who")) and _read("who"),
        "the file browser started")
    uid, gid, groups, cwd, folder = who
    wanted = sorted(os.getgrouplist(user.pw_name, user.pw_gid))
    assert (uid, gid, sorted(map(int, groups.split()))) == (str(user.pw_uid), str(user.pw_gid),
                                                           wanted), \
        f"the browser ran as uid {uid}, gid {gid}, groups {groups}, not as {user.pw_name}"
    assert folder.rstrip("/") == root, f"the browser was given {folder}, not {root}"
    expected_cwd = user.pw_dir if os.path.isdir(user.pw_dir) else "/"
    assert cwd == expected_cwd, f"the browser started in {cwd}"

    env = dict(line.split("=", 1) for line in _read("env") if "=" in line)
    leaked = sorted(k for k in set(env) - ALLOWED if not k.startswith("LC_"))
    assert not leaked, f"root's environment reached the browser: {leaked}"
    assert env.get("HOME") == user.pw_dir and env.get("USER") == user.pw_name, env
    assert env.get("DISPLAY") == app.session.env["DISPLAY"], env
    assert env.get("XDG_RUNTIME_DIR", f"/run/user/{user.pw_uid}") == f"/run/user/{user.pw_uid}", env

    # Nothing root opened (the machine's database, the buses, the display)
    # stays open in the user's program.
    fds = {line.split(" -> ", 1)[0].split()[-1]: line.split(" -> ", 1)[1]
           for line in _read("fds") if " -> " in line}
    opened = {fd: target for fd, target in fds.items()
              if fd not in ("0", "1", "2") and not target.startswith("/proc/")}
    assert not opened, f"the browser inherited {opened}"


viewing_starts_the_browser_as_the_asking_user.env = _as_nobody


if __name__ == "__main__":
    if os.geteuid() != 0:
        print("SKIP the browser as the asking user: needs root")
        sys.exit(desktop.SKIP)
    sys.exit(desktop.main([viewing_starts_the_browser_as_the_asking_user]))
