#!/usr/bin/env python3
"""Runs the Windows copy of the unit tests under Wine, in a session of the
end-to-end harness (a copy of the run's template prefix and a private X
server). It runs three times, with Wine answering GetVersion as its default
Windows (the NT family), as Windows 98 and as Win32s, so that the system
tests of every family meet the real calls. Prints gtest's output and the
tests no run ran; fails unless every run passes.

  run_win_unit_tests.py [--win64] .../ty_unit_tests_win.exe [gtest options]

With --win64 it runs once, as the NT family, in a fresh 64-bit prefix, where
the 32-bit program's HKEY_LOCAL_MACHINE\SOFTWARE is redirected (Wow6432Node)
and its Program Files folder is "Program Files (x86)": the primitives must
behave there as in a 32-bit prefix.

ctest runs it as win_unit_tests (tests/win/CMakeLists.txt). By hand, once
ctest has made the template prefix (TY_BUILD_DIR: the build folder, default
build/): python3 tests/win/run_win_unit_tests.py
build/win-tests/tests/win/ty_unit_tests_win.exe --gtest_filter='PackageTest.*'
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'e2e'))
from harness import HarnessError, Session, stretched  # noqa: E402

PROGRAM = 'ty_unit_tests_win.exe'
TEXTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'texts.txt')
# Wine answers GetVersion for one program as this key says.
VERSION_KEY = 'HKCU\\Software\\Wine\\AppDefaults\\' + PROGRAM
# A crash prints winedbg's backtrace and ends the run, instead of a crash
# dialog that waits for a click until the time-out.
CRASH_DIALOG = ['reg', 'add', 'HKCU\\Software\\Wine\\WineDbg', '/v', 'ShowCrashDialog',
                '/t', 'REG_DWORD', '/d', '0', '/f']
# Each family's system tests run in its own run; the others skip them.
RUNS = [('NT family', None), ('Windows 98', 'win98'), ('Win32s', 'win31')]
RUN_TIMEOUT_S = 150  # three runs stay within the ctest time-out
PREFIX_TIMEOUT_S = 240


def wine(session, name, *arguments, timeout=60):
    """Runs a program under Wine; gives its exit code, stdout and stderr.
    The output goes through files, not pipes: Wine's own processes that the
    first program starts (the desktop, services) inherit its handles and
    outlive it, and a pipe would stay open until the session ends."""
    paths = [os.path.join(session.out, f'{name}.{stream}') for stream in ('stdout', 'stderr')]
    with open(paths[0], 'wb') as out, open(paths[1], 'wb') as err:
        process = subprocess.Popen(['wine', *arguments], env=session.env,
                                   cwd=session.drive_c('ty-e2e'), stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err)
        try:
            code = process.wait(stretched(timeout))
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            code = None
    texts = []
    for path in paths:
        with open(path, 'rb') as f:
            texts.append(f.read().decode('utf-8', 'replace').replace('\r\n', '\n'))
    return code, texts[0], texts[1]


def make_win64_prefix(session):
    """A fresh 64-bit prefix beside the session's own; the session's
    environment then points at it. Its processes carry the session's marker,
    so the session's teardown would notice any left running."""
    prefix = session.prefix + '-win64'
    session.env = dict(session.env, WINEPREFIX=prefix, WINEARCH='win64')
    session.prefix = prefix
    session.note(f'64-bit prefix {prefix}')
    code = subprocess.run(['wineboot', '-i'], env=session.env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=stretched(PREFIX_TIMEOUT_S)).returncode
    if code != 0:
        raise HarnessError(f'wineboot -i of the 64-bit prefix ended with {code}')
    os.makedirs(session.drive_c('ty-e2e'), exist_ok=True)
    return prefix


def drop_win64_prefix(session, own_prefix, own_env):
    subprocess.run(['wineserver', '-k'], env=session.env, timeout=stretched(30))
    subprocess.run(['wineserver', '-w'], env=session.env, timeout=stretched(30))
    subprocess.run(['rm', '-rf', session.prefix])
    session.env, session.prefix = own_env, own_prefix


def judge(returncode, output):
    """What is wrong with one run's result, or None."""
    if returncode != 0:
        return f'exit code {returncode}'
    passed = re.search(r'^\[  PASSED  \] (\d+) tests?\.', output, re.M)
    if not passed:
        return 'no gtest summary'
    if re.search(r'^\[  FAILED  \]', output, re.M):
        return 'gtest reports failures'
    if int(passed.group(1)) == 0:
        return 'no test ran'
    return None


def main():
    arguments = sys.argv[1:]
    win64 = bool(arguments) and arguments[0] == '--win64'
    if win64:
        arguments = arguments[1:]
    if not arguments:
        sys.exit(f'usage: {sys.argv[0]} [--win64] ty_unit_tests_win.exe [gtest options]')
    executable, options = arguments[0], arguments[1:]
    runs = [('NT family, 64-bit prefix', None)] if win64 else RUNS
    if not os.path.exists(executable):
        sys.exit(f'{executable} is missing: build the Windows unit tests tree')
    problems = []
    never_ran = None
    with Session('win_unit_tests_win64' if win64 else 'win_unit_tests') as session:
        own_env, own_prefix, win64_prefix = session.env, session.prefix, None
        if win64:
            win64_prefix = make_win64_prefix(session)
        program = session.put_program(executable, PROGRAM)
        session.put_program(TEXTS, 'texts.txt')  # read from the current folder
        code, _, errors = wine(session, '0-crash-dialog', *CRASH_DIALOG)
        if code != 0:
            raise HarnessError(f'could not turn the crash dialog off: {errors}')
        for number, (name, version) in enumerate(runs, 1):
            if version:
                code, _, errors = wine(session, f'{number}-version', 'reg', 'add', VERSION_KEY,
                                       '/v', 'Version', '/d', version, '/f')
                if code != 0:
                    raise HarnessError(f'could not make Wine answer as {version}: {errors}')
            print(f'=== {name}: {program} {" ".join(options)}', flush=True)
            start = time.monotonic()
            code, output, errors = wine(session, f'{number}-tests', program, '--gtest_color=no',
                                        *options, timeout=RUN_TIMEOUT_S)
            elapsed = time.monotonic() - start
            print(output, flush=True)
            if errors.strip():
                print('--- stderr ---\n' + errors, flush=True)
            problem = (f'no end within {RUN_TIMEOUT_S} s' if code is None
                       else judge(code, output))
            print(f'=== {name}: {problem or "passed"} in {elapsed:.1f} s', flush=True)
            if problem:
                problems.append(f'{name}: {problem}')
            skipped = set(re.findall(r'^\[  SKIPPED \] (\S+) \(', output, re.M))
            never_ran = skipped if never_ran is None else never_ran & skipped
        if win64_prefix:
            drop_win64_prefix(session, own_prefix, own_env)
            never_ran = None  # the 32-bit runs cover the other families
    if never_ran:
        problems.append('skipped in every run: ' + ', '.join(sorted(never_ran)))
    if problems:
        sys.exit('win_unit_tests failed: ' + '; '.join(problems))


if __name__ == '__main__':
    main()
