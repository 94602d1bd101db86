"""The four batch boxes, typed into with the keyboard as a person does."""
import sys

import desktop


def tab_moves_between_the_batch_boxes(app):
    prefix, first, last, password = (app.edit(name) for name in ("前缀：", "递增：", "递增：~", "密码："))
    app.click(prefix)
    app.key("End", *["BackSpace"] * 8)
    app.type("qa")
    app.key("Tab")
    # Tab selects the next box's text; what is typed replaces it. The letter
    # is refused: the box takes digits only.
    app.type("7x")
    app.key("Tab")
    app.type("42")
    app.key("Tab")
    app.type("Pw.9x")
    desktop.wait_until(lambda: desktop.text_of(password) == "Pw.9x", "the password typed")
    assert desktop.text_of(prefix) == "qa", desktop.text_of(prefix)
    assert desktop.text_of(first) == "7", desktop.text_of(first)
    assert desktop.text_of(last) == "42", desktop.text_of(last)
    assert password.getState().contains(app.pyatspi.STATE_FOCUSED)


def delete_select_all_and_paste_in_the_batch_boxes(app):
    prefix, last, password = (app.edit(name) for name in ("前缀：", "递增：~", "密码："))
    # Delete removes the character after the cursor, and a selection.
    app.click(last)
    app.key("Home", "Delete")
    desktop.wait_until(lambda: desktop.text_of(last) == "00", "100 less its first digit")
    app.key("ctrl+a", "Delete")
    desktop.wait_until(lambda: desktop.text_of(last) == "", "the box emptied")
    app.type("9")
    desktop.wait_until(lambda: desktop.text_of(last) == "9", "9 typed")

    # The password box takes any character: it fills the clipboard.
    app.click(password)
    app.key("ctrl+a")
    app.type("a.b-c d_9")
    desktop.wait_until(lambda: desktop.text_of(password) == "a.b-c d_9", "the password typed")
    app.key("ctrl+a", "ctrl+c")

    # Pasted over the selected prefix, less the characters a prefix refuses.
    app.click(prefix)
    app.key("ctrl+a", "ctrl+v")
    desktop.wait_until(lambda: desktop.text_of(prefix) == "ab-cd_9", "the paste kept")
    # Pasted again at the end: the box stops at its 8 characters.
    app.key("End", "ctrl+v")
    desktop.wait_until(lambda: desktop.text_of(prefix) == "ab-cd_9a", "the paste cut at 8")


if __name__ == "__main__":
    sys.exit(desktop.main([tab_moves_between_the_batch_boxes,
                           delete_select_all_and_paste_in_the_batch_boxes]))
