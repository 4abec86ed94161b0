#!/usr/bin/env python3
"""Stamps the installer's log lines with the moment they appear.

  log_watcher.py FOLDER PROGRAM_PATH OUTPUT STOP_FILE

Polls FOLDER (recursively) every few milliseconds for files ending in
".log" that were not there when it started and writes each new whole line to OUTPUT as "<seconds> <line>", the
seconds on the monotonic clock, until STOP_FILE exists; then reads what is
left. Meanwhile it keeps the peak resident size of each process whose
command line names PROGRAM_PATH (each Windows process is one Linux process
under Wine) and ends with "peak <pid> <kB> <command line>" lines.
"""
import os
import sys
import time


def peak_of(pid):
    try:
        with open("/proc/%s/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    folder, program, output, stop_file = sys.argv[1:5]
    offsets = {}
    partial = {}
    peaks = {}
    commands = {}
    last_scan = 0.0
    old_logs = set(os.path.join(root, name)
                   for root, _, names in os.walk(folder) for name in names)
    with open(output, "w") as out:
        while True:
            stopping = os.path.exists(stop_file)
            now = time.monotonic()
            for root, _, names in os.walk(folder):
                for name in names:
                    path = os.path.join(root, name)
                    if not name.endswith(".log") or path in old_logs:
                        continue
                    try:
                        with open(path, "rb") as log:
                            log.seek(offsets.get(path, 0))
                            data = log.read()
                    except OSError:
                        continue
                    offsets[path] = offsets.get(path, 0) + len(data)
                    data = partial.get(path, b"") + data
                    *lines, partial[path] = data.split(b"\n")
                    for line in lines:
                        out.write("%.4f %s\n" % (
                            now, line.decode("utf-8", "replace")))
            if now - last_scan >= 0.1 or stopping:
                last_scan = now
                for pid in os.listdir("/proc"):
                    if not pid.isdigit() or pid in commands:
                        continue
                    try:
                        with open("/proc/%s/cmdline" % pid, "rb") as f:
                            command = f.read().replace(b"\0", b" ").decode(
                                "utf-8", "replace")
                    except OSError:
                        continue
                    if program in command:
                        commands[pid] = command.strip()
            for pid in commands:
                peak = peak_of(pid)
                if peak is not None and peak > peaks.get(pid, 0):
                    peaks[pid] = peak
            if stopping:
                break
            time.sleep(0.005)
        for pid, peak in sorted(peaks.items()):
            out.write("peak %s %d %s\n" % (pid, peak, commands[pid]))


if __name__ == "__main__":
    main()
