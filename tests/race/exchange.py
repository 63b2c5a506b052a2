"""Two names of one folder exchanged, with renameat2(RENAME_EXCHANGE), as
fast as a thread can, while a race test runs Tarvo."""

import ctypes
import threading

AT_FDCWD = -100
RENAME_EXCHANGE = 2


class Exchanger:
    """with Exchanger(a, b) as ex: ... exchanges a and b until the block ends;
    ex.swaps counts the exchanges. works() is False where the system cannot
    exchange two names."""

    def __init__(self, a, b):
        self.a, self.b = a.encode(), b.encode()
        self.renameat2 = getattr(ctypes.CDLL(None, use_errno=True), "renameat2", None)
        self.swaps = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def exchange(self):
        return self.renameat2(AT_FDCWD, self.a, AT_FDCWD, self.b, RENAME_EXCHANGE) == 0

    def works(self):
        return self.renameat2 is not None and self.exchange() and self.exchange()

    def run(self):
        while not self.stop.is_set():
            self.swaps += self.exchange()

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def changed(before, after):
    """The names whose entry differs between two snapshots of a folder."""
    return [name for name in sorted(set(before) | set(after)) if before.get(name) != after.get(name)]


def verdict(problems):
    """Prints the first problems; the exit status of the test."""
    for p in problems[:20]:
        print(p)
    return 1 if problems else 0
