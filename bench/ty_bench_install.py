#!/usr/bin/env python3
"""The installation benchmark under Wine: prints its tables (Markdown).

Everything runs in one session of the end-to-end harness (a fresh 32-bit
prefix, a private X server), in the same run:

  * ty_bench_install.exe times the progress page in process
    (QueryPerformanceCounter around DialogBoxParamA), each of the steps it is
    made of, and libbzip2 decompressing the same 24 streams in memory; a
    second build of it does the same with libbzip2 compiled for speed;
  * whole processes, timed inside Wine from CreateProcessA to their end,
    taking turns within every round: a do-nothing GUI program (the floor),
    NSIS installers without files, of the same 24 files (bzip2, not solid),
    and of the files with our shortcuts and registry values, each installing
    silently (/S) into a fresh folder, and one installation by
    ty_bench_install.exe --install (what a run of our installer does besides
    its wizard); every installation is checked and removed again;
  * the user's wait in a real wizard run, read from the driver's times: ours
    (the payload's installer) from the Yes that confirms the destination to
    the ready page on the screen, and an NSIS installer doing the same work
    with its own directory and progress pages (instfiles, closing itself)
    from its Install to its end; on every page the driver first waits
    --dwell seconds, as a user reading it would;
  * the sizes of the installers.

The NSIS installers are yardsticks that this script makes with makensis at
run time; nothing of them goes into the product.

  ty_bench_install.py --win-dir build/win --payload-dir DIR --installer P.exe
                      --work DIR [--rounds N] [--dwell S]
  ty_bench_install.py --payload-dir DIR --work DIR --yardsticks-only

With --yardsticks-only it only makes the NSIS installers (in --work), for a
run elsewhere that has no makensis: a run finds them there and makes none.

--payload-dir holds the 24 files in package order as payload-order.txt names
them; --installer is our installer of them (typack). The harness's prefixes
and screenshots go under --work, apart from the test suite's.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BENCH_FOLDER = 'C:\\ty-bench'


class BenchError(Exception):
    pass


PRODUCT = 'Quenfold for Vexor for DOS'
MENU = f'$SMPROGRAMS\\{PRODUCT}'
UNINSTALL_KEY = f'SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{PRODUCT} 2.9'
SITE = 'http://www.tessaly.example'

# What our progress page does besides the files, in NSIS's words: the Start
# Menu folder of all users with the same six links, and the same registry
# values.
NSIS_LIKE_OURS = [
    '  SetShellVarContext all',
    f'  CreateDirectory "{MENU}"',
    f'  CreateShortCut "{MENU}\\Configuration and Manual Update.lnk" '
    '"$INSTDIR\\Tessaly Quenfold.exe" "-c" "" "" "" "" '
    '"Open configuration dialog; manually update AV definitions"',
    f'  CreateShortCut "{MENU}\\Create Emergency Disks.lnk" "$INSTDIR\\Tessaly Quenfold.exe" '
    '"-e" "" "" "" "" "Create a configurable set of emergency disks"',
    f'  CreateShortCut "{MENU}\\Help and Documentation.lnk" '
    '"$INSTDIR\\quenfold_for_vexor_for_dos.hlp" "" "" "" "" "" '
    '"Learn more from help and documentation"',
    f'  CreateShortCut "{MENU}\\Visit Website.lnk" "$INSTDIR\\www.tessaly.example.url" '
    f'"" "" "" "" "" "Browse to {SITE}"',
    f'  CreateShortCut "{MENU}\\Give Feedback.lnk" "$INSTDIR\\mail_to_tessaly.url" '
    '"" "" "" "" "" "Your feedback is very welcome -- our aim is flawlessness!"',
    '  SetOutPath "$WINDIR"',
    f'  CreateShortCut "{MENU}\\Uninstall.lnk" "$INSTDIR\\uninstaller.exe" "" "" "" "" "" '
    '"Remove this utility and its associated data files"',
    f'  WriteRegStr HKLM "SOFTWARE\\Tessaly\\{PRODUCT}\\2.9" "InstallDir" "$INSTDIR"',
    '  WriteRegStr HKLM "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run" '
    '"Tessaly Ticklet for Vexor for DOS" "$INSTDIR\\Tessaly Ticklet.exe"',
] + [f'  WriteRegStr HKLM "{UNINSTALL_KEY}" "{name}" "{value}"' for name, value in (
    ('DisplayName', f'{PRODUCT} 2.9'),
    ('UninstallString', '$INSTDIR\\uninstaller.exe'),
    ('Comments', 'An Tessaly\xae Product'),
    ('Contact', 'support@tessaly.example'),
    ('DisplayIcon', '$INSTDIR\\Tessaly Quenfold.exe'),
    ('DisplayVersion', '2.9'),
    ('HelpLink', f'{SITE}/support'),
    ('Publisher', 'Tessaly Ltd.'),
    ('Readme', '$INSTDIR\\quenfold_for_vexor_for_dos.hlp'),
    ('URLInfoAbout', SITE),
    ('URLUpdateInfo', SITE),
)]


def make_nsis_installers(payload_dir, names, out_dir):
    """The yardstick installers, by kind: 'files' the 24 files, 'full' the
    files, shortcuts and registry values as ours, 'picture' the files and the
    payload's welcome picture carried as ours carries it (unpacked into the
    installer's temporary folder, as a welcome page would use it), 'empty' no
    files."""
    payload_dir = os.path.abspath(payload_dir)
    files = [f'  File "{os.path.join(payload_dir, name)}"' for name in names]
    picture = ['  InitPluginsDir',
               f'  File "/oname=$PLUGINSDIR\\welcome.bmp" "{os.path.join(payload_dir, "welcome.bmp")}"']
    made = {}
    # 'pages': the same work as 'full' behind a directory page and NSIS's own
    # progress page, which closes itself at the end.
    pages = ['Page directory', 'Page instfiles', 'AutoCloseWindow true']
    for kind, head, body in (('files', [], files), ('full', [], files + NSIS_LIKE_OURS),
                             ('pages', pages, files + NSIS_LIKE_OURS),
                             ('picture', [], picture + files), ('empty', [], [])):
        script = os.path.join(out_dir, f'nsis-{kind}.nsi')
        output = os.path.join(out_dir, f'nsis-{kind}.exe')
        made[kind] = output
        if os.path.exists(output) and not shutil.which('makensis'):
            continue  # made beforehand by --yardsticks-only
        lines = [
            'SetCompressor bzip2',
            f'Name "Benchmark yardstick ({kind})"',
            f'OutFile "{output}"',
            f'InstallDir "{BENCH_FOLDER}\\nsis-default"',
            'ShowInstDetails nevershow',
        ] + head + [
            'Section',
            '  SetOutPath "$INSTDIR"',
        ] + body + ['SectionEnd']
        with open(script, 'w', encoding='utf-8-sig') as f:
            f.write('\n'.join(lines) + '\n')
        with open(os.path.join(out_dir, f'makensis-{kind}.log'), 'wb') as log:
            result = subprocess.run(['makensis', '-V2', script], stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT)
        if result.returncode != 0 or not os.path.exists(output):
            raise BenchError(f'makensis failed ({result.returncode}) on {script}; '
                             f'see {out_dir}/makensis-{kind}.log')
    return made


class Runner:
    """Runs Windows programs of the session by `wine`."""

    def __init__(self, session, log_dir):
        self.session = session
        self.log_dir = log_dir
        self.count = 0

    def must(self, program, *arguments, timeout=120):
        """Runs the program; raises BenchError unless it ends with 0. Output
        goes to files: a Wine process that a command starts may outlive it
        holding what it inherited."""
        self.count += 1
        err_path = os.path.join(self.log_dir, f'run-{self.count:04d}.stderr')
        command = ['wine', program] + list(arguments)
        with open(err_path, 'wb') as err:
            try:
                result = subprocess.run(command, env=self.session.env, cwd=self.session.prefix,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=err, timeout=timeout)
            except subprocess.TimeoutExpired:
                shot = self.session.screenshot('timeout')
                raise BenchError(f'{" ".join(command)} did not end within {timeout} s; '
                                 f'the screen is in {shot}')
        with open(err_path, 'rb') as err:
            errors = err.read().decode('utf-8', 'replace').strip()
        if errors:
            self.session.note(f'{" ".join(command)}: {errors}')
        else:
            os.unlink(err_path)
        if result.returncode != 0:
            raise BenchError(f'{" ".join(command)} ended with {result.returncode}, '
                             f'expected 0: {errors}')


def check_folder(host_folder, expected):
    """Problems with the files an installation left in host_folder."""
    problems = []
    for name, size in expected:
        path = os.path.join(host_folder, name)
        if not os.path.isfile(path):
            problems.append(f'{name} missing')
        elif os.path.getsize(path) != size:
            problems.append(f'{name} has {os.path.getsize(path)} bytes, expected {size}')
    return problems


def median(values):
    return statistics.median(values)


# The wizard's pages and buttons, as the Wine suite knows them.
WELCOME, LICENCE, DESTINATION = ':: Welcome', ':: 2/5', ':: 3/5'
PROGRESS, READY = ':: 4/5', ':: 5/5'
FORWARD, EXIT, FOLDER_ID = 1, 2, 1007
TASKS = (1010, 1011, 1012)


def order(session, line, wait_s=30):
    return session._order(line, wait_s)[1]


def next_window(session, expected, timeout=60):
    window = session.wait_window(timeout)
    if expected not in window.caption and not (expected == 'box' and window.is_message_box):
        raise BenchError(f'expected the window {expected!r}, got {window.summary()}')
    return window


def click(session, control_id):
    """Presses the button; gives when (the driver's clock, ms)."""
    return float(order(session, f'click {control_id}'))


def wizard_wait_ours(session, installer, folder, dwell):
    """One run of our installer through its wizard into folder: the
    milliseconds from the Yes of the confirmation to the ready page seen."""
    session.start(installer)
    for page in (WELCOME, LICENCE, DESTINATION):
        next_window(session, page)
        time.sleep(dwell)
        if page == DESTINATION:
            session.type(FOLDER_ID, folder)
        click(session, FORWARD)
    box = next_window(session, 'box')
    time.sleep(dwell)
    confirmed = click(session, box.button_ids['Yes'])
    # The progress page, when the driver sees it at all, has often gone by
    # the time it is read.
    window = session.wait_window(120)
    while READY not in window.caption:
        if not (window.gone or PROGRESS in window.caption):
            raise BenchError(f'expected the ready page, got {window.summary()}')
        window = session.wait_window(120)
    wait = window.data['seen'] - confirmed
    for task in TASKS:
        session.check(task, 0)
    click(session, EXIT)
    code = int(order(session, 'wait-exit 60000', 60).split()[0])
    if code != 0:
        raise BenchError(f'our installer ended with {code}, expected 0')
    return wait


def wizard_wait_nsis(session, installer, folder, dwell):
    """One run of the NSIS yardstick with its pages into folder: the
    milliseconds from its Install to its end."""
    session.start(f'{installer} /D={folder}')
    next_window(session, 'Setup')
    time.sleep(dwell)
    pressed = click(session, FORWARD)
    code, ended = order(session, 'wait-exit 120000', 120).split()
    if code != '0':
        raise BenchError(f'the NSIS installer with pages ended with {code}, expected 0')
    return float(ended) - pressed


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--win-dir')
    parser.add_argument('--payload-dir', required=True)
    parser.add_argument('--installer')
    parser.add_argument('--work', required=True)
    parser.add_argument('--rounds', type=int, default=21)
    parser.add_argument('--dwell', type=float, default=1.0)
    parser.add_argument('--yardsticks-only', action='store_true')
    args = parser.parse_args(argv)
    if args.yardsticks_only:
        with open(os.path.join(args.payload_dir, 'payload-order.txt')) as f:
            names = [line.rstrip('\n') for line in f if line.strip()]
        os.makedirs(args.work, exist_ok=True)
        make_nsis_installers(args.payload_dir, names, os.path.abspath(args.work))
        return 0
    if not (args.win_dir and args.installer):
        parser.error('--win-dir and --installer are needed')

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    # The harness's prefixes and output apart from the test suite's: making a
    # template clears every prefix under its folder.
    os.environ['TY_E2E_WIN_DIR'] = os.path.abspath(args.win_dir)
    os.environ['TY_E2E_PREFIXES'] = os.path.join(work, 'prefixes')
    os.environ['TY_E2E_OUT'] = os.path.join(work, 'out')
    sys.path.insert(0, os.path.join(TOP, 'tests', 'e2e'))
    import harness  # noqa: E402

    with open(os.path.join(args.payload_dir, 'payload-order.txt')) as f:
        names = [line.rstrip('\n') for line in f if line.strip()]
    if len(names) != 24:
        raise BenchError(f'payload-order.txt names {len(names)} files, expected 24')
    expected = [(n, os.path.getsize(os.path.join(args.payload_dir, n))) for n in names]

    nsis_made = make_nsis_installers(args.payload_dir, names, work)
    bench_exe = os.path.join(args.win_dir, 'bench', 'ty_bench_install.exe')
    bench_o2_exe = os.path.join(args.win_dir, 'bench', 'ty_bench_install_o2.exe')
    stub_o2 = os.path.join(args.win_dir, 'bench', 'ty_bench_stub_o2.exe')
    nothing_exe = os.path.join(args.win_dir, 'bench', 'ty_bench_nothing.exe')
    for needed in (bench_exe, bench_o2_exe, stub_o2, nothing_exe, args.installer):
        if not os.path.exists(needed):
            raise BenchError(f'{needed} is missing')

    print(f'(making the Wine prefix in {os.environ["TY_E2E_PREFIXES"]})', file=sys.stderr)
    with open(os.path.join(work, 'make-template.log'), 'w') as log:
        saved = sys.stdout
        sys.stdout = log
        try:
            harness.make_template()
        finally:
            sys.stdout = saved

    rounds = args.rounds
    with harness.Session('bench-install') as session:
        os.makedirs(session.drive_c('ty-bench'), exist_ok=True)

        def place(path, name):
            shutil.copyfile(path, session.drive_c('ty-bench', name))
            return f'{BENCH_FOLDER}\\{name}'

        bench = place(bench_exe, 'ty_bench_install.exe')
        bench_o2 = place(bench_o2_exe, 'ty_bench_install_o2.exe')
        nothing = place(nothing_exe, 'ty_bench_nothing.exe')
        ours = place(args.installer, 'payload.exe')
        nsis = {kind: place(path, f'nsis-{kind}.exe') for kind, path in nsis_made.items()}
        runner = Runner(session, session.out)

        # In process: the page and its parts.
        print(f'(in process: {rounds} rounds)', file=sys.stderr)
        measured = []
        for program in (bench, bench_o2):
            results = f'{BENCH_FOLDER}\\in-process.txt'
            runner.must(program, '--payload', ours, '--work', f'{BENCH_FOLDER}\\work',
                        '--rounds', str(rounds), '--out', results, timeout=120 + 10 * rounds)
            figures = {}
            with open(session.host_path(results)) as f:
                for line in f:
                    parts = line.split()
                    figures[parts[0]] = parts[1:]
            measured.append(figures)
        inproc, inproc_o2 = measured

        # Whole processes, taking turns; one untimed round first. Each is
        # timed inside Wine, from CreateProcessA to its end: timed from here
        # around `wine PROGRAM`, the times come in steps of some 50 ms.
        print(f'(whole processes: {rounds} rounds)', file=sys.stderr)
        launch_out = f'{BENCH_FOLDER}\\launch.txt'

        def timed(program, *arguments):
            runner.must(bench, '--launch', launch_out, '--', program, *arguments)
            with open(session.host_path(launch_out)) as f:
                return float(f.read().split()[0])

        walls = {'nothing': [], 'empty': [], 'files': [], 'full': [], 'ours': [],
                 'ours-setup': [], 'ours-first': [], 'ours-page': [], 'demand': [],
                 'demand-setup': [], 'demand-first': [], 'demand-page': [], 'wait-ours': [], 'wait-nsis': []}
        order(session, 'poll 10')
        for round_ in range(rounds + 1):
            times = {}
            times['nothing'] = timed(nothing)

            folder = f'{BENCH_FOLDER}\\nsis-empty-{round_}'
            times['empty'] = timed(nsis['empty'], '/S', f'/D={folder}')
            shutil.rmtree(session.host_path(folder), ignore_errors=True)

            folder = f'{BENCH_FOLDER}\\nsis-files-{round_}'
            times['files'] = timed(nsis['files'], '/S', f'/D={folder}')
            problems = check_folder(session.host_path(folder), expected)
            if problems:
                raise BenchError('the NSIS installation: ' + '; '.join(problems))
            shutil.rmtree(session.host_path(folder))

            # The same checks and removal as after ours: files, shortcuts,
            # registry entries.
            folder = f'{BENCH_FOLDER}\\nsis-full-{round_}'
            times['full'] = timed(nsis['full'], '/S', f'/D={folder}')
            runner.must(bench, '--payload', ours, '--clean', folder)

            # Ours, and the same with every entry unpacked by the page itself.
            for key, options in (('ours', []), ('demand', ['--on-demand'])):
                folder = f'{BENCH_FOLDER}\\{key}-{round_}'
                inside = f'{BENCH_FOLDER}\\install-times.txt'
                times[key] = timed(bench, '--payload', ours, '--install', folder, '--out', inside,
                                   *options)
                with open(session.host_path(inside)) as f:
                    for line in f:
                        name, value = line.split()
                        times[f'{key}-{name}'] = float(value)
                problems = check_folder(session.host_path(folder), expected)
                if problems:
                    raise BenchError(f'our installation ({key}): ' + '; '.join(problems))
                runner.must(bench, '--payload', ours, '--clean', folder)

            # The user's wait in real wizard runs.
            folder = f'{BENCH_FOLDER}\\wizard-{round_}'
            times['wait-ours'] = wizard_wait_ours(session, ours, folder, args.dwell)
            problems = check_folder(session.host_path(folder), expected)
            if problems:
                raise BenchError('our installation through the wizard: ' + '; '.join(problems))
            runner.must(bench, '--payload', ours, '--clean', folder)
            folder = f'{BENCH_FOLDER}\\nsis-pages-{round_}'
            times['wait-nsis'] = wizard_wait_nsis(session, nsis['pages'], folder, args.dwell)
            runner.must(bench, '--payload', ours, '--clean', folder)

            if round_ > 0:
                for key, value in times.items():
                    walls[key].append(value)

    with open(os.path.join(work, 'whole-process-times.json'), 'w') as f:
        json.dump(walls, f, indent=1)
    sizes = {
        'ours': os.path.getsize(args.installer),
        'stub': os.path.getsize(os.path.join(args.win_dir, 'TYInstallerStub.exe')),
        'stub_o2': os.path.getsize(stub_o2),
        'files': os.path.getsize(nsis_made['files']),
        'full': os.path.getsize(nsis_made['full']),
        'empty': os.path.getsize(nsis_made['empty']),
        'picture': os.path.getsize(nsis_made['picture']),
    }
    report(inproc, inproc_o2, walls, sizes, rounds, expected)
    return 0


def report(inproc, inproc_o2, walls, sizes, rounds, expected):
    def ms(key):
        return float(inproc[key][0])

    def row(label, key, figures=inproc):
        median_ms, min_ms = float(figures[key][0]), float(figures[key][1])
        return f'| {label} | {median_ms:.1f} ms | {min_ms:.1f} ms |'

    count, stored, content = (int(x) for x in inproc['streams'])
    total = sum(size for _, size in expected)
    print(f'Payload: {count} files, {total:,} bytes; in the package {stored:,} bytes of '
          f'bzip2 streams (entries 1 to 24).')
    print()
    print(f'In process, under Wine (QueryPerformanceCounter; medians and minima of {rounds} '
          'rounds, the measurements taking turns in each):')
    print()
    print('| Measurement | Median | Minimum |')
    print('|---|---:|---:|')
    print(row('Progress page, `DialogBoxParamA` to its return: 24 files, 6 shortcuts, '
              'registry entries', 'page'))
    print(row('libbzip2 alone: `BZ2_bzBuffToBuffDecompress` of the 24 streams in memory',
              'decompress'))
    print(row('`extractEntry` of entries 1 to 24 (read and decompress)', 'extract'))
    print(row('writing the 24 files from memory (`fopen`, `fwrite`, `fclose`)', 'write'))
    print(row('the page opened, shown and ended, nothing installed', 'frame'))
    print(row('`createShortcuts` (folder and 6 links)', 'shortcuts'))
    print(row('`writeProductRegistryEntries`', 'registry'))
    if 'linkprocessor' in inproc:
        print(row('Wine alone: starting `winemenubuilder.exe -w LINK` and waiting for it, '
                  '6 times, as Wine does on every `IPersistFile::Save` of a link',
                  'linkprocessor'))
    print(f'| the page less its steps above, round by round (status texts, repaints, '
          f'progress bar) | {ms("rest"):.1f} ms | |')
    print(row('with libbzip2 compiled `-O2` instead of `-Os` (a second program, run after '
              'the first): the progress page', 'page', inproc_o2))
    print(row('the same: libbzip2 alone', 'decompress', inproc_o2))
    print()
    ratio = ms('page') / ms('decompress')
    print(f'The progress page takes {ratio:.2f} times the decompression of its streams '
          f'(aim: at most 1.5): {"met" if ratio <= 1.5 else "not met"}.')
    files = (ms('extract') + ms('write')) / ms('decompress')
    print(f'Its files alone (`extractEntry` and writing) take {files:.2f} times.')
    if 'linkprocessor' in inproc:
        rest = ms('page') - ms('linkprocessor')
        print(f'Without the starts of Wine\'s link processor, which Windows does not make, '
              f'{rest / ms("decompress"):.2f} times.')
    ratio_o2 = float(inproc_o2['page'][0]) / float(inproc_o2['decompress'][0])
    print(f'With libbzip2 at `-O2`, {ratio_o2:.2f} times its own decompression.')
    print()
    floor = median(walls['nothing'])
    print(f'Whole processes under Wine, from `CreateProcessA` to the end of the process '
          f'(medians of {rounds} rounds, taking turns):')
    print()
    print('| Process | Median | Above the floor |')
    print('|---|---:|---:|')
    labels = [
        ('nothing', 'a do-nothing GUI program (the floor)'),
        ('empty', 'NSIS installer without files, `/S` into a fresh folder'),
        ('files', 'NSIS installer of the 24 files (bzip2, not solid), `/S` into a fresh folder'),
        ('full', 'the same with our 6 shortcuts and 13 registry values'),
        ('ours', 'ours without its wizard: lock, registry probes, package check, picture, '
                 'progress page (files, 6 shortcuts, 13 registry values), the entries unpacked '
                 'ahead from the package check on'),
        ('demand', 'the same with every entry unpacked by the page itself'),
    ]
    for key, label in labels:
        value = median(walls[key])
        print(f'| {label} | {value:.1f} ms | {value - floor:.1f} ms |')
    print(f'| of which, timed inside: from its first statement to the page '
          f'| {median(walls["ours-setup"]):.1f} ms | |')
    print(f'| of which, timed inside: the progress page | {median(walls["ours-page"]):.1f} ms | |')
    print(f'| the same on demand, timed inside: the progress page '
          f'| {median(walls["demand-page"]):.1f} ms | |')
    print()
    first, alone = median(walls['ours-first']), median(walls['demand-first'])
    print(f'The first two pages\' reads (the welcome picture and the licence, timed inside): '
          f'{first:.1f} ms with the thread reading beside them, {alone:.1f} ms without it '
          f'({first / alone:.2f} times; minima {min(walls["ours-first"]):.1f} and '
          f'{min(walls["demand-first"]):.1f} ms).')
    print()
    whole = median(walls['ours']) / median(walls['full'])
    print(f'Ours without its wizard takes {whole:.2f} times the silent NSIS installer doing the '
          f'same work (aim: at most 1.15): {"met" if whole <= 1.15 else "not met"}; '
          f'{median(walls["demand"]) / median(walls["full"]):.2f} times unpacking on demand.')
    print()
    wait_ours, wait_nsis = median(walls['wait-ours']), median(walls['wait-nsis'])
    print(f'The user\'s wait in a real wizard run (the driver\'s clock, looking every 10 ms; '
          f'medians, minima and maxima of {rounds} rounds):')
    print()
    print('| Wait | Median | Minimum | Maximum |')
    print('|---|---:|---:|---:|')
    for key, label in (('wait-ours', 'ours: from the Yes that confirms the destination to the '
                                     'ready page on the screen'),
                       ('wait-nsis', 'NSIS installer with its directory and progress pages, the '
                                     'same work: from its Install to its end')):
        print(f'| {label} | {median(walls[key]):.1f} ms | {min(walls[key]):.1f} ms '
              f'| {max(walls[key]):.1f} ms |')
    print()
    print(f'Our wait is {wait_ours / wait_nsis:.2f} times the NSIS installer\'s (aim: at most '
          f'0.5): {"met" if wait_ours <= 0.5 * wait_nsis else "not met"}. Our progress page in '
          f'a process without its wizard took {median(walls["ours-page"]):.1f} ms with the '
          f'entries unpacked ahead and {median(walls["demand-page"]):.1f} ms unpacking them '
          f'itself.')
    print()
    print('| Installer | Size |')
    print('|---|---:|')
    print(f'| ours: `TYInstallerStub.exe` + package (welcome picture and 24 files) '
          f'| {sizes["ours"]:,} B |')
    print(f'| of which the stub | {sizes["stub"]:,} B |')
    print(f'| the stub with libbzip2 compiled `-O2` | {sizes["stub_o2"]:,} B |')
    print(f'| NSIS installer of the 24 files | {sizes["files"]:,} B |')
    print(f'| the same with our shortcuts and registry values | {sizes["full"]:,} B |')
    print(f'| the same with the welcome picture too | {sizes["picture"]:,} B |')
    print(f'| NSIS installer without files | {sizes["empty"]:,} B |')
    print()
    smaller = sizes['ours'] < sizes['files']
    print(f'Ours is {sizes["ours"] / sizes["files"]:.3f} times the size of the NSIS installer '
          f'of the 24 files (aim: below 1): {"met" if smaller else "not met"}; '
          f'{sizes["ours"] / sizes["picture"]:.3f} times the one that carries the welcome '
          f'picture as well.')


if __name__ == '__main__':
    try:
        sys.exit(main(sys.argv[1:]))
    except BenchError as error:
        print(f'ty_bench_install.py: {error}', file=sys.stderr)
        sys.exit(1)
