"""The throwaway Samba server of scripts/test-samba, as the desktop tests
reach it: a command run where its files are (scripts/samba/server exec)."""
# uses-programs: (only scripts/samba/server, which names its own)

import os
import subprocess


def server(*command):
    """A command where the test server's files are, its output; the password
    never on a command line."""
    env = dict(os.environ, USER=os.environ["ORVANE_TEST_SAMBA_USER"],
               PASSWD=os.environ["ORVANE_TEST_SAMBA_PASSWORD"])
    return subprocess.run(
        [os.environ["ORVANE_TEST_SAMBA_CONTROL"], "exec", os.environ["ORVANE_TEST_SAMBA_DIR"],
         "--", *command],
        env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True, check=True,
        timeout=120).stdout


def conf():
    """The server's configuration, as Samba's tools take it."""
    return ["-s", os.environ["ORVANE_TEST_SAMBA_CONF"]]
