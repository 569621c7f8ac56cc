#!/usr/bin/python3
"""Runs Python scripts for a shell test from one interpreter, whose start and
imports a test that runs many scripts would otherwise pay on each.

usage: python_server.py REQUESTS REPLIES [--path DIR]... [MODULE]...

Imports the MODULEs (DIRs on the module path for that only), then serves
the requests read from the pipe REQUESTS until its last writer closes it.
A request is its fields, each ended by a NUL: their count after this one,
the working directory, the files for standard output and standard error,
and a command line as Python's would be without the interpreter (SCRIPT
ARG... or -c CODE ARG...). Each runs in a child forked from this process, so that
no state of one run reaches the next; the exit status is written to the
pipe REPLIES as one line once the child ended (128 + N: killed by signal N).
"""
import os
import runpy
import sys
import traceback


def run_child(cwd, out, err, command, module_path):
    """The child's part: runs the command as the interpreter would; never returns."""
    status = 1
    try:
        os.chdir(cwd)
        for fd, path in ((1, out), (2, err)):
            target = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
            os.dup2(target, fd)
            os.close(target)
        if command[0] == "-c":
            sys.argv = ["-c"] + command[2:]
            sys.path[:] = [""] + module_path
            exec(compile(command[1], "<string>", "exec"), {"__name__": "__main__"})
        else:
            sys.argv = list(command)
            sys.path[:] = [os.path.dirname(os.path.abspath(command[0]))] + module_path
            runpy.run_path(command[0], run_name="__main__")
        status = 0
    except SystemExit as stop:
        if stop.code is None:
            status = 0
        elif isinstance(stop.code, int):
            status = stop.code
        else:
            print(stop.code, file=sys.stderr)
            status = 1
    except BaseException:  # noqa: B902 -- reported as the interpreter reports it
        traceback.print_exc()
        status = 1
    finally:
        sys.stdout.flush()
        sys.stderr.flush()
        os._exit(status & 0xFF)


def read_field(pipe):
    """The next NUL-ended field of the pipe; None at its end."""
    field = bytearray()
    while True:
        byte = pipe.read(1)
        if not byte:
            if field:
                sys.exit(f"python_server.py: request cut short: {bytes(field)!r}")
            return None
        if byte == b"\0":
            return bytes(field)
        field += byte


def main():
    requests, replies = sys.argv[1:3]
    module_path = list(sys.path[1:])
    words = sys.argv[3:]
    while words:
        if words[0] == "--path":
            sys.path.insert(0, words[1])
            words = words[2:]
        else:
            __import__(words[0])
            words = words[1:]
    with open(requests, "rb") as pipe:
        while True:
            count = read_field(pipe)
            if count is None:
                break
            cwd, out, err, *command = [os.fsdecode(read_field(pipe)) for _ in range(int(count))]
            sys.stdout.flush()
            sys.stderr.flush()
            child = os.fork()
            if child == 0:
                run_child(cwd, out, err, command, module_path)
            _, wait_status = os.waitpid(child, 0)
            status = os.waitstatus_to_exitcode(wait_status)
            with open(replies, "w") as reply:
                reply.write(f"{status if status >= 0 else 128 - status}\n")


if __name__ == "__main__":
    main()
