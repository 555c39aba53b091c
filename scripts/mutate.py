#!/usr/bin/env python3
"""Mutation check of the test suite as CI runs it, run by hand.

Builds the trees of scripts/build.sh once in a scratch copy of this tree,
then for each mutant of scripts/mutants.txt changes one line, rebuilds, runs
the tests and puts the line back: first the host tests; when none of them
fails and the mutant is in the installer's sources, the Windows trees are
rebuilt and the Windows unit tests run under Wine, then the rest of the Wine
suite (labels e2e and wine). A mutant is killed
when a test fails, times out or the build fails (reported apart: such a
mutant tells nothing about the tests). Every mutant that survives is a
behaviour no test checks.

  python3 scripts/mutate.py [--only ID[,ID]] [-j N] [--keep] [--list] [--every]
                            [--host-only] [--out FILE]

The Wine suite needs the machine's own Wine (a kernel that runs 32-bit
programs); --host-only leaves it out. The fuzz entries run far longer than a
unit test and are not part of the check.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
KEYS = ('id', 'file', 'from', 'to', 'what')
LINE = re.compile(r'^(id|file|from|to|what):(?: (.*))?$')
# The host tree is built by scripts/build.sh, then configured once more
# without the fuzz targets, whose tests are not run here, so that they are
# not rebuilt for every mutant.
WITHOUT_FUZZ = ['-DTY_HAVE_LIBFUZZER=OFF']
HOST_LABELS = ['-LE', '(e2e|wine|fuzz)']
WINDOWS_UNIT = ['-R', '^win_unit_tests$']  # the quickest of the Wine suite
WINE_REST = ['-L', '(e2e|wine)', '-E', '^win_unit_tests$']
WINDOWS_TREES = ('win', 'win-tests')
TEST_TIMEOUT = 60       # seconds for one host test: longer is a hang
NICE = ['nice', '-n', '15']  # the machine is shared


def read_mutants(path):
    mutants, block = [], {}
    lines = path.read_text().splitlines() + ['']
    for number, line in enumerate(lines, 1):
        if line.startswith('#'):
            continue
        if not line.strip():
            if block:
                missing = [k for k in KEYS if k not in block]
                if missing:
                    sys.exit(f'{path}:{number - 1}: mutant without {", ".join(missing)}')
                mutants.append(block)
                block = {}
            continue
        match = LINE.match(line)
        if not match or match[1] in block:
            sys.exit(f'{path}:{number}: expected one "key: value" line each of {", ".join(KEYS)}')
        block[match[1]] = match[2] or ''
    ids = [m['id'] for m in mutants]
    twice = sorted({i for i in ids if ids.count(i) > 1})
    if twice:
        sys.exit(f'{path}: ids given twice: {", ".join(twice)}')
    return mutants


def check_texts(mutants, root):
    """Every original text once in its file, before anything is built."""
    faults = []
    for m in mutants:
        file = root / m['file']
        count = file.read_bytes().count(m['from'].encode()) if file.is_file() else 0
        if count != 1:
            faults.append(f"{m['id']}: the original text occurs {count} times in {m['file']}")
        elif m['from'] == m['to']:
            faults.append(f"{m['id']}: the replacement is the original")
    if faults:
        sys.exit('mutants that do not apply:\n  ' + '\n  '.join(faults))


def copy_tree(scratch):
    """The files git tracks, as they stand in this working tree."""
    listed = subprocess.run(['git', 'ls-files', '-z'], cwd=TOP, check=True,
                            capture_output=True).stdout.decode().split('\0')
    for name in filter(None, listed):
        source = TOP / name
        if source.is_file():
            (scratch / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(source, scratch / name)


def run(command, cwd, timeout=None):
    """(exit code or None on time-out, output, seconds). The whole process
    group goes on a time-out: ctest leaves test processes behind otherwise."""
    start = time.monotonic()
    process = subprocess.Popen(NICE + command, cwd=cwd, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, errors='replace',
                               start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        code = process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        code = None
    return code, output, time.monotonic() - start


PROGRESS = re.compile(r'^\s*\d+/\d+ Test\s+#\d+: (.+?) \.+\s*(.*?)\s+[\d.]+ sec$')


def failures(output):
    """The failed tests in the order they ended, each with how it failed."""
    found = []
    for line in output.splitlines():
        match = PROGRESS.match(line)
        if match and match[2] != 'Passed' and 'Skipped' not in match[2]:
            name = match[1].split('  #')[0]
            found.append((name, 'timeout' if 'Timeout' in match[2] else 'killed'))
    return found


def test(build, jobs, stop, labels, timeout=None):
    """The host tree's tests of labels (Wine tests keep their own time-outs)."""
    command = ['ctest', '--test-dir', str(build / 'host'), '-j', str(jobs), '--timeout',
               str(TEST_TIMEOUT)] + labels + (['--stop-on-failure'] if stop else [])
    return run(command, build, timeout)


def build_trees(src, build, jobs, trees):
    for tree in trees:
        code, output, _ = run(['cmake', '--build', str(build / tree), '-j', str(jobs)], src)
        if code != 0:
            return False
    return True


def try_mutant(m, src, build, jobs, timeouts, wine, every=False):
    file = src / m['file']
    original = file.read_bytes()
    start = time.monotonic()
    stages = [(('host',), HOST_LABELS, timeouts[0])]
    if wine and m['file'].startswith('src/'):
        stages.append((('win-tests',), WINDOWS_UNIT, timeouts[1]))
        stages.append((('win',), WINE_REST, timeouts[2]))
    failed = []
    try:
        file.write_bytes(original.replace(m['from'].encode(), m['to'].encode(), 1))
        for trees, labels, timeout in stages:
            if not build_trees(src, build, jobs, trees):
                return 'compile-error', time.monotonic() - start, ''
            code, output, _ = test(build, jobs, not every, labels, timeout)
            if code is None:
                return 'timeout', time.monotonic() - start, '(the whole run)'
            if code != 0:
                failed += failures(output) or [(f'(ctest exit {code})', 'killed')]
                if not every:
                    break
        seconds = time.monotonic() - start
        if not failed:
            return 'survived', seconds, ''
        if every:
            return failed[0][1], seconds, ' '.join(name for name, _ in failed)
        return failed[0][1], seconds, failed[0][0]
    finally:
        file.write_bytes(original)
        # The Windows trees as they were, for the next mutant's host stage.
        if len(stages) > 1:
            build_trees(src, build, jobs, WINDOWS_TREES)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--only', help='comma-separated ids of the mutants to run')
    parser.add_argument('-j', type=int, default=2, dest='jobs',
                        help='build and ctest jobs (default 2)')
    parser.add_argument('--keep', action='store_true', help='keep the scratch copy')
    parser.add_argument('--list', action='store_true', help='print the mutants and stop')
    parser.add_argument('--out', help='also write the results to this file')
    parser.add_argument('--every', action='store_true',
                        help='run every test for each mutant and name all that fail')
    parser.add_argument('--host-only', action='store_true',
                        help='leave the Wine suite out (a machine without Wine)')
    parser.add_argument('--mutants', default=str(TOP / 'scripts' / 'mutants.txt'))
    args = parser.parse_args()

    mutants = read_mutants(Path(args.mutants))
    if args.only:
        wanted = args.only.split(',')
        unknown = [i for i in wanted if i not in {m['id'] for m in mutants}]
        if unknown:
            sys.exit(f'unknown mutant ids: {", ".join(unknown)}')
        mutants = [m for m in mutants if m['id'] in wanted]
    if args.list:
        for m in mutants:
            print(f"{m['id']:40} {m['file']}: {m['what']}")
        return
    check_texts(mutants, TOP)

    began = time.monotonic()
    scratch = Path(tempfile.mkdtemp(prefix='ty-mutants-'))
    src, build = scratch / 'src', scratch / 'build'
    print(f'scratch copy: {scratch}', flush=True)
    try:
        copy_tree(src)
        check_texts(mutants, src)
        # The MinGW build's bzip2 source, fetched by scripts/setup.sh.
        (src / 'build-deps').symlink_to(TOP / 'build-deps')
        code, output, _ = run(['env', f'TY_BUILD_DIR={build}', 'bash', 'scripts/build.sh'], src)
        if code == 0:
            code, output, _ = run(['cmake', '-S', str(src), '-B', str(build / 'host')] + WITHOUT_FUZZ, src)
        if code != 0:
            sys.exit(f'{output}\nunmutated tree: the build failed')
        timeouts = []
        for labels in [HOST_LABELS] + ([] if args.host_only else [WINDOWS_UNIT, WINE_REST]):
            code, output, seconds = test(build, args.jobs, False, labels)
            if code != 0:
                failed = ', '.join(name for name, _ in failures(output)) or output[-2000:]
                sys.exit(f'unmutated tree: tests fail: {failed}')
            print(f'unmutated tree: tests {" ".join(labels)} pass in {seconds:.0f} s', flush=True)
            # A mutant that makes the run several times slower than that hangs.
            timeouts.append(3 * seconds + 120)
        timeouts.append(None)

        results = []
        out = open(args.out, 'w') if args.out else None
        for m in mutants:
            status, seconds, first = try_mutant(m, src, build, args.jobs, timeouts,
                                                not args.host_only, args.every)
            results.append(status)
            line = f"{m['id']:40} {status:13} {seconds:6.0f} s  {first}".rstrip()
            print(line, flush=True)
            if out:
                out.write(line + '\n')
        compiler = results.count('compile-error')
        hangs = results.count('timeout')
        killed = len(results) - results.count('survived')
        minutes = (time.monotonic() - began) / 60
        summary = (f'({compiler} by the compiler, {hangs} by a time-out; {minutes:.0f} min in all)\n'
                   f'killed {killed} / total {len(results)}')
        print(summary)
        if out:
            out.write(summary + '\n')
            out.close()
    finally:
        if args.keep:
            print(f'kept: {scratch}')
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == '__main__':
    main()
