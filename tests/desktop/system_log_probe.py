"""The system log, heard by the test alone: a datagram socket of the test's own
at /dev/log in the test's mount namespace, where syslog(3) sends (and the
journal's folder hidden, where there is one). Each message comes with its
sender's pid.

/dev is the kernel's devtmpfs, which every mount namespace shares: a socket
made there would be the whole machine's. So /dev becomes an overlay in this
namespace, the kernel's /dev below and an upper layer in memory, with the
mounts below /dev (pts, shm, ...) put back on top; /dev/log is made in the
upper layer, over whatever the machine has there.
"""
# uses-programs: mount umount

import os
import socket
import struct
import subprocess
import threading


def _mount(*argv):
    subprocess.run(["mount", *argv], check=True, timeout=30)


def _overlay_dev(scratch):
    below = os.path.join(scratch, "dev-below")
    layer = os.path.join(scratch, "dev-layer")
    os.mkdir(below)
    os.mkdir(layer)
    _mount("--rbind", "/dev", below)
    _mount("-t", "tmpfs", "-o", "mode=0700", "orvane-dev-layer", layer)
    for part in ("upper", "work"):
        os.mkdir(os.path.join(layer, part))
    os.chmod(os.path.join(layer, "upper"), os.stat("/dev").st_mode & 0o7777)
    _mount("-t", "overlay", "-o",
           f"lowerdir=/dev,upperdir={layer}/upper,workdir={layer}/work", "orvane-dev", "/dev")
    for name in sorted(os.listdir(below)):
        path = os.path.join(below, name)
        if not os.path.islink(path) and os.path.isdir(path) and os.path.ismount(path):
            _mount("--rbind", path, os.path.join("/dev", name))
    # Nothing of the machine's /dev stays reachable from the scratch folder,
    # which is removed as a tree.
    for folder in (below, layer):
        subprocess.run(["umount", "--lazy", "--recursive", folder], check=True, timeout=30)


class SystemLogProbe:
    """Installs itself; messages() returns what came since the last call.
    A thread reads the socket as messages come: a sender blocks once a few
    unread datagrams wait (net.unix.max_dgram_qlen)."""

    def __init__(self, scratch):
        _overlay_dev(scratch)
        if os.path.isdir("/run/systemd/journal"):
            _mount("-t", "tmpfs", "-o", "mode=0755", "orvane-no-journal", "/run/systemd/journal")
        if os.path.lexists("/dev/log"):
            os.unlink("/dev/log")  # in the upper layer: the machine's stays
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_PASSCRED, 1)
        self.socket.bind("/dev/log")
        os.chmod("/dev/log", 0o666)
        self._heard = []
        self._lock = threading.Lock()
        threading.Thread(target=self._listen, daemon=True).start()

    def _listen(self):
        credentials = struct.calcsize("3i")
        while True:
            data, ancillary, _, _ = self.socket.recvmsg(65536, socket.CMSG_SPACE(credentials))
            pid = None
            for level, kind, value in ancillary:
                if level == socket.SOL_SOCKET and kind == socket.SCM_CREDENTIALS:
                    pid = struct.unpack("3i", value[:credentials])[0]
            with self._lock:
                self._heard.append((pid, data.decode(errors="replace")))

    def messages(self):
        """(sender's pid, text) of each message heard since the last call."""
        with self._lock:
            found, self._heard = self._heard, []
        return found
