"""The desktop tier's harness: the real program on a display of its own, driven
with real X input (XTest, through xdotool) and read back as a screen reader
reads it (AT-SPI).

A test file lists its cases and calls main(). Everything runs in a session of
its own: a private X server, a session bus, an accessibility bus and the
program, all in one process group that a small watchdog kills on any exit, so
nothing outlives the test. Each case gets the program fresh, on a fresh
machine folder, inside one temporary folder that is removed afterwards.

Exit status: 0 all cases passed, 1 one failed, 77 the session could not be
set up (one line on stdout says why).
"""
# uses-programs: Xvfb dbus-daemon /usr/libexec/at-spi-bus-launcher xdotool

import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77

# Waits end a case that hangs; they are not speed goals. Generous, because the
# tier runs beside other tests on two cores.
WAIT = 30.0

# The watchdog ends the session before ctest's own TIMEOUT would, so ctest
# never has to kill the test and leave the session's processes behind.
DEADLINE = float(os.environ.get("ORVANE_DESKTOP_DEADLINE", "150"))

_CLEARED_ENV = (
    "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
    "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "SESSION_MANAGER",
    "ORVANE_NETAPI", "ORVANE_MACHINE", "ORVANE_SAMBA_SERVER", "ORVANE_FILE_BROWSER",
    "LOGONSERVER", "USERDOMAIN", "USERNAME", "PASSWD", "KRB5CCNAME",
    "QT_ACCESSIBILITY", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_SCALE_FACTOR",
    "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_STYLE_OVERRIDE", "GTK_MODULES",
    "LC_ALL", "LC_CTYPE", "LANGUAGE",
)


class Skipped(Exception):
    pass


def _die_with_parent():
    # PR_SET_PDEATHSIG: a child of a killed parent goes with it.
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)
    except OSError:
        pass


def _read_line(fd, timeout, what):
    data = b""
    end = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise Skipped(f"{what} did not start within {timeout:.0f} s")
        chunk = os.read(fd, 256)
        if not chunk:
            raise Skipped(f"{what} did not start")
        data += chunk
    return data.decode().strip()


# Whether the display also listens on its path socket (/tmp/.X11-unix).
X_PATH_SOCKET = False


def _free_display():
    """A display number with neither a socket nor a lock file: a server
    started without locks in another network may hold a low one."""
    return next(f":{n}" for n in range(50, 200)
                if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(
                    f"/tmp/.X{n}-lock"))


class Session:
    """A display, a session bus and an accessibility bus of the session's own."""

    def __init__(self, tmp):
        self.tmp = tmp
        self.env = {k: v for k, v in os.environ.items() if k not in _CLEARED_ENV}
        home = os.path.join(tmp, "home")
        runtime = os.path.join(tmp, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        self.env.update(
            HOME=home, XDG_RUNTIME_DIR=runtime, TMPDIR=tmp, LANG="C.UTF-8",
            XDG_CONFIG_HOME=os.path.join(home, ".config"),
            XDG_CACHE_HOME=os.path.join(home, ".cache"),
            XDG_DATA_HOME=os.path.join(home, ".local", "share"),
            XDG_STATE_HOME=os.path.join(home, ".local", "state"))
        self.processes = []

    def spawn(self, argv, **kwargs):
        if not shutil.which(argv[0], path=self.env.get("PATH")):
            raise Skipped(f"{argv[0]} is not installed (scripts/deps --test installs it)")
        kwargs.setdefault("env", self.env)
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        process = subprocess.Popen(argv, preexec_fn=_die_with_parent, **kwargs)
        self.processes.append(process)
        return process

    def stop(self):
        # What the buses started on their own goes with the process group.
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def start(self):
        if not shutil.which("xdotool", path=self.env.get("PATH")):
            raise Skipped("xdotool is not installed (scripts/deps --test installs it)")
        # Abstract sockets only and no lock file: nothing is left in /tmp, and
        # -displayfd picks a display number no other server uses.
        # A window in a network namespace of its own (a rehearsal of a domain
        # controller) reaches the display only through its path socket; then
        # the lock files keep it from taking another server's number, and
        # Xvfb removes both when it ends.
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.tmp, "xvfb.log"), "wb")
        private = [_free_display()] if X_PATH_SOCKET else ["-nolock", "-nolisten", "unix"]
        self.spawn(["Xvfb", "-displayfd", str(write_end), *private, "-nolisten", "tcp",
                    "-screen", "0", "1280x1024x24", "-noreset"],
                   pass_fds=[write_end], stdout=log, stderr=log)
        os.close(write_end)
        self.env["DISPLAY"] = ":" + _read_line(read_end, 20, "Xvfb")
        os.close(read_end)

        bus_dir = os.path.join(self.tmp, "bus")
        os.makedirs(bus_dir)
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                          "--print-address=1", "--address=unix:dir=" + bus_dir],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = _read_line(bus.stdout.fileno(), 20,
                                                          "the session bus")
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.access(launcher, os.X_OK):
            raise Skipped(f"{launcher} is missing (at-spi2-core)")
        self.spawn([launcher, "--launch-immediately"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        os.environ.update(self.env)
        self._wait_for_accessibility_bus()

    def _wait_for_accessibility_bus(self):
        try:
            from gi.repository import Gio, GLib
        except ImportError:
            raise Skipped("python3-gi is missing (python3-pyatspi brings it)")
        connection = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        end = time.monotonic() + 20
        while time.monotonic() < end:
            try:
                address = connection.call_sync(
                    "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                    GLib.VariantType.new("(s)"), Gio.DBusCallFlags.NO_AUTO_START, 2000,
                    None).unpack()[0]
                if address:
                    return
            except GLib.Error:
                pass
            time.sleep(0.1)
        raise Skipped("the accessibility bus did not start")


def _import_pyatspi():
    try:
        import pyatspi  # noqa: F401
        return pyatspi
    except ImportError:
        raise Skipped("pyatspi is missing (python3-pyatspi, for /usr/bin/python3)")


def pump():
    """Lets AT-SPI deliver the events that have come in."""
    from gi.repository import GLib
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_until(predicate, what, timeout=WAIT):
    """The predicate's first true value; AT-SPI errors count as not yet."""
    end = time.monotonic() + timeout
    last = None
    while True:
        pump()
        try:
            value = predicate()
            if value:
                return value
            last = value
        except Exception as error:  # the tree changes under us while the program works
            last = error
        if time.monotonic() > end:
            raise AssertionError(f"waited {timeout:.0f} s for {what}; last saw {last!r}")
        time.sleep(0.05)


def _walk(root, depth=40):
    stack = [(root, 0)]
    while stack:
        node, level = stack.pop()
        yield node
        if level >= depth:
            continue
        try:
            role = node.getRoleName()
            count = node.childCount
        except Exception:
            continue
        if role in ("table cell", "list item", "tree item", "table column header"):
            continue
        children = []
        for i in range(count):
            try:
                child = node.getChildAtIndex(i)
            except Exception:
                child = None
            if child is not None:
                children.append((child, level + 1))
        stack.extend(reversed(children))


def find_all(root, role=None, name=None, showing=None):
    pyatspi = _import_pyatspi()
    found = []
    for node in _walk(root):
        try:
            if role is not None and node.getRoleName() != role:
                continue
            if name is not None and not (name.match(node.name) if isinstance(name, re.Pattern)
                                         else node.name == name):
                continue
            if showing is not None and (
                    node.getState().contains(pyatspi.STATE_SHOWING) != showing):
                continue
        except Exception:
            continue
        found.append(node)
    return found


def find(root, role=None, name=None, showing=None, what=None):
    """The one accessible below root with this role and name, once it is there."""
    description = what or f"{role} {name!r}"

    def one():
        hits = find_all(root, role, name, showing)
        if len(hits) > 1:
            raise AssertionError(f"{len(hits)} accessibles match {description}")
        return hits[0] if hits else None

    return wait_until(one, description)


def text_of(accessible):
    text = accessible.queryText()
    return text.getText(0, text.characterCount)


def extents(accessible):
    pyatspi = _import_pyatspi()
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def centre(accessible):
    x, y, w, h = extents(accessible)
    if w <= 0 or h <= 0:
        raise AssertionError(f"{accessible.getRoleName()} {accessible.name!r} is not on screen")
    return x + w // 2, y + h // 2


def _descends_from(pid, ancestor):
    """Whether the process pid is below ancestor, as this PID namespace sees both."""
    while pid > 1:
        try:
            with open(f"/proc/{pid}/stat") as f:
                # The command name may hold spaces and parentheses: the parent
                # is the second field after its closing one.
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            return False
        if pid == ancestor:
            return True
    return False


class App:
    """The program, started fresh on a machine folder of its own."""

    # Whether the window may be a process below the one started (a program
    # that runs it in namespaces of its own): AT-SPI names the window's pid.
    window_below = False

    def __init__(self, session, orvane, name, env=None, attach=True):
        self.session = session
        self.pyatspi = _import_pyatspi()
        self.folder = os.path.join(session.tmp, name)
        os.makedirs(self.folder, exist_ok=True)  # a restart keeps its machine
        overrides = env
        env = dict(session.env, ORVANE_MACHINE=os.path.join(self.folder, "machine"),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", USERNAME="desktop-tester",
                   ORVANE_FILE_BROWSER="/bin/true")
        env.update(overrides or {})
        self.output_path = os.path.join(self.folder, "orvane.log")
        output = open(self.output_path, "wb")
        self.process = session.spawn([orvane], env=env, stdout=output, stderr=output,
                                     cwd=self.folder)
        if attach:
            self.attach()

    def attach(self):
        """Waits for the window on the accessibility bus, filled."""
        self.app = wait_until(self._application, "the program on the accessibility bus")
        self.window = find(self.app, "frame", "Orvane", what="the main window")
        wait_until(lambda: extents(self.window)[2] > 0, "the main window on screen")
        self.accounts = self._list("当前帐户列表")
        self.groups = self._list("当前组列表")
        self._log = None
        self.wait_filled()

    def wait_filled(self):
        """Until both lists show what a fresh machine has (a case's App may know better)."""
        wait_until(lambda: self.accounts.queryTable().nRows >= 2, "the account list filled")
        wait_until(lambda: self.groups.queryTable().nRows >= 3, "the group list filled")

    def _application(self):
        if self.process.poll() is not None:
            raise SystemExit(f"the program ended with status {self.process.returncode}:\n"
                             + self.output())
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                pid = app.get_process_id() if app is not None else None
                if pid == self.process.pid or (
                        pid and self.window_below and _descends_from(pid, self.process.pid)):
                    return app
            except Exception:
                continue
        return None

    def _list(self, panel_name):
        panel = find(self.window, "panel", panel_name)
        return find(panel, "tree", what=f"the list in {panel_name}")

    @property
    def log(self):
        if self._log is None:
            self._log = find(self.window, "list", "执行日志", what="the execution log")
        return self._log

    def output(self):
        with open(self.output_path, "rb") as f:
            return f.read().decode(errors="replace")

    def alive(self):
        return self.process.poll() is None

    def quit(self):
        if self.alive():
            self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    # What the program shows.

    def edit(self, name):
        """A batch box by its accessible name (its label's text)."""
        return find(self.window, "text", name)

    def button(self, name, beside=None):
        """A push button; beside names a text box in the same group, for the "..." buttons."""
        if beside is None:
            return find(self.window, "push button", name)
        box = self.edit(beside)

        def sibling():
            parent = box.parent
            hits = [c for c in (parent.getChildAtIndex(i) for i in range(parent.childCount))
                    if c is not None and c.getRoleName() == "push button" and c.name == name]
            return hits[0] if len(hits) == 1 else None

        return wait_until(sibling, f"{name!r} beside {beside!r}")

    def rows(self, tree):
        table = tree.queryTable()
        return [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
                for r in range(table.nRows)]

    def cell(self, tree, row, column=0):
        return tree.queryTable().getAccessibleAt(row, column)

    def row_of(self, tree, name):
        names = [row[0] for row in self.rows(tree)]
        if name not in names:
            raise AssertionError(f"{name!r} is not among the rows {names}")
        return names.index(name)

    def selected_rows(self, tree):
        table = tree.queryTable()
        return sorted(r for r in range(table.nRows) if table.isRowSelected(r))

    def log_lines(self):
        return [self.log.getChildAtIndex(i).name for i in range(self.log.childCount)]

    # Real input.

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.session.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=WAIT)

    def move_to(self, accessible_or_point):
        x, y = (accessible_or_point if isinstance(accessible_or_point, tuple)
                else centre(accessible_or_point))
        self.xdotool("mousemove", x, y)

    def click(self, accessible_or_point, button=1, modifier=None):
        self.move_to(accessible_or_point)
        if modifier:
            self.xdotool("keydown", modifier, "click", button, "keyup", modifier)
        else:
            self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--delay", 40, *keys)

    def type(self, text):
        self.xdotool("type", "--delay", 40, text)


def _run_cases(orvane, cases, tmp):
    session = Session(tmp)
    try:
        session.start()
        _import_pyatspi()
        return _run_each(session, orvane, cases)
    finally:
        session.stop()


def _run_each(session, orvane, cases):
    failed = []
    for number, case in enumerate(cases, 1):
        name = case.__name__
        app = None
        started = time.monotonic()
        try:
            # A case may bring the program up its own way (another backend, say).
            app_class = getattr(case, "app_class", App)
            app = app_class(session, orvane, f"case{number}", getattr(case, "env", lambda: None)())
            case(app)
            if not app.alive():
                raise AssertionError(f"the program ended with status {app.process.returncode}")
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:
            failed.append(name)
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
            if app is not None:
                print(f"--- the program's output:\n{app.output()}---", flush=True)
        finally:
            if app is not None:
                app.quit()
    return 1 if failed else 0


def _inner(orvane, cases, tmp):
    _die_with_parent()
    try:
        code = _run_cases(orvane, cases, tmp)
    except Skipped as why:
        print(f"SKIP desktop tier: {why}", flush=True)
        code = SKIP
    except BaseException:
        traceback.print_exc()
        code = 1
    sys.stdout.flush()
    os._exit(code)


def main(cases):
    if len(sys.argv) < 2 or not os.access(sys.argv[1], os.X_OK):
        print(f"usage: {sys.argv[0]} PATH-TO-ORVANE [CASE...]", file=sys.stderr)
        return 2
    orvane = os.path.abspath(sys.argv[1])
    if len(sys.argv) > 2:
        cases = [c for c in cases if c.__name__ in sys.argv[2:]]
    tmp = tempfile.mkdtemp(prefix="orvane-desktop-")
    child = os.fork()
    if child == 0:
        # The session's process group: one kill ends everything it started,
        # including what the buses start on their own.
        os.setsid()
        _inner(orvane, cases, tmp)

    def end(*_):
        raise KeyboardInterrupt

    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, end)
    code = 1
    try:
        end_time = time.monotonic() + DEADLINE
        while True:
            pid, status = os.waitpid(child, os.WNOHANG)
            if pid:
                code = os.waitstatus_to_exitcode(status)
                code = code if code >= 0 else 1
                break
            if time.monotonic() > end_time:
                print(f"FAIL the desktop tier did not finish within {DEADLINE:.0f} s", flush=True)
                break
            time.sleep(0.1)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
    finally:
        try:
            os.killpg(child, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            os.waitpid(child, 0)
        except ChildProcessError:
            pass
        shutil.rmtree(tmp, ignore_errors=True)
    return code
