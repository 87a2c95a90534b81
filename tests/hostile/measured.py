"""Runs a child process and reports how it ended and what it cost, for the hostile-input scripts."""
import os
import subprocess
import threading


def run_measured(argv, hang_seconds):
    """(wait status, peak resident MiB, processor seconds, standard error) of argv, killed after
    hang_seconds. Processor time (user and system) does not grow with the machine's load as the
    wall-clock time does."""
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    timer = threading.Timer(hang_seconds, proc.kill)
    timer.start()
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    timer.cancel()
    proc.returncode = os.waitstatus_to_exitcode(status)  # reaped here, for the rusage
    return status, usage.ru_maxrss // 1024, usage.ru_utime + usage.ru_stime, err.decode('utf-8', 'replace')
