"""The upgrade from the sample product's version 2.5 as the harness expects
it: the earlier installer's walk, the boxes of the upgrade and of the old
uninstaller, the helper programs put around the installer, and the reading
of what an upgrade leaves (registry values, the temporary folder, the start
records of the product's programs). The tests and the demo share it."""

import os
import re
import shutil
import time

from harness import (Box, HarnessError, Passing, deadline, run_typack, session_processes,
                     text)
import installation
from installation import (MAKER_FOLDER, MAKER_KEY, PENDING_RENAMES, RUN_KEY, RUN_VALUE,
                          SESSION_MANAGER, START_MENU_FOLDER, UNINSTALL_KEYS)
from wizard import PRODUCT, PROGRESS_CAPTION, SETUP_CAPTION, happy_path

EARLIER = '2.5'
UPDATER_CAPTION = 'Tessaly Updater'
UNINSTALLER_CAPTION = 'Tessaly Uninstaller'
DONE = 0

# As the registry and the boxes give it: without its closing backslash.
INSTALL_DIR = installation.INSTALL_DIR[:-1]

CONFIG, SCHEDULER_DATA, UNINSTALLER = 'TYQuenfold.ini', 'TYScheduler.dat', 'uninstaller.exe'
# The upgrade's own folder under the temporary folder: the first free name.
UPGRADE_FOLDER = 'TYUpgrade1\\'
# Who may do what in it, as the old uninstaller's copy reads it: the system
# and the installer's own user (an administrator) only. Wine keeps a folder's
# access as its Unix mode, so what the installer asks for shows as the
# absence of the entry for everyone (WD) that a folder made as any other has.
UPGRADE_FOLDER_ACCESS = 'D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)'
START_LOG = 'TYStarts.log'
HELP_FILE = 'quenfold_for_vexor_for_dos.hlp'
HELP_CONTEXT = 1  # WinHelpA's command for a topic by context number

# Where the tests' helper programs live and talk (C:\ty-e2e of the session).
HELPER = 'ty_upgrade_helper.exe'
FAKE_ORDERS = 'fake-uninstaller.txt'
FAKE_LOG = 'fake-uninstaller.log'
HELP_LOG = 'help-requests.log'
STOP_HOLDING = 'stop-holding.txt'

# User settings that the tests write into the installed 2.5 files, so that
# what an upgrade carries over can be told from the files 2.9 brings.
USER_CONFIG = b'[Quenfold]\r\nScanDepth=7\r\nLanguage=Latin\r\n; set by the user of 2.5\r\n'
USER_SCHEDULE = b'TYSCHED\x00\x01user schedule of 2.5: every Tuesday 03:00\x00'

QUESTION = text('upgrade-question', version=EARLIER)
WILL_NOW_CLOSE = text('upgrade-will-now-close')
NOT_TO_CONTINUE = text('upgrade-not-to-continue')
CANNOT_CONTINUE = text('upgrade-cannot-continue')
CANNOT_COPY = text('upgrade-cannot-copy')
CANNOT_RUN = text('upgrade-cannot-run')
LOCK_LOST = text('upgrade-lock-lost')
MIGRATED = text('upgrade-migrated')
UPDATE_COMPLETE = text('upgrade-update-complete')
UNDO_AFTER_REGISTRY = text('undo-registry')

# The old version's own uninstaller (the sample build's), run for an update.
UNINSTALLER_QUESTION = (
    f'A newer version of {PRODUCT} is about to be installed. The installed version {EARLIER}, '
    f'in\n\n{INSTALL_DIR}\n\nhas to be removed first; your configuration is carried over to '
    f'the new version.\n\nDo you want to remove version {EARLIER} now?')


def kept(folder):
    """The box that names the saved configuration once the old version is
    gone and the new one could not be installed."""
    return Box(text('kept', folder=folder),
               caption=UPDATER_CAPTION, icon='warning', name='configuration-kept')


def not_migrated(*copies):
    """The box that names the saved copies that could not go back into the
    new installation."""
    return Box(text('not-migrated', copies='\n\t'.join(copies)),
               caption=UPDATER_CAPTION, icon='warning', name='not-migrated')


def not_saved(file):
    """The box of a configuration file that is there but cannot be saved."""
    return Box(text('not-saved', file=file),
               caption=UPDATER_CAPTION, icon='error', name='not-saved')


def question(press='&Yes'):
    return Box(QUESTION, caption=SETUP_CAPTION, icon='question', buttons=('&Yes', '&No'),
               press=press, name='upgrade-question')


def uninstaller_question(press='&Yes'):
    return Box(UNINSTALLER_QUESTION, caption=UNINSTALLER_CAPTION, icon='question',
               buttons=('&Yes', '&No'), press=press, name='uninstaller-question')


def updater_box(text, name, icon='information'):
    return Box(text, caption=UPDATER_CAPTION, icon=icon, name=name)


def update_complete(press):
    return Box(UPDATE_COMPLETE, caption=UPDATER_CAPTION, icon='information',
               buttons=('&Yes', '&No'), press=press, name='update-complete')


def progress():
    return Passing(PROGRESS_CAPTION, name='progress')


def earlier_happy_path(licence_text, version=EARLIER):
    """The earlier installer's walk: the same pages as this version's, with
    its own version in their captions; every finishing task cleared."""
    steps = happy_path(licence_text)
    for step in steps:
        step.caption = step.caption.replace(' 2.9 Setup', f' {version} Setup')
    return steps


# ------------------------------------------------------------------ the session

def put_installers(session):
    """Both installers into C:\\ty-e2e: (2.5, 2.9) as command lines."""
    earlier = session.put_program(
        os.path.join(session.paths.win_dir, f'TYInstaller-{EARLIER}.exe'),
        f'TYInstaller-{EARLIER}.exe')
    return earlier, session.put_program(session.paths.installer, 'TYInstaller.exe')


def helper_path(session):
    return os.path.join(session.paths.win_dir, 'tests', 'e2e', HELPER)


def put_helpers(session):
    """The helper program under its own name, and as the help viewer that
    WinHelpA starts ("winhlp32.exe -x"): Windows looks for a program first in
    the folder of the program that starts it, the installer's C:\\ty-e2e."""
    session.put_program(helper_path(session), HELPER)
    session.put_program(helper_path(session), 'winhlp32.exe')


def temp_folder(session):
    """The temporary folder as the session's programs see it, with its
    closing backslash, as GetTempPathA gives it."""
    code, output, errors = session.command('wine', 'cmd', '/c', 'echo %TEMP%')
    folder = output.strip()
    if code != 0 or not folder[:3].upper() == 'C:\\':
        raise HarnessError(f'no temporary folder: exit {code}, {output!r} {errors!r}')
    return folder.rstrip('\\') + '\\'


def read_host(session, windows_path):
    """The file's bytes, None when it does not exist."""
    path = session.host_path(windows_path)
    if not os.path.isfile(path):
        return None
    with open(path, 'rb') as f:
        return f.read()


def write_host(session, windows_path, data):
    path = session.host_path(windows_path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def remove_host(session, windows_path):
    path = session.host_path(windows_path)
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.chmod(path, 0o644)
        os.remove(path)


def log_lines(session, windows_path):
    """The lines of a log of ours or of the product's programs, each split at
    its tabs; [] when there is none."""
    data = read_host(session, windows_path)
    if data is None:
        return []
    return [line.split('\t') for line in data.decode('latin-1').split('\r\n') if line]


def wait_for_lines(session, windows_path, count, timeout=10):
    """The log once it has at least count lines (the product's programs are
    started without anyone waiting for them), or as it is at the time-out."""
    end = deadline(timeout)
    while True:
        lines = log_lines(session, windows_path)
        if len(lines) >= count or time.monotonic() >= end:
            return lines
        time.sleep(0.1)


# ------------------------------------------------------------------ registry

REG_LINE = re.compile(r'^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$')


def reg_query(session, key):
    """{value name: data} of the key ('' names the default value), None when
    the key does not exist. Subkeys are not listed."""
    code, output, _ = session.command('wine', 'reg', 'query', key)
    if code != 0:
        return None
    values = {}
    for line in output.splitlines():
        match = REG_LINE.match(line)
        if match:
            name = match.group(1)
            values['' if name == '(Default)' else name] = match.group(3) or ''
    return values


def reg_subkeys(session, key):
    """The names of the key's subkeys, None when the key does not exist."""
    code, output, _ = session.command('wine', 'reg', 'query', key)
    if code != 0:
        return None
    prefix = 'HKEY_LOCAL_MACHINE\\' + key.split('\\', 1)[1] + '\\'
    return [line[len(prefix):] for line in output.splitlines()
            if line.upper().startswith(prefix.upper())]


def reg_import(session, lines):
    """Imports registry lines (a .reg file's body: keys to add or, written
    [-KEY], to delete; values, or "name"=- to delete one) in one run."""
    text = 'REGEDIT4\r\n\r\n' + '\r\n'.join(lines) + '\r\n'
    write_host(session, 'C:\\ty-e2e\\registry.reg', text.encode('latin-1'))
    code, _, errors = session.command('wine', 'regedit', '/S', 'C:\\ty-e2e\\registry.reg')
    if code != 0:
        raise HarnessError(f'regedit /S failed with {code}: {errors}')


def forget_product(session, temp):
    """Every trace of any version of the product: registry, folders, Start
    Menu, the temporary copies and the helpers' logs and marks."""
    full = lambda key: 'HKEY_LOCAL_MACHINE\\' + key.split('\\', 1)[1]
    reg_import(session, [
        f'[-{full(MAKER_KEY)}]',
        f'[-{full(UNINSTALL_KEYS)}\\{PRODUCT} {EARLIER}]',
        f'[-{full(UNINSTALL_KEYS)}\\{PRODUCT} 2.9]',
        f'[{full(RUN_KEY)}]',
        f'"{RUN_VALUE}"=-',
        f'[{full(SESSION_MANAGER)}]',
        f'"{PENDING_RENAMES}"=-',
    ])
    for path in (MAKER_FOLDER, START_MENU_FOLDER, temp + CONFIG, temp + SCHEDULER_DATA,
                 temp + UNINSTALLER):
        remove_host(session, path)
    host_temp = session.host_path(temp)
    for name in os.listdir(host_temp) if os.path.isdir(host_temp) else ():
        if name.startswith('TYUpgrade'):
            remove_host(session, temp + name)
    for name in (FAKE_ORDERS, FAKE_LOG, HELP_LOG, STOP_HOLDING, 'lock-holder-ready.txt',
                 'lock-holder-failed.txt', 'file-holder-ready.txt', 'file-holder-failed.txt'):
        remove_host(session, 'C:\\ty-e2e\\' + name)


def install_earlier(session, program, licence_text):
    """Installs 2.5 with its own installer, then writes the user's settings
    into its configuration files."""
    session.play(program, earlier_happy_path(licence_text), exit_code=DONE,
                 name=f'install-{EARLIER}')
    write_host(session, f'{INSTALL_DIR}\\{CONFIG}', USER_CONFIG)
    write_host(session, f'{INSTALL_DIR}\\{SCHEDULER_DATA}', USER_SCHEDULE)


def product_files(session, installer, folder):
    """{name: bytes} of the 24 files that the installer's package installs,
    taken out of the installer by the package tool."""
    shutil.rmtree(folder, ignore_errors=True)
    result = run_typack('extract', installer, '--output', folder)
    if result.returncode != 0:
        raise HarnessError(f'typack extract {installer} failed: {result.stderr}')
    files = {}
    for name in os.listdir(folder):
        if name != 'welcome.bmp':
            with open(os.path.join(folder, name), 'rb') as f:
                files[name] = f.read()
    if len(files) != 24:
        raise HarnessError(f'{installer} gave {len(files)} files, expected 24: {sorted(files)}')
    return files


def hold_file(session, windows_path, timeout=15, role='hold-file'):
    """Starts a helper that keeps the file open without delete sharing (until
    stop_holders), and waits until it does; role 'lock-file' shares nothing,
    so that nobody can even read it."""
    ready = 'C:\\ty-e2e\\file-holder-ready.txt'
    remove_host(session, ready)
    code, _, errors = session.command('wine', 'start', 'C:\\ty-e2e\\' + HELPER, role,
                                      windows_path, '600')
    if code != 0:
        raise HarnessError(f'the file holder did not start: exit {code}, {errors}')
    end = deadline(timeout)
    while read_host(session, ready) is None:
        if read_host(session, 'C:\\ty-e2e\\file-holder-failed.txt') is not None:
            raise HarnessError(f'the file holder could not open {windows_path}')
        if time.monotonic() >= end:
            raise HarnessError(f'the file holder did not report holding {windows_path}')
        time.sleep(0.05)


def stop_holders(session, timeout=15):
    """Lets the helpers that hold the lock or a file go, and waits until they
    have ended."""
    write_host(session, 'C:\\ty-e2e\\' + STOP_HOLDING, b'')
    end = deadline(timeout)
    while any('hold-' in command or 'lock-file' in command
              for _, command in session_processes(session.marker)):
        if time.monotonic() >= end:
            raise HarnessError('the helpers holding the lock or a file did not end')
        time.sleep(0.1)
    remove_host(session, 'C:\\ty-e2e\\' + STOP_HOLDING)

