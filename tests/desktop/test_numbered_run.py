"""A numbered run, heard through the execution log as a screen reader hears it."""
import re
import sys

import desktop


def numbered_run_lines_are_read_and_announced(app):
    heard = []
    indexes = []

    def on_children_changed(event):
        if event.source == app.log and event.type.minor == "add":
            heard.append(event.any_data.name if event.any_data else None)
            indexes.append(event.detail1)

    app.pyatspi.Registry.registerEventListener(on_children_changed,
                                               "object:children-changed:add")
    try:
        # A call to the program after the registration reaches it only after
        # the registry has told it someone listens.
        before = app.log.childCount
        for name, value in (("前缀：", "dt"), ("递增：", "1"), ("递增：~", "3")):
            app.edit(name).queryEditableText().setTextContents(value)
        app.click(app.button("创建用户帐号"))

        expected = [f"添加用户 dt{n} 成功" for n in (1, 2, 3)]
        lines = desktop.wait_until(lambda: (lambda l: l if len(l) >= before + 3 else None)(
            app.log_lines()), "three new log lines")
        new = lines[before:]
        assert len(new) == 3, new
        for line, text in zip(new, expected):
            assert re.fullmatch(r"【\d[^】]*\d】 " + re.escape(text), line), (line, text)

        # Each line was announced as it came, as a new item of the list.
        desktop.wait_until(lambda: len(heard) >= 3, "three announcements")
        assert heard == new, (heard, new)
        # At the item's index in the list; Qt 6.4's bridge sends the list's
        # new child count there instead (later Qt sends the index).
        at = [before, before + 1, before + 2]
        assert indexes in (at, [i + 1 for i in at]), (indexes, before)
    finally:
        app.pyatspi.Registry.deregisterEventListener(on_children_changed,
                                                     "object:children-changed:add")

    # The new accounts are listed, each in Users.
    def listed():
        rows = {row[0]: row for row in app.rows(app.accounts)}
        return all(f"dt{n}" in rows for n in (1, 2, 3)) and rows
    rows = desktop.wait_until(listed, "dt1..dt3 in the account list")
    for n in (1, 2, 3):
        assert "Users" in rows[f"dt{n}"][4], rows[f"dt{n}"]


if __name__ == "__main__":
    sys.exit(desktop.main([numbered_run_lines_are_read_and_announced]))
