"""The help page as root against a hostile support site.

The real program, as root, on a display of its own, in network and mount
namespaces of this test's own: only loopback, with a private /etc/hosts that
points the support site's name (and an inside name) at 127.0.0.1. The site is
a server of the test's; "this machine's services" are a second server on
127.0.0.1:8081, 169.254.169.254:80 and 10.1.2.3:80 (both added to loopback
here) that must never be asked anything. Root only; skipped (77) otherwise.
"""
# uses-programs: unshare ip mount
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

import desktop

SITE = "bbs.orvane.example"
SUPPORT_PATH = "/thread-1795-1-1.html"
INSIDE_NAME = "internal.orvane.example"
INSIDE_ADDRESSES = (("127.0.0.1", 8081), ("169.254.169.254", 80), ("10.1.2.3", 80))
HELP_TAB = "使用帮助(H)"
REFUSED = "不打开指向本机或内部网络的地址"
MARKER = "ORVANE_HELP_PAGE_NETNS"


def enter_namespaces():
    """Runs this file again in namespaces of its own, set up as above."""
    here = os.readlink("/proc/self/ns/net")
    if os.environ.get(MARKER) == here and here != os.readlink("/proc/1/ns/net"):
        return
    if os.geteuid() != 0:
        print("SKIP: the help page as root needs root")
        sys.exit(desktop.SKIP)
    if os.environ.get(MARKER) == "entering":
        # In the new namespaces: loopback with the inside addresses, and the
        # private name table over /etc/hosts (private mounts: it goes with us).
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        for address, _ in INSIDE_ADDRESSES[1:]:
            subprocess.run(["ip", "addr", "add", address + "/32", "dev", "lo"], check=True)
        folder = tempfile.mkdtemp(prefix="orvane-help-hosts-")
        hosts = os.path.join(folder, "hosts")
        with open(hosts, "w") as f:
            f.write(f"127.0.0.1 localhost {SITE} {INSIDE_NAME}\n")
        subprocess.run(["mount", "-n", "--bind", hosts, "/etc/hosts"], check=True)
        # The mount holds the file; nothing is left in /tmp after the test.
        os.unlink(hosts)
        os.rmdir(folder)
        os.environ[MARKER] = os.readlink("/proc/self/ns/net")
        return
    env = dict(os.environ, **{MARKER: "entering"})
    try:
        os.execvpe("unshare", ["unshare", "--net", "--mount", "--propagation", "private", "--",
                               sys.executable, *sys.argv], env)
    except OSError as error:
        print(f"SKIP: unshare: {error}")
        sys.exit(desktop.SKIP)


class Servers:
    """The support site, and the inside services that keep what they are asked."""

    def __init__(self):
        self.site = None  # (path, connection) -> None, set by each case
        self.site_paths = []
        self.inside_asked = []
        self.lock = threading.Lock()
        self._listen("127.0.0.1", 80, self._serve_site)
        for address, port in INSIDE_ADDRESSES:
            self._listen(address, port, self._serve_inside)

    def _listen(self, address, port, serve):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((address, port))
        listener.listen(16)

        def accept():
            while True:
                connection, _ = listener.accept()
                threading.Thread(target=self._handle, args=(connection, serve),
                                 daemon=True).start()

        threading.Thread(target=accept, daemon=True).start()

    @staticmethod
    def _request(connection):
        data = b""
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = connection.recv(4096)
            if not chunk:
                break
            data += chunk
        parts = data.split(b" ", 2)
        return parts[1].decode(errors="replace") if len(parts) > 1 else ""

    def _handle(self, connection, serve):
        with connection:
            try:
                serve(self._request(connection), connection)
            except OSError:
                pass  # the program closed it: what several cases wait for

    def _serve_site(self, path, connection):
        with self.lock:
            self.site_paths.append(path)
        self.site(path, connection)

    def _serve_inside(self, path, connection):
        with self.lock:
            self.inside_asked.append(path)
        connection.sendall(respond(b"<p>INSIDE ANSWERED</p>"))


_servers = None


def servers():
    # Started in the session's own process (the harness forks), once.
    global _servers
    if _servers is None:
        _servers = Servers()
    return _servers


def respond(body, status=b"200 OK", fields=b"Content-Type: text/html; charset=utf-8\r\n"):
    return (b"HTTP/1.1 " + status + b"\r\n" + fields + b"Content-Length: " +
            str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)


def redirect(target):
    return respond(b"", b"302 Found", b"Location: " + target.encode() + b"\r\n")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class HelpPage:
    """The help tab of a running program, and its text view."""

    def __init__(self, app):
        self.app = app
        tabs = desktop.find_all(app.window, "page tab")
        self.help_tab = desktop.find(app.window, "page tab", HELP_TAB, what="the help tab")
        self.other_tab = next(t for t in tabs if t.name != HELP_TAB)
        self.view = None

    def show(self):
        """Switches to the help tab, which asks for the support page again."""
        self.leave()
        self.app.click(self.help_tab)
        self.view = desktop.find(self.app.window, "label", "支持页面", showing=True,
                                 what="the support page's text view")

    def leave(self, timeout=desktop.WAIT):
        """Switches to the first tab, and waits until the view is hidden."""
        pyatspi = desktop._import_pyatspi()
        self.app.click(self.other_tab)
        if self.view is not None:
            desktop.wait_until(lambda: not self.view.getState().contains(pyatspi.STATE_SHOWING),
                               "the help page hidden", timeout)

    def text(self):
        return desktop.text_of(self.view)

    def wait_for(self, words, what, timeout=desktop.WAIT):
        return desktop.wait_until(lambda: all(w in self.text() for w in words) and self.text(),
                                  what, timeout)

    def click_text(self, word):
        """A real click on the word where the view shows it (a link, say)."""
        pyatspi = desktop._import_pyatspi()
        text = self.text()
        at = text.index(word) + len(word) // 2
        box = self.view.queryText().getCharacterExtents(at, pyatspi.DESKTOP_COORDS)
        self.app.click((box[0] + max(1, box[2] // 2), box[1] + max(1, box[3] // 2)))


def nested_page_leaves_the_window_responsive(app):
    """3,000 nested tables: no crash, and the window still answers."""
    page_body = (b"<table><tr><td>" * 3000 + "最深处 innermost".encode() +
                 b"</td></tr></table>" * 3000)
    servers().site = lambda path, c: c.sendall(respond(page_body))
    help_page = HelpPage(app)
    help_page.show()
    help_page.wait_for(["innermost"], "the innermost text shown")
    assert app.alive(), "the program died on the nested page"
    # The user-interface thread answers: a tab switch and a read back, each
    # through a round trip to the program, well within the bound.
    started = time.monotonic()
    help_page.leave(timeout=10)
    app.click(help_page.help_tab)
    help_page.wait_for(["innermost"], "the page shown again", timeout=10)
    print(f"  window answered in {time.monotonic() - started:.2f} s")


def redirects_to_this_machine_are_refused(app):
    """A redirect from the site to loopback, link-local or private is not followed."""
    targets = ["http://127.0.0.1:8081/admin?do=reboot", "http://169.254.169.254/latest/meta-data/",
               "http://10.1.2.3/", f"http://{INSIDE_NAME}:8081/admin?do=reboot",
               f"http://{SITE}:8081/admin?do=reboot", "http://[::ffff:127.0.0.1]:8081/admin"]
    asked = []

    def site(path, connection):
        asked.append(path)
        connection.sendall(redirect(targets[min(len(asked), len(targets)) - 1]))

    servers().site = site
    help_page = HelpPage(app)
    for target in targets:
        help_page.show()
        host = target.split("/")[2].split(":")[0] if "[" not in target else "ffff"
        help_page.wait_for([REFUSED, host], f"the redirect to {target} refused")
    assert servers().inside_asked == [], f"inside services were asked: {servers().inside_asked}"
    assert "INSIDE ANSWERED" not in help_page.text()


def links_to_this_machine_are_not_followed(app):
    """Links on the page to inside addresses are refused; the site's own are followed."""
    page = ("<p>支持论坛</p>"
            f"<p><a href='http://{INSIDE_NAME}:8081/admin?do=reboot'>INTERNALNAME</a></p>"
            "<p><a href='http://127.0.0.1:8081/admin?do=reboot'>LOOPBACKLINK</a></p>"
            "<p><a href='http://169.254.169.254/latest/'>METADATALINK</a></p>"
            "<p><a href='/thread-2.html'>NEXTPAGE</a></p>").encode()

    def site(path, connection):
        connection.sendall(respond(page if path == SUPPORT_PATH else "<p>第二页 SECOND</p>".encode()))

    servers().site = site
    help_page = HelpPage(app)
    for link in ("INTERNALNAME", "LOOPBACKLINK", "METADATALINK"):
        help_page.show()
        help_page.wait_for(["NEXTPAGE"], "the support page")
        help_page.click_text(link)
        help_page.wait_for([REFUSED], f"the link {link} refused")
    help_page.show()
    help_page.wait_for(["NEXTPAGE"], "the support page")
    help_page.click_text("NEXTPAGE")
    help_page.wait_for(["SECOND"], "the site's own link followed")
    assert servers().inside_asked == [], f"inside services were asked: {servers().inside_asked}"


def endless_header_fields_end_with_bounded_memory(app):
    """Header fields without end: the fetch ends soon, and memory stays flat."""
    cut = threading.Event()
    sent = [0]

    def site(path, connection):
        connection.sendall(b"HTTP/1.1 200 OK\r\n")
        field = b"X-Filler: " + b"x" * 1000 + b"\r\n"
        try:
            while True:
                connection.sendall(field * 64)
                sent[0] += len(field) * 64
        finally:
            cut.set()

    servers().site = site
    help_page = HelpPage(app)
    before = rss_kib(app.process.pid)
    help_page.show()
    peak = before
    end = time.monotonic() + desktop.WAIT
    while "响应头过大" not in help_page.text():
        peak = max(peak, rss_kib(app.process.pid))
        assert time.monotonic() < end, (f"still reading header fields after {desktop.WAIT:.0f} s "
                                        f"({sent[0] >> 20} MiB sent, RSS {peak >> 10} MiB)")
        time.sleep(0.1)
    assert cut.wait(desktop.WAIT), "the program kept the endless response open"
    peak = max(peak, rss_kib(app.process.pid))
    grown = (peak - before) >> 10
    print(f"  ended after {sent[0] >> 10} KiB sent; RSS grew {grown} MiB")
    assert grown < 64, f"RSS grew {grown} MiB while reading header fields"


def pages_over_four_mebibytes_are_refused(app):
    """The body limit holds, with the length given and without."""
    body = b"<p>" + b"x" * (5 << 20) + b"</p>"
    answers = [respond(body),
               b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n" + body]
    count = [0]

    def site(path, connection):
        count[0] += 1
        connection.sendall(answers[(count[0] - 1) % 2])

    servers().site = site
    help_page = HelpPage(app)
    for _ in answers:
        help_page.show()
        help_page.wait_for(["页面过大"], "the page refused as too large")
        assert "xxxx" not in help_page.text()


if __name__ == "__main__":
    if len(sys.argv) >= 2:
        enter_namespaces()
    sys.exit(desktop.main([nested_page_leaves_the_window_responsive,
                           redirects_to_this_machine_are_refused,
                           links_to_this_machine_are_not_followed,
                           endless_header_fields_end_with_bounded_memory,
                           pages_over_four_mebibytes_are_refused]))
