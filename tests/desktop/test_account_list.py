"""The account list with the mouse: a Shift-drag of its rows, and its context menu."""
import sys
import time

import desktop


def make_accounts(app, prefix, count):
    """A numbered run, so the lists have more than the built-in accounts."""
    for name, value in (("前缀：", prefix), ("递增：", "1"), ("递增：~", str(count))):
        app.edit(name).queryEditableText().setTextContents(value)
    app.click(app.button("创建用户帐号"))
    desktop.wait_until(lambda: len(app.rows(app.accounts)) >= 2 + count, "the new accounts listed")
    return [row[0] for row in app.rows(app.accounts)]


def select(app, names):
    """Selects these account rows with clicks and Ctrl-clicks."""
    for i, name in enumerate(names):
        app.click(app.cell(app.accounts, app.row_of(app.accounts, name)),
                  modifier="ctrl" if i else None)
    wanted = sorted(app.row_of(app.accounts, name) for name in names)
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == wanted, f"{names} selected")


def shift_drag(app, source, target):
    """Presses on source, starts dragging, holds Shift, and lets go over target."""
    (x, y), (tx, ty) = desktop.centre(source), desktop.centre(target)
    app.move_to((x, y))
    app.xdotool("mousedown", 1)
    # Past the drag distance in small steps, as a hand moves: the drag starts.
    for step in range(1, 6):
        app.move_to((x + 4 * step, y + 4 * step))
        time.sleep(0.05)
    app.xdotool("keydown", "shift")
    for step in range(1, 9):
        app.move_to((x + 20 + (tx - x - 20) * step // 8, y + 20 + (ty - y - 20) * step // 8))
        time.sleep(0.05)
    app.xdotool("mouseup", 1)
    app.xdotool("keyup", "shift")


def barrier(app):
    """Returns once the program has handled every input sent before: a click
    on a group row, which changes what AT-SPI reads, is handled after them."""
    row = app.row_of(app.groups, "Backup Operators")
    app.click(app.cell(app.groups, row))
    desktop.wait_until(lambda: app.selected_rows(app.groups) == [row], "the barrier click")


def shift_drag_keeps_every_row_and_adds_to_the_group(app):
    names = make_accounts(app, "dd", 3)
    assert len(names) == 5, names

    # Onto the account list itself: nothing is removed.
    # The press is away from the last click, or it would be a double-click.
    select(app, ["dd1", "dd2"])
    shift_drag(app, app.cell(app.accounts, app.row_of(app.accounts, "dd1")),
               app.cell(app.accounts, app.row_of(app.accounts, "Guest"), 1))
    barrier(app)
    assert [row[0] for row in app.rows(app.accounts)] == names, app.rows(app.accounts)
    lines = len(app.log_lines())

    # Onto a group: the dragged accounts join it, one log line each, and the
    # lists keep every row.
    select(app, ["dd1", "dd3"])
    group = app.row_of(app.groups, "Power Users")
    shift_drag(app, app.cell(app.accounts, app.row_of(app.accounts, "dd1")),
               app.cell(app.groups, group))
    new = desktop.wait_until(lambda: (lambda l: l[lines:] if len(l) >= lines + 2 else None)(
        app.log_lines()), "two log lines of the drop")
    assert [line.split("】 ", 1)[1] for line in new] == [
        "添加dd1 到 Power Users 组", "添加dd3 到 Power Users 组"], new
    rows = desktop.wait_until(
        lambda: (lambda r: r if "Power Users" in r["dd1"][4] else None)(
            {row[0]: row for row in app.rows(app.accounts)}), "dd1 shown in Power Users")
    assert list(rows) == names, list(rows)
    assert "Power Users" in rows["dd3"][4] and "Power Users" not in rows["dd2"][4], rows
    assert app.row_of(app.groups, "Power Users") == group


def context_menu_walked_with_the_keyboard(app):
    names = make_accounts(app, "cm", 3)
    group = app.row_of(app.groups, "Power Users")
    app.click(app.cell(app.groups, group))

    # A right-click selects the row under it and opens the menu; the first
    # entry is 全选.
    app.click(app.cell(app.accounts, app.row_of(app.accounts, "cm2")), button=3)
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == [app.row_of(app.accounts, "cm2")],
                       "cm2 selected by the right-click")
    app.key("Down", "Return")
    desktop.wait_until(lambda: app.selected_rows(app.accounts) == list(range(len(names))),
                       "every row selected")

    # Past two separators, which the keyboard skips: 添加到组. puts every
    # selected account into the selected group.
    lines = len(app.log_lines())
    app.click(app.cell(app.accounts, app.row_of(app.accounts, "cm1")), button=3)
    app.key("Down", "Down", "Down", "Down", "Down", "Return")
    new = desktop.wait_until(lambda: (lambda l: l[lines:] if len(l) >= lines + 5 else None)(
        app.log_lines()), "a log line per account")
    assert [line.split("】 ", 1)[1] for line in new] == [
        f"添加{name} 到 Power Users 组" for name in names], new


if __name__ == "__main__":
    sys.exit(desktop.main([shift_drag_keeps_every_row_and_adds_to_the_group,
                           context_menu_walked_with_the_keyboard]))
