#!/usr/bin/env python3
"""Runs one test of the Wine suite as ctest names it. On a machine where
Wine runs, it runs the test's command; where scripts/test.sh ran the suite
in the virtual machine instead (scripts/wine-vm.sh), TY_WINE_VM_RESULTS
names that run's results, and it reports the test's output and exit code
from there, so that ctest counts every test of the suite whichever way it
ran, and a test the machine did not run fails.

  wine_run.py NAME COMMAND ...
"""

import os
import sys


def main():
    name, command = sys.argv[1], sys.argv[2:]
    results = os.environ.get('TY_WINE_VM_RESULTS')
    if not results:
        os.execvp(command[0], command)
    try:
        with open(os.path.join(results, name + '.log'), 'rb') as f:
            sys.stdout.buffer.write(f.read())
        with open(os.path.join(results, name + '.rc')) as f:
            code = int(f.read())
    except (OSError, ValueError) as error:
        sys.exit(f'{name} did not run in the virtual machine ({error}); '
                 'see build/wine-vm/console.log')
    print(f'(run in the virtual machine: {results})')
    sys.exit(code)


if __name__ == '__main__':
    main()
