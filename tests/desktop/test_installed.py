"""The program as a site starts it, the installed one included: its window with
both lists filled, and, for root, the help page without a browser engine."""
import os
import sys

import desktop


def window_shows_both_lists(app):
    groups = [row[0] for row in app.rows(app.groups)]
    for group in ("Administrators", "Users", "Guests"):
        assert group in groups, (group, groups)
    accounts = [row[0] for row in app.rows(app.accounts)]
    assert {"Administrator", "Guest"} <= set(accounts), accounts


def help_page_as_root_runs_no_browser_engine(app):
    """As root the support page is a plain text view; QtWebEngine never starts."""
    if os.geteuid() != 0:
        print("  (not root: the help page's engine is QtWebEngine with its sandbox)")
        return
    tab = desktop.find(app.window, "page tab", "使用帮助(H)", what="the help tab")
    app.click(tab)
    # A read-only text view, which AT-SPI shows as a label.
    desktop.find(app.window, "label", "支持页面", showing=True, what="the support page's text view")
    # Whatever the network answers, no engine process is started for it.
    desktop.pump()
    engines = [cmd for pid, cmd in descendants(app.process.pid) if "QtWebEngine" in cmd]
    assert not engines, f"QtWebEngine processes started as root: {engines}"


def descendants(top):
    """The process's descendants, as (pid, command line), from every thread."""
    parents, commands = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                # The command may hold spaces and brackets: the parent is after the last ")".
                parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                commands[int(entry)] = f.read().replace(b"\0", b" ").decode(errors="replace")
        except (OSError, IndexError, ValueError):
            continue
    found = []
    for pid in parents:
        p = pid
        while p in parents and p not in (top, 0, 1):
            p = parents[p]
        if p == top and pid != top:
            found.append((pid, commands.get(pid, "")))
    return found


if __name__ == "__main__":
    sys.exit(desktop.main([window_shows_both_lists, help_page_as_root_runs_no_browser_engine]))
