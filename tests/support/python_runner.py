#!/usr/bin/python3
"""Runs Python programs' main(argv) for a shell script without starting an
interpreter for each run: the programs (and what they import) are loaded
once, and each run is a fork of this process, so that no run sees what
another left in a module.

usage: python_runner.py PROGRAM...   (requests on stdin, replies on stdout)

A request is lines: the directory to run in, the file for the run's standard
output, the number of arguments, then the program (one of PROGRAM) and its
arguments, a line each. The reply is the run's exit status, a line. A
shell script talks to it through two FIFOs (tests/vendor_package_test.sh).
"""
import importlib.util
import os
import sys
import traceback


def load(path):
    name = "program_" + "".join(c if c.isalnum() else "_" for c in os.path.basename(path))
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.main


def exit_status(code):
    if code is None:
        return 0
    if isinstance(code, int):
        return code
    print(code, file=sys.stderr)
    return 1


def run_child(main, directory, output, argv):
    """In the forked child: never returns."""
    status = 1
    try:
        os.chdir(directory)
        # What the program starts must not read this process's requests.
        fd = os.open(os.devnull, os.O_RDONLY)
        os.dup2(fd, 0)
        os.close(fd)
        fd = os.open(output, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(fd, 1)
        os.close(fd)
        sys.argv = argv
        status = exit_status(main(argv[1:]))
    except SystemExit as stop:
        status = exit_status(stop.code)
    except BaseException:  # noqa: B036 - any failure is the run's, reported as such
        traceback.print_exc()
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(status)


def main(programs):
    mains = {path: load(path) for path in programs}
    requests = sys.stdin
    while True:
        directory = requests.readline()
        if not directory:
            return 0
        output = requests.readline().rstrip("\n")
        count = int(requests.readline())
        argv = [requests.readline().rstrip("\n") for _ in range(count)]
        if argv[0] not in mains:
            print(f"python_runner.py: {argv[0]} was not loaded", file=sys.stderr)
            status = 2
        else:
            pid = os.fork()
            if pid == 0:
                run_child(mains[argv[0]], directory.rstrip("\n"), output, argv)
            status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
        print(status, flush=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
