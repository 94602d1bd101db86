"""The account list on a domain controller the size of a school's: the real
program on the samba backend, its rows read back as a screen reader reads
them and checked against the server's own account list, then a numbered run
clicked and the list refilled. scripts/test-samba runs this against a DC of
its own, filled by scripts/samba/populate (ui_samba_domain_tests fills it
when it runs first; this fills it too)."""
# uses-programs: samba-tool
import os
import subprocess
import sys

import desktop
from samba_server import server

ACCOUNTS = 1000


def server_accounts():
    return set(server("samba-tool", "user", "list", "-s",
                      os.environ["ORVANE_TEST_SAMBA_CONF"]).split())


def shown(app):
    table = app.accounts.queryTable()
    return [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]


def on_the_domain():
    return {"ORVANE_NETAPI": "samba", "USER": os.environ["ORVANE_TEST_SAMBA_USER"],
            "PASSWD": os.environ["ORVANE_TEST_SAMBA_PASSWORD"]}


def the_list_is_the_domains_and_follows_a_numbered_run(app):
    expected = server_accounts()
    assert len(expected) > ACCOUNTS, len(expected)
    desktop.wait_until(lambda: app.accounts.queryTable().nRows == len(expected),
                       f"all {len(expected)} accounts listed")
    names = shown(app)
    assert len(names) == len(set(names)), "an account listed twice"
    assert set(names) == expected, (sorted(set(names) ^ expected))[:20]

    try:
        for name, value in (("前缀：", "dlist"), ("递增：", "1"), ("递增：~", "3")):
            app.edit(name).queryEditableText().setTextContents(value)
        app.click(app.button("创建用户帐号"))
        made = {f"dlist{n}" for n in (1, 2, 3)}
        desktop.wait_until(lambda: made <= set(shown(app)), "the new accounts listed")
        expected = server_accounts()
        desktop.wait_until(lambda: app.accounts.queryTable().nRows == len(expected),
                           "the list refilled once")
        assert set(shown(app)) == expected
        names = shown(app)
        table = app.accounts.queryTable()
        for name in made:
            row = [table.getAccessibleAt(names.index(name), c).name for c in range(5)]
            assert "Users" in row[4], row
    finally:
        for n in (1, 2, 3):
            subprocess.run([os.environ["ORVANE_TEST_SAMBA_CONTROL"], "exec",
                            os.environ["ORVANE_TEST_SAMBA_DIR"], "--", "samba-tool", "user",
                            "delete", f"dlist{n}", "-s", os.environ["ORVANE_TEST_SAMBA_CONF"]],
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


the_list_is_the_domains_and_follows_a_numbered_run.env = on_the_domain


if __name__ == "__main__":
    if os.environ.get("ORVANE_TEST_SAMBA") != "dc":
        print("SKIP no domain controller here: scripts/test-samba runs this against one")
        sys.exit(desktop.SKIP)
    populate = os.path.join(os.path.dirname(os.environ["ORVANE_TEST_SAMBA_CONTROL"]), "populate")
    server(populate, "--prefix", "dom", "--total", str(ACCOUNTS), "--fixture")
    sys.exit(desktop.main([the_list_is_the_domains_and_follows_a_numbered_run]))
