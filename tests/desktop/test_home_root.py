"""A home folder made through the window, then its root swapped for a link by
the user who owns the folder above it: the real program, run as root, deletes
nothing at the link's target."""
import os
import sqlite3
import sys

import desktop
from test_account_list import make_accounts

USER = 4242  # an ordinary user who owns the folder above the home root


def set_home_root(app, root):
    """Stores the home root as the chooser would, while the program is down."""
    db = sqlite3.connect(os.path.join(app.folder, "machine", "machine.db"))
    with db:
        for key in ("SOFTWARE", "SOFTWARE\\ROrirAridEzo"):
            db.execute("INSERT OR IGNORE INTO registry_keys (path) VALUES (?)", (key,))
        db.execute("INSERT OR REPLACE INTO registry_values (key, name, type, data) "
                   "VALUES (?, ?, 1, ?)",
                   ("SOFTWARE\\ROrirAridEzo", "MHomePath", (root + "\0").encode("utf-16-le")))
    db.close()


def run_entry(app, name, downs):
    """Right-clicks the account's row, which selects it, and takes the entry
    that many steps down the menu."""
    row = app.row_of(app.accounts, name)
    app.click(app.cell(app.accounts, row), button=3)
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == [row], f"{name} selected")
    lines = len(app.log_lines())
    app.key(*["Down"] * downs, "Return")
    return desktop.wait_until(
        lambda: (lambda l: [x.split("】 ", 1)[1] for x in l[lines:]] if len(l) > lines else None)(
            app.log_lines()), "the command's log line")


def a_root_swapped_for_a_link_leads_no_deletion_elsewhere(app):
    if os.geteuid() != 0:
        raise desktop.Skipped("the program runs as root here")
    make_accounts(app, "hr", 1)
    site = os.path.join(app.folder, "site")
    homes = os.path.join(site, "homes")
    elsewhere = os.path.join(app.folder, "elsewhere")
    os.makedirs(homes, 0o755)
    os.makedirs(os.path.join(elsewhere, "hr1"), 0o755)
    with open(os.path.join(elsewhere, "hr1", "precious"), "w") as f:
        f.write("x")
    # Started again on the same machine, with the root stored.
    orvane = app.process.args[0]
    app.quit()
    set_home_root(app, homes)
    app.__init__(app.session, orvane, os.path.basename(app.folder))
    desktop.wait_until(lambda: desktop.text_of(app.edit("用户目录：")) == homes + "/",
                       "the stored home root")
    # 创建用户主文件夹 is the eighth entry, 删除用户主文件夹 the ninth.
    assert run_entry(app, "hr1", 8) == [homes + "/hr1 创建成功 "], app.log_lines()
    desktop.wait_until(lambda: not app.selected_rows(app.accounts), "the list refilled")

    os.chown(site, USER, USER)
    os.rename(homes, homes + ".away")
    os.symlink(elsewhere, homes)
    assert run_entry(app, "hr1", 9) == [homes + "/hr1删除失败"], app.log_lines()
    assert os.path.exists(os.path.join(elsewhere, "hr1", "precious"))
    assert os.path.isdir(os.path.join(homes + ".away", "hr1"))


if __name__ == "__main__":
    sys.exit(desktop.main([a_root_swapped_for_a_link_leads_no_deletion_elsewhere]))
