"""The folder chooser and Qt's own file dialog, opened from the window."""
import re
import sys

import desktop


def windows(app):
    """The program's windows on screen; a hidden dialog stays among its children."""
    showing = app.pyatspi.STATE_SHOWING
    return [w for w in (app.app.getChildAtIndex(i) for i in range(app.app.childCount))
            if w is not None and w.getState().contains(showing)]


def dialog(app, name=None):
    """The program's one dialog (with this title), once it is on screen."""
    def shown():
        hits = [w for w in windows(app) if w.getRoleName() == "dialog"
                and (name is None or w.name == name)]
        return hits[0] if len(hits) == 1 and desktop.extents(hits[0])[2] > 0 else None
    return desktop.wait_until(shown, f"the dialog {name!r}" if name else "a dialog")


def dialog_closed(app, name=None):
    desktop.wait_until(lambda: not any(
        w.getRoleName() == "dialog" and (name is None or w.name == name) for w in windows(app)),
        f"the dialog {name!r} closed" if name else "the dialog closed")


def choose_folder(app, name):
    app.click(app.button("...", beside="用户目录："))
    chooser = dialog(app)
    tree = desktop.find(chooser, "tree", what="the folder tree")
    cell = desktop.wait_until(
        lambda: next((c for c in (tree.queryTable().getAccessibleAt(r, 0)
                                  for r in range(tree.queryTable().nRows)) if c.name == name),
                     None), f"{name!r} in the folder tree")
    app.click(cell)
    ok = desktop.find(chooser, "push button", "确定")
    desktop.wait_until(lambda: ok.getState().contains(app.pyatspi.STATE_ENABLED), "OK enabled")
    app.click(ok)
    dialog_closed(app)


def folder_chooser_chooses_the_root(app):
    home = app.edit("用户目录：")
    # Another folder first: a fresh machine's home root already reads "/".
    choose_folder(app, "etc")
    desktop.wait_until(lambda: desktop.text_of(home) == "/etc", "/etc as the home root")
    # The top of the file system is an item of its own, above its folders.
    choose_folder(app, "/")
    desktop.wait_until(lambda: desktop.text_of(home) == "/", "/ as the home root")


def file_dialog_speaks_chinese(app):
    app.click(app.button("...", beside="指定.csv文件（需规范格式）"))
    title = "指定要导入的域帐号信息表文件"
    files = dialog(app, title)
    names = desktop.wait_until(
        lambda: (lambda n: n if "取消" in n else None)(
            # A mnemonic shows as "(O)" after the text.
            {re.sub(r"\([A-Z]\)$", "", b.name)
             for b in desktop.find_all(files, "push button", showing=True)}),
        "the file dialog's buttons")
    assert {"打开", "取消"} <= names, sorted(names)
    # Escape goes to the window under the pointer: no window manager here.
    app.move_to(files)
    app.key("Escape")
    dialog_closed(app, title)
    # The preview of the (empty) table follows, as after any choice.
    preview = dialog(app, "待导入用户数据预览")
    app.move_to(preview)
    app.key("Escape")
    dialog_closed(app)


if __name__ == "__main__":
    sys.exit(desktop.main([folder_chooser_chooses_the_root, file_dialog_speaks_chinese]))
