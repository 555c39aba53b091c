#!/usr/bin/env python3
"""Runs the Wine suite's ctest tests inside the virtual machine as ctest
runs them on a machine with Wine: each test's command, working folder,
environment and time-out from ctest's own listing of them (ctest
--show-only=json-v1, made on the host), the tests that set a fixture up
first, then the others as many at a time as there are processors. A test's
output goes to RESULTS/NAME.log and its exit code to RESULTS/NAME.rc, where
ctest on the host reports them from (tests/e2e/wine_run.py); a failed test
also leaves RESULTS/NAME.failed. Wine prefixes go to SCRATCH, the machine's
own disk; time-outs are TY_E2E_SLOWDOWN times longer.

  run_suite.py TESTS.json RESULTS SCRATCH [NAME ...]
"""

import concurrent.futures
import json
import os
import re
import signal
import subprocess
import sys
import time

SLOWDOWN = float(os.environ.get('TY_E2E_SLOWDOWN') or 1)


def properties(test):
    return {p['name']: p['value'] for p in test.get('properties', [])}


def guest_command(command):
    """The test's command as the machine runs it: the host's Python may be
    one the machine does not have (a Python of the user's own, say), and
    the machine's python3 runs the suite alike."""
    return ['/usr/bin/python3' if os.path.isabs(word) and not os.path.exists(word)
            and re.fullmatch(r'python3(\.\d+)?', os.path.basename(word)) else word
            for word in command]


def run(test, results, scratch, failed_setups):
    name, props = test['name'], properties(test)
    log_path = os.path.join(results, name + '.log')
    missing = sorted(set(props.get('FIXTURES_REQUIRED', [])) & failed_setups)
    start = time.monotonic()
    with open(log_path, 'wb') as log:
        if missing:
            log.write(f'not run: the fixture {", ".join(missing)} was not set up\n'.encode())
            code = 'not run'
        else:
            env = dict(os.environ)
            env.update(entry.split('=', 1) for entry in props.get('ENVIRONMENT', []))
            env['TY_E2E_PREFIXES'] = os.path.join(scratch, 'e2e-prefixes')
            limit = float(props.get('TIMEOUT', 1500)) * SLOWDOWN
            process = subprocess.Popen(guest_command(test['command']),
                                       cwd=props.get('WORKING_DIRECTORY'), env=env,
                                       stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT, start_new_session=True)
            try:
                code = process.wait(limit)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                log.write(f'\n*** no end within {limit:.0f} s: ended\n'.encode())
                code = 'timeout'
    with open(os.path.join(results, name + '.rc'), 'w') as f:
        f.write(f'{code if isinstance(code, int) else 1}\n')
    if code != 0:
        open(os.path.join(results, name + '.failed'), 'w').close()
    print(f'=== {name} exit {code} in {time.monotonic() - start:.0f} s', flush=True)
    return name, code


def main():
    listing, results, scratch, *names = sys.argv[1:]
    with open(listing) as f:
        tests = json.load(f)['tests']
    if names:
        wanted = set(names)
        needed = set()
        for test in tests:
            if test['name'] in wanted:
                needed.update(properties(test).get('FIXTURES_REQUIRED', []))
        tests = [t for t in tests if t['name'] in wanted
                 or needed & set(properties(t).get('FIXTURES_SETUP', []))]
    setups = [t for t in tests if properties(t).get('FIXTURES_SETUP')]
    failed_setups = set()
    for test in setups:
        if run(test, results, scratch, set())[1] != 0:
            failed_setups.update(properties(test)['FIXTURES_SETUP'])
    others = [t for t in tests if t not in setups]
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        list(pool.map(lambda t: run(t, results, scratch, failed_setups), others))


if __name__ == '__main__':
    main()
