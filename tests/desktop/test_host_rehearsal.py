"""A rehearsal (orvane-rehearse) predicts the real run and never changes the
real site, seen from outside.

The site is private to the test: a copy of /etc (host_machine.enter()), Samba
as installed with its state in the copy's scratch folder and registry shares
on, and a home root on a tmpfs of this namespace. It holds an account with
its home folder, a registry share of that folder, a usershare, and a group.

- differential: one scripted session through real X input, first in a
  rehearsal, then in the real window: the two logs (without their time
  stamps), the final account rows and what the window said on stderr are
  the same. After the rehearsal the site is as before (host_site), and the
  system log, a socket of the test's own (system_log_probe), heard nothing
  from it, while it hears useradd in the real run.
- kill_9: orvane-rehearse killed in the middle of a numbered run, while an
  account tool runs in the copy: the site is as before, and nothing of the
  copy is left, neither a process nor a mount nor a temporary file.
- two_at_once: two rehearsals started together both come up, and neither
  sees what the other made.
- home_root_chosen: a home root chosen in the rehearsal, outside the folders
  the copy was made of, takes folders in the copy as in the real run, and
  the real one stays as it was.
- copy_refused: where the copy cannot be made (Samba's accounts in a
  directory server), a box says so with the reason, and closing it ends
  the rehearsal with status 1; the site is as before.

Root, a display and Samba's file server are needed; without them it is
skipped (77).
"""
# uses-programs: groupadd useradd chpasswd smbpasswd net mkdir chown

import os
import re
import signal
import subprocess
import sys
import time

import desktop
import host_machine
import host_site
from host_machine import LogReader, host_case, start_numbered_run
import rehearsal_copy
from rehearsal_copy import Copy, RehearsalApp, apart, processes_in, rehearse_program
from system_log_probe import SystemLogProbe
from test_dialogs import dialog, dialog_closed
from test_home_root import run_entry, set_home_root
from test_host_accounts import PASSWORD, any_password_goes, outcomes_of
from test_host_home_folders import HOMES, SITE, private_home_root
from test_host_home_share import registry_shares

# The site before any session: an account with its folder, shared; a
# usershare of another folder; a group of the site's own; and a folder beside
# the home root, outside what a copy is made of.
EXISTING, TEAM, PUBLIC = "rh2", "rhteam", "pub"
ELSEWHERE = os.path.join(SITE, "elsewhere")


def make_site():
    with open("/etc/samba/smb.conf") as conf:
        text = conf.read()
    with open("/etc/samba/smb.conf", "w") as conf:
        conf.write(registry_shares(text))
    private_home_root()
    folder = os.path.join(HOMES, EXISTING)
    for argv, given in (
            (["groupadd", TEAM], None),
            (["useradd", "-M", "-d", folder, "-c", "here before", EXISTING], None),
            (["chpasswd"], f"{EXISTING}:{PASSWORD}\n"),
            (["smbpasswd", "-a", "-s", EXISTING], f"{PASSWORD}\n{PASSWORD}\n"),
            (["mkdir", "-m", "0700", folder], None),
            (["chown", f"{EXISTING}:{EXISTING}", folder], None),
            (["net", "conf", "addshare", EXISTING, folder, "writeable=y", "guest_ok=n",
              f"{EXISTING} here before"], None),
            (["mkdir", "-m", "0755", os.path.join(HOMES, PUBLIC), ELSEWHERE], None),
            (["net", "usershare", "add", PUBLIC, os.path.join(HOMES, PUBLIC), "public",
              "S-1-1-0:R", "guest_ok=n"], None)):
        subprocess.run(argv, input=given, text=True, check=True, timeout=60,
                       stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write("kept\n")
    owner = os.stat(folder)
    os.chown(os.path.join(folder, "notes.txt"), owner.st_uid, owner.st_gid)


def on_the_site(app):
    """The case's program (real, on the site) quit, and the home root set;
    the site as it is then, its machine folder and home root included."""
    app.quit()
    set_home_root(app, HOMES)
    return host_site.Site([SITE, os.path.join(app.folder, "machine")])


def real_again(app):
    """The case's program on the site again (the harness expects it running)."""
    app.__init__(app.session, app.process.args[0], os.path.basename(app.folder))


def assert_same_site(before, app, when):
    after = host_site.Site([SITE, os.path.join(app.folder, "machine")])
    changed = before.difference(after)
    assert not changed, f"{when}, the site changed:\n" + "\n".join(
        f"  {name}: {host_site.change(before.parts[name], after.parts[name])}"
        for name in changed)


# The scripted session.

def table(app):
    """An account table with a name useradd refuses."""
    return rehearsal_copy.session_table(app, '"rt 2"', "users", "rhnone", PASSWORD)


def scripted_session(app):
    return rehearsal_copy.scripted_session(app, "rh", EXISTING, table(app), 6, TEAM, "users",
                                           PASSWORD)


def from_useradd(messages):
    return [text for _, text in messages
            if re.search(r"useradd\[\d+\]: new user: name=rh1,", text)]


@host_case
@any_password_goes
def differential(app):
    before = on_the_site(app)
    assert before.holds("net conf list", f"[{EXISTING}]"), before.parts["net conf list"]
    assert before.holds("net usershare info", f"[{PUBLIC}]"), before.parts["net usershare info"]
    probe = SystemLogProbe(host_machine.private_scratch())
    assert not probe.messages()

    started = time.monotonic()
    rehearsal = RehearsalApp(app, "rehearsal")
    copy = Copy(rehearsal)
    rehearsed = scripted_session(rehearsal)
    rehearsal.quit()
    copy.wait_gone()
    heard = probe.messages()
    print(f"  the rehearsal: {time.monotonic() - started:.1f} s", flush=True)
    assert not heard, f"the system log heard the rehearsal: {heard}"
    assert_same_site(before, app, "after the rehearsal")

    started = time.monotonic()
    real_again(app)
    real = scripted_session(app)
    print(f"  the real run: {time.monotonic() - started:.1f} s", flush=True)
    # The probe hears what the real run's tools log.
    assert from_useradd(probe.messages()), "the system log heard no useradd in the real run"

    for what, (said, done) in (("log", (rehearsed[0], real[0])),
                               ("account rows", (rehearsed[1], real[1])),
                               ("window's words on stderr", (rehearsal.output().splitlines(),
                                                             app.output().splitlines()))):
        assert said == done, f"the {what} differ:\n" + "\n".join(
            f"  {a!r}\n  {b!r}" for a, b in zip(said, done) if a != b) + (
            f"\n  lengths {len(said)} and {len(done)}" if len(said) != len(done) else "")
    # The session did what it was written for, in both.
    lines, rows = real
    assert "添加用户 rh2 失败" in lines and "添加rt3 到 rhnone 组 失败" in lines, lines
    assert f"{HOMES}/rh2 已经存在 " in lines and "删除用户 rh4 成功" in lines, lines
    listed = {row[0]: row for row in rows}
    assert listed["rh1"][3] == f"rh1 | {HOMES}/rh1" and "rh4" not in listed, listed
    assert TEAM in listed["rh3"][4] and "users" not in listed["rh3"][4], listed["rh3"]


def leftover_files(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


@host_case
@any_password_goes
def kill_9(app):
    before = on_the_site(app)
    tmp = os.path.join(app.session.tmp, "rehearsal-tmp")
    os.mkdir(tmp, 0o700)
    # Temporary files are the one place where a rehearsal writes to the
    # machine: nothing may be left there.
    rehearsal = RehearsalApp(app, "rehearsal", env={"TMPDIR": tmp})
    copy = Copy(rehearsal)
    log = LogReader(rehearsal)
    start_numbered_run(rehearsal, "rk", 1, 500, PASSWORD)
    made = outcomes_of(log, 5, "five accounts made in the copy", timeout=60)
    assert made == [(f"rk{n}", "成功") for n in range(1, 6)], made
    # While one of the account tools runs in the copy, when it can be seen.
    window, tools = rehearsal.window_pid(), ("useradd", "chpasswd", "usermod")
    end = time.monotonic() + 10
    while time.monotonic() < end and not any(
            host_machine.command_name(p) in tools for p in host_machine.children(window)):
        pass
    in_copy = processes_in("pid", copy.pids)
    os.kill(rehearsal.process.pid, signal.SIGKILL)
    rehearsal.process.wait(10)
    copy.wait_gone()
    print(f"  killed with {len(log.lines)} lines read and {len(in_copy)} processes in the "
          f"copy: {', '.join(p.split()[1] for p in in_copy)}", flush=True)
    assert not leftover_files(tmp), f"left in the rehearsal's TMPDIR: {leftover_files(tmp)}"
    assert_same_site(before, app, "after a kill -9 of the rehearsal")
    real_again(app)


@host_case
def two_at_once(app):
    before = on_the_site(app)
    first = RehearsalApp(app, "first", attach=False)
    second = RehearsalApp(app, "second", attach=False)
    for rehearsal in (first, second):
        rehearsal.attach()
    copies = [Copy(first), Copy(second)]
    assert copies[0].pids != copies[1].pids and copies[0].mnt != copies[1].mnt
    apart(first, second, PASSWORD)
    for rehearsal, copy in zip((first, second), copies):
        rehearsal.quit()
        copy.wait_gone()
    assert_same_site(before, app, "after two rehearsals")
    real_again(app)


def choose_home_root(app, path):
    """The home root chosen in the folder chooser: each folder of the path
    opened with the keyboard, the last one taken."""
    app.click(app.button("...", beside="用户目录："))
    chooser = dialog(app)
    tree = desktop.find(chooser, "tree", what="the folder tree")
    names = path.strip("/").split("/")
    for depth, name in enumerate(names):
        cell = desktop.wait_until(
            lambda: next((c for c in (tree.queryTable().getAccessibleAt(r, 0)
                                      for r in range(tree.queryTable().nRows))
                          if c.name == name), None), f"{name!r} in the folder tree")
        app.click(cell)
        if depth < len(names) - 1:
            app.key("Right")
    ok = desktop.find(chooser, "push button", "确定")
    desktop.wait_until(lambda: ok.getState().contains(app.pyatspi.STATE_ENABLED), "OK enabled")
    app.click(ok)
    dialog_closed(app)
    desktop.wait_until(lambda: desktop.text_of(app.edit("用户目录：")) == path, f"{path} chosen")


@host_case
@any_password_goes
def home_root_chosen(app):
    """A home root chosen in the rehearsal, outside the folders the copy was
    made of (and on a file system in memory, which the copy leaves
    writable): its folders are made in the copy as in the real run."""
    before = on_the_site(app)

    def session(window):
        choose_home_root(window, ELSEWHERE)
        return run_entry(window, EXISTING, 8)

    rehearsal = RehearsalApp(app, "rehearsal")
    copy = Copy(rehearsal)
    rehearsed = session(rehearsal)
    rehearsal.quit()
    copy.wait_gone()
    assert_same_site(before, app, "after a home root was chosen in the rehearsal")
    real_again(app)
    assert rehearsed == session(app) == [f"{ELSEWHERE}/{EXISTING} 创建成功 "], rehearsed
    assert os.path.isdir(os.path.join(ELSEWHERE, EXISTING))


@host_case
def copy_refused(app):
    """A site whose copy cannot be made (Samba's accounts in a directory
    server): the rehearsal says so in a box of its own, with the reason, and
    ends with status 1 once it is closed; the site is as before."""
    before = on_the_site(app)
    with open("/etc/samba/smb.conf") as f:
        conf = f.read()
    try:
        with open("/etc/samba/smb.conf", "w") as f:
            f.write(conf.replace("[global]", "[global]\n\tpassdb backend = ldapsam:ldap://127.0.0.9",
                                 1))
        rehearsal = RehearsalApp(app, "refused", attach=False)
        own = desktop.wait_until(lambda: next(
            (a for a in (rehearsal.pyatspi.Registry.getDesktop(0).getChildAtIndex(i)
                         for i in range(rehearsal.pyatspi.Registry.getDesktop(0).childCount))
             if a is not None and a.get_process_id() == rehearsal.process.pid), None),
            "orvane-rehearse on the accessibility bus")
        box = desktop.find(own, "alert", "Orvane (演练)", what="the box")
        desktop.find(box, "label", "无法制作演练副本。真实站点没有任何改动。")
        assert desktop.find_all(box, "label", re.compile(".*ldapsam:ldap://127.0.0.9")), \
            "the box does not say why"
        rehearsal.click(desktop.find(box, "push button", "确定"))
        assert rehearsal.process.wait(10) == 1
    finally:
        with open("/etc/samba/smb.conf", "w") as f:
            f.write(conf)
    assert_same_site(before, app, "after a copy that could not be made")
    real_again(app)


CASES = [differential, kill_9, two_at_once, home_root_chosen, copy_refused]


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in [c.__name__ for c in CASES]:
        print(f"usage: {sys.argv[0]} PATH-TO-ORVANE {{{','.join(c.__name__ for c in CASES)}}}",
              file=sys.stderr)
        sys.exit(2)
    host_machine.enter()
    if not host_machine.samba_installed():
        print("SKIP: Samba's file server (samba) is not installed", flush=True)
        sys.exit(desktop.SKIP)
    if not os.access(rehearse_program(sys.argv[1]), os.X_OK):
        print(f"{sys.argv[0]}: orvane-rehearse is not beside {sys.argv[1]}", file=sys.stderr)
        sys.exit(2)
    make_site()
    sys.exit(desktop.main(CASES))
