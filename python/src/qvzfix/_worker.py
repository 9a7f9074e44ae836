"""One thread that owns a plug-in session and runs every call on it.

The plug-in keeps its session per thread: the thread that called QVZ_init is
the only one whose calls reach that session. A lab script, though, calls from
wherever it happens to be (a thread pool, a GUI callback), so each Python
session gets a thread of its own that opens, uses and closes the plug-in's
session, and callers hand it work and wait for the result.
"""

from __future__ import annotations

import queue
import threading
from concurrent.futures import Future
from typing import Callable, Optional, Tuple, TypeVar

T = TypeVar("T")

_Job = Tuple[Callable[[], object], "Future[object]"]


class SessionClosed(ValueError):
    """The session has been closed; open a new one."""

    def __init__(self) -> None:
        super().__init__("the qvzfix session is closed")


class Worker:
    """Runs jobs one at a time, in the order submitted, on one daemon thread.

    The thread is a daemon so that a session the script forgot to close never
    keeps the interpreter from exiting; :meth:`stop` (also run at exit by the
    session's finalizer) lets it finish its last job first.
    """

    def __init__(self, name: str) -> None:
        self._jobs: "queue.SimpleQueue[Optional[_Job]]" = queue.SimpleQueue()
        self._accepting = True
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._run, name=name, daemon=True)
        self._thread.start()

    @property
    def thread(self) -> threading.Thread:
        """The thread that runs the jobs."""
        return self._thread

    def run(self, job: Callable[[], T]) -> T:
        """Runs ``job`` on the worker thread and returns its result (or raises
        its exception) in the calling thread."""
        if threading.current_thread() is self._thread:
            return job()  # already on the worker: queueing would deadlock
        future: "Future[object]" = Future()
        with self._lock:
            if not self._accepting:
                raise SessionClosed()
            self._jobs.put((job, future))
        return future.result()  # type: ignore[return-value]

    def stop(self, last_job: Optional[Callable[[], object]] = None) -> object:
        """Runs ``last_job`` (if any) as the final job, then ends the thread.

        Returns the last job's result; later :meth:`run` calls raise
        :class:`SessionClosed`. A second call does nothing and returns None.
        """
        with self._lock:
            if not self._accepting:
                return None
            self._accepting = False
        if threading.current_thread() is self._thread:
            # Collected on its own thread: finish here, let the loop end.
            result = last_job() if last_job is not None else None
            self._jobs.put(None)
            return result
        future: "Future[object]" = Future()
        self._jobs.put((last_job or (lambda: None), future))
        self._jobs.put(None)
        try:
            return future.result()
        finally:
            self._thread.join()

    def _run(self) -> None:
        while True:
            item = self._jobs.get()
            if item is None:
                return
            job, future = item
            if not future.set_running_or_notify_cancel():
                continue
            result: object = None
            try:
                result = job()
            except BaseException as error:  # handed to the caller, not lost
                future.set_exception(error)
            else:
                future.set_result(result)
            # A finished job may hold the last reference to its session; drop
            # it now so the session can be collected while the loop waits.
            del item, job, future, result
