"""The installation as the Wine suite and the demo see it: what a complete
installation of the sample product puts where (files, shortcuts, registry
values), the boxes that report a failed one and its undoing, and a Machine
that reads a session's prefix from disk, restarts it and holds files open.

Paths are the ones of a fresh 32-bit prefix: the default destination
under "C:\\Program Files", the all-users programs folder of the NT family in
"C:\\ProgramData", the current user's in the user's profile."""

import os
import re
import shutil
import subprocess

import prefix_state
from harness import (EXIT_FATAL, Box, HarnessError, WhileShown, kill_wineserver, start_holder,
                     stretched, text, wait_until_gone)
from wizard import PRODUCT, PROGRESS_CAPTION, SETUP_CAPTION

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE_FILES = os.path.join(TOP, 'sample', 'files')
ENTRIES_LIST = os.path.join(TOP, 'sample', 'entries.txt')

WEB_SITE = 'http://www.tessaly.example'
SUPPORT = 'support@tessaly.example'

INSTALL_DIR = 'C:\\Program Files\\Tessaly\\' + PRODUCT + '\\'
MAKER_FOLDER = 'C:\\Program Files\\Tessaly'
WINDOWS_FOLDER = 'C:\\windows'
COMMON_PROGRAMS = 'C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs'
START_MENU_FOLDER = COMMON_PROGRAMS + '\\' + PRODUCT
USER_PROGRAMS = 'C:\\users\\{user}\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs'

MAKER_KEY = 'HKLM\\Software\\Tessaly'
PRODUCT_KEY = MAKER_KEY + '\\' + PRODUCT
VERSION_KEY = PRODUCT_KEY + '\\2.9'
RUN_KEY = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run'
RUN_VALUE = 'Tessaly Ticklet for Vexor for DOS'
UNINSTALL_KEYS = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall'
UNINSTALL_KEY = UNINSTALL_KEYS + '\\' + PRODUCT + ' 2.9'
SESSION_MANAGER = 'HKLM\\System\\CurrentControlSet\\Control\\Session Manager'
PENDING_RENAMES = 'PendingFileRenameOperations'

PROBE = 'ty_system_probe.exe'
STATUS_ID, BAR_ID = 1004, 1009
# Where a box goes so that the page it covers can be seen: below the page,
# which a 1024 x 768 screen shows centred.
BOX_ASIDE = (0, 560)
HOLD_SECONDS = 600
HOLD_TIMEOUT_S = 30


def sample_entries():
    """The installed entries' names, entry 1 first."""
    with open(ENTRIES_LIST, encoding='ascii') as f:
        return [line.strip() for line in f if line.strip() and not line.startswith('#')]


# The six shortcuts: link file, target in the installation folder,
# arguments, description; the working folder is the installation folder,
# the uninstaller's the Windows folder.
SHORTCUTS = [
    ('Configuration and Manual Update.lnk', 'Tessaly Quenfold.exe', '-c',
     'Open configuration dialog; manually update AV definitions'),
    ('Create Emergency Disks.lnk', 'Tessaly Quenfold.exe', '-e',
     'Create a configurable set of emergency disks'),
    ('Help and Documentation.lnk', 'quenfold_for_vexor_for_dos.hlp', '',
     'Learn more from help and documentation'),
    ('Visit Website.lnk', 'www.tessaly.example.url', '', 'Browse to ' + WEB_SITE),
    ('Give Feedback.lnk', 'mail_to_tessaly.url', '',
     'Your feedback is very welcome -- our aim is flawlessness!'),
    ('Uninstall.lnk', 'uninstaller.exe', '', 'Remove this utility and its associated data files'),
]


def expected_shortcuts(install_dir=INSTALL_DIR, descriptions=True):
    """{link file: (target, arguments, working folder, description)}."""
    return {link: (install_dir + target, arguments,
                   WINDOWS_FOLDER if link == 'Uninstall.lnk' else install_dir,
                   description if descriptions else '')
            for link, target, arguments, description in SHORTCUTS}


def expected_registry(install_dir=INSTALL_DIR):
    """{(key, value name): data} of a complete installation."""
    uninstall = {
        'DisplayName': PRODUCT + ' 2.9',
        'UninstallString': install_dir + 'uninstaller.exe',
        'Comments': 'An Tessaly\u00ae Product',
        'Contact': SUPPORT,
        'DisplayIcon': install_dir + 'Tessaly Quenfold.exe',
        'DisplayVersion': '2.9',
        'HelpLink': WEB_SITE + '/support',
        'Publisher': 'Tessaly Ltd.',
        'Readme': install_dir + 'quenfold_for_vexor_for_dos.hlp',
        'URLInfoAbout': WEB_SITE,
        'URLUpdateInfo': WEB_SITE,
    }
    values = {(VERSION_KEY, 'InstallDir'): install_dir[:-1],
              (RUN_KEY, RUN_VALUE): install_dir + 'Tessaly Ticklet.exe'}
    values.update({(UNINSTALL_KEY, name): data for name, data in uninstall.items()})
    return values


LNKINFO_FIELDS = {'Local path': 0, 'Command line arguments': 1, 'Working directory': 2,
                  'Description': 3}


def lnkinfo(path):
    """(target, arguments, working folder, description) as lnkinfo reads the
    link file; a string it does not show is empty."""
    result = subprocess.run(['lnkinfo', path], capture_output=True, text=True,
                            timeout=stretched(30))
    if result.returncode != 0:
        raise AssertionError(f'lnkinfo {path} ended with {result.returncode}: {result.stderr}')
    fields = ['', '', '', '']
    section = None
    for line in result.stdout.splitlines():
        if line and not line.startswith('\t'):
            section = line.rstrip(':')
            continue
        name, colon, value = line.strip().partition(':')
        name = name.strip()
        if section == 'Link information' and colon and name in LNKINFO_FIELDS:
            fields[LNKINFO_FIELDS[name]] = value.strip()
    return tuple(fields)


def installed_changes(install_dir, start_menu_folder, entry_names):
    """The changes a complete installation makes to a machine that had
    nothing of the maker, as Machine.changes states them."""
    changes = [f'added key {MAKER_KEY}', f'added key {PRODUCT_KEY}', f'added key {VERSION_KEY}',
               f'added key {UNINSTALL_KEY}']
    for (key, name), data in expected_registry(install_dir).items():
        changes.append(f'added value {key}: {name} = {data}')
    maker = install_dir[:-1].rsplit('\\', 1)[0]
    changes += [f'added folder {maker}', f'added folder {install_dir[:-1]}']
    changes += [f'added file {install_dir}{name}' for name in entry_names]
    changes.append(f'added folder {start_menu_folder}')
    changes += [f'added file {start_menu_folder}\\{link}' for link in expected_shortcuts()]
    return sorted(changes)


# ------------------------------------------------------------------ boxes

REGISTRY_FAILED = text('registry-failed')


def box(text, icon, name):
    return Box(text, caption=SETUP_CAPTION, icon=icon, name=name)


def file_not_created(path):
    """The two boxes of a file that could not be created."""
    return [box(text('file-not-created', path=path), 'error', 'file-not-created'),
            box(text('undo-files'), 'information', 'undo-files')]


def shortcut_not_made(folder):
    """The two boxes of a shortcut that could not be made; folder None: the
    Start Menu folder could not be determined."""
    first = (text('start-menu-undetermined') if folder is None else
             text('shortcut-not-made', folder=folder))
    return [box(first, 'error', 'shortcut-not-made'),
            box(text('undo-shortcuts'), 'information', 'undo-shortcuts')]


def registry_not_written():
    return [box(REGISTRY_FAILED, 'error', 'registry-not-written'),
            box(text('undo-registry'), 'information', 'undo-registry')]


def files_left(folder):
    return box(text('files-left', folder=folder), 'information', 'files-left')


def shortcuts_left(folder):
    return box(text('shortcuts-left', folder=folder), 'warning', 'shortcuts-left')


# ------------------------------------------------------------------ registry data

_ESCAPES = {'\\': '\\', '"': '"', 'n': '\n', 'r': '\r', 't': '\t', '0': '\0', 'a': '\a'}


def wine_string(text):
    """A string of a registry file in Wine's own escaping, decoded."""
    out, at = [], 0
    while at < len(text):
        c = text[at]
        if c != '\\':
            out.append(c)
            at += 1
            continue
        nxt = text[at + 1]
        if nxt == 'x':
            match = re.match(r'[0-9a-fA-F]{1,4}', text[at + 2:])
            out.append(chr(int(match.group(0), 16)))
            at += 2 + len(match.group(0))
        else:
            out.append(_ESCAPES.get(nxt, nxt))
            at += 2
    return ''.join(out)


def registry_string(data):
    """The text of a REG_SZ value as the registry file holds it, or None for
    another type."""
    if data is None or not (data.startswith('"') and data.endswith('"')):
        return None
    return wine_string(data[1:-1])


def multi_strings(data):
    """The strings of a REG_MULTI_SZ value as the registry file holds it
    (str(7):"..." text, or hex(7): UTF-16 bytes); None for another type."""
    if data is None:
        return None
    if data.startswith('str(7):"') and data.endswith('"'):
        # Wine leaves out the string's own final zero, as for every string.
        text = wine_string(data[8:-1]) + '\0'
    elif data.startswith('hex(7):'):
        digits = re.sub(r'[^0-9a-fA-F,]', '', data[7:])
        text = bytes(int(b, 16) for b in digits.split(',') if b).decode('utf-16-le')
    else:
        return None
    # Each string ends with a zero, and the list with one more.
    if text.endswith('\0'):
        text = text[:-1]
    strings = text.split('\0')
    return strings[:-1] if strings and strings[-1] == '' else strings


def key_values(state, key):
    """{value name: data text} of a key of a snapshot, names unquoted; None
    when the key does not exist."""
    found = state.registry.get(key.lower())
    if found is None:
        return None
    return {wine_string(name[1:-1]) if name.startswith('"') else name: data
            for name, data in found[1].items()}


def sample_product(session):
    """[(name, bytes)] of the sample product's files, entry 1 first: the
    source tree's text and data files, the Windows build's programs."""
    files = []
    for name in sample_entries():
        path = os.path.join(SAMPLE_FILES, name)
        if not os.path.exists(path):
            path = os.path.join(session.paths.win_dir, 'sample', 'product', name)
        with open(path, 'rb') as f:
            files.append((name, f.read()))
    return files


def bar_position(sizes, written):
    """Where the bar stands after the first `written` of the installed
    entries: their share of all installed bytes, in whole percent."""
    return sum(sizes[:written]) * 100 // sum(sizes)


# ------------------------------------------------------------------ changes

def windows_path(relative):
    return 'C:\\' + relative.replace('/', '\\')


def summary(change):
    """One change as a test states it: 'added folder C:\\x', 'removed file
    C:\\y', 'changed file C:\\z', 'added key HKLM\\k', 'added value
    HKLM\\k: name = data' (data decoded: a string, or the strings of a
    multi-string value), ..."""
    verb = ('added' if change.before is None else 'removed' if change.after is None
            else 'changed')
    if change.kind == 'file':
        description = change.after or change.before
        what = ('folder' if description == 'folder' else
                'link' if description.startswith('link') else 'file')
        return f'{verb} {what} {windows_path(change.where)}'
    if change.kind == 'key':
        return f'{verb} key {change.where}'
    key, _, name = change.where.partition('\\\\')
    name = wine_string(name[1:-1]) if name.startswith('"') else name
    data = change.after if change.after is not None else change.before
    decoded = registry_string(data)
    if decoded is None:
        decoded = multi_strings(data)
    return f'{verb} value {key}: {name} = {decoded if decoded is not None else data}'


# ------------------------------------------------------------------ registry files

def reg_file(*sections):
    """A .reg file's text for `wine reg import`; keys as HKLM\\..."""
    text = 'Windows Registry Editor Version 5.00\r\n\r\n' + '\r\n'.join(sections) + '\r\n'
    return text.replace('[HKLM\\', '[HKEY_LOCAL_MACHINE\\').replace(
        '[-HKLM\\', '[-HKEY_LOCAL_MACHINE\\')


def reg_escaped(text):
    return text.replace('\\', '\\\\').replace('"', '\\"')


def reg_section(key, **values):
    """A key with string values; a value of None deletes it."""
    lines = [f'[{key}]']
    for name, data in values.items():
        lines.append(f'"{name}"=-' if data is None else f'"{name}"="{reg_escaped(data)}"')
    return '\r\n'.join(lines) + '\r\n'


# What a complete or a failed installation may leave in the registry, and
# what a test may have put there to make one fail.
FORGET_REGISTRY = [
    f'[-{MAKER_KEY}]\r\n',
    f'[-{UNINSTALL_KEY}]\r\n',
    reg_section(RUN_KEY, **{RUN_VALUE: None}),
    reg_section(SESSION_MANAGER, **{PENDING_RENAMES: None}),
]


# ------------------------------------------------------------------ machine

class Machine:
    """One session's Windows machine, shut down and started again as a test
    needs it: the prefix is read from disk after a shut-down (the server
    writes the registry out when it ends), a restart is Wine's simulated
    one. Everything goes into the session's transcript."""

    def __init__(self, session):
        self.session = session
        built = os.path.join(session.paths.win_dir, 'tests', 'e2e', PROBE)
        if not os.path.exists(built):
            raise HarnessError(f'{built} is missing: build the Windows tree')
        self.probe = session.put_program(built, PROBE)
        self.installer = session.put_program(session.paths.installer, 'TYInstaller.exe')
        self.hasher = prefix_state.Hasher()
        self.holder = None

    # -- life

    def shut_down(self):
        """Ends every Wine process of the session, the driver and a holder
        included; the registry is then on disk."""
        self.session.note('shut-down')
        self.session.stop_driver()
        kill_wineserver(self.session.env)
        left = wait_until_gone(self.session.marker, 15, keep_pid=self.session.xvfb.process.pid)
        if self.holder is not None:
            self.holder.wait(stretched(10))
            self.holder.stdout.close()
            self.holder = None
        if left:
            self.session.fail(f'left running after the shut-down: {left}')

    def start_driver(self):
        if self.session.driver is None:
            self.session.start_driver()

    def snapshot(self, label):
        """The prefix as on disk, after a shut-down."""
        self.shut_down()
        state = prefix_state.snapshot(self.session.prefix, self.hasher)
        self.session.note(f'snapshot {label}: {len(state.registry)} keys, '
                          f'{len(state.files)} files and folders')
        return state

    def restart(self):
        """Wine's simulated restart, which carries out what was left for the
        next start (and starts no Run entry)."""
        code, _, _ = self.session.command('wineboot', '-r', timeout=120)
        if code != 0:
            self.session.fail(f'wineboot -r ended with {code}')

    def changes(self, before, after, label):
        """The changes from before to after, each as its summary."""
        found = [summary(c) for c in prefix_state.difference(before, after)]
        self.session.note(f'changes {label}:' + ''.join(f'\n    {c}' for c in found))
        return found

    def forget(self, *registry, places=()):
        """Clears what the product, a failed run or an earlier case may have
        left (its registry entries, PendingFileRenameOperations, WININIT.INI,
        the maker's folder, the product's Start Menu folders and the given
        places), then imports the case's own registry sections."""
        folders = [MAKER_FOLDER, START_MENU_FOLDER,
                   self.user_programs() + '\\' + PRODUCT,
                   WINDOWS_FOLDER + '\\WININIT.INI', WINDOWS_FOLDER + '\\wininit.bak']
        for place in folders + list(places):
            path = self.host(place)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.remove(path)
        self.write('C:\\ty-e2e\\case.reg',
                   reg_file(*FORGET_REGISTRY, *registry).encode('ascii'))
        self.reg('import', 'C:\\ty-e2e\\case.reg')

    def fail(self, name, walk, boxes, hold=None, hold_at_first_box=None, before_restart=None):
        """Runs an installation that fails between two snapshots of the
        prefix and a restart: gives the progress page as seen (None when
        never seen), and the changes after the run and after the restart.
        hold: (paths, sharing) held from before the run on; hold_at_first_box:
        the same, started while the first box is shown; before_restart runs
        while the machine is down after the run."""
        before = self.snapshot(f'{name}: before')
        if hold:
            self.hold(*hold)
        self.start_driver()

        def at_first_box():
            # The page as it stood at the failure, the box moved below it.
            self.session.move(*BOX_ASIDE)
            self.session.screenshot(f'{name}-progress')
            if hold_at_first_box:
                self.hold(*hold_at_first_box)

        steps = [*walk, WhileShown(boxes[0], at_first_box), *boxes[1:]]
        seen = self.session.play(self.installer, steps, EXIT_FATAL, timeout=30, name=name,
                                 page=PROGRESS_CAPTION)
        page = seen and ProgressSeen(seen)
        failed = self.snapshot(f'{name}: after the run')
        if before_restart is not None:
            before_restart()
        self.restart()
        restarted = self.snapshot(f'{name}: after the restart')
        self.start_driver()
        return (page, self.changes(before, failed, 'after the run'),
                self.changes(before, restarted, 'after the restart'))

    # -- Windows side

    def wine(self, *command, timeout=60):
        code, output, _ = self.session.command(*command, timeout=timeout)
        return code, output

    def reg(self, *arguments):
        code, output = self.wine('wine', 'reg', *arguments)
        if code != 0:
            self.session.fail(f'wine reg {" ".join(arguments)} ended with {code}')
        return output

    def probe_lines(self, *orders):
        code, output = self.wine('wine', self.probe, *orders)
        if code != 0:
            self.session.fail(f'the probe ended with {code} on {orders}')
        return output.splitlines()

    def read_link(self, windows_path):
        """(target, arguments, working folder, description) as the shell's
        link object reads them inside Wine."""
        line, = self.probe_lines('link', windows_path)
        fields = line.split('\t')
        if len(fields) != 4:
            self.session.fail(f'the probe could not read {windows_path}: {line!r}')
        return tuple(fields)

    def hold(self, paths, sharing='hold'):
        """Starts a probe that holds the items open ('hold': others may read
        and write, nobody may delete; 'lock': nobody may even open them) and
        waits until it does. The next shut-down ends it."""
        self.holder = start_holder(self.session, ['wine', self.probe, sharing, *paths, str(HOLD_SECONDS)],
                                   HOLD_TIMEOUT_S)

    # -- host side

    def host(self, windows_path):
        return self.session.host_path(windows_path)

    def write(self, windows_path, data):
        path = self.host(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)

    def make_folder(self, windows_path):
        os.makedirs(self.host(windows_path), exist_ok=True)

    def user_programs(self):
        """The current user's programs folder (Windows 95 family shortcuts)."""
        users = [name for name in os.listdir(self.session.drive_c('users'))
                 if name.lower() != 'public' and not os.path.islink(
                     self.session.drive_c('users', name))]
        if len(users) != 1:
            self.session.fail(f'cannot tell the user from C:\\users: {users}')
        return USER_PROGRAMS.format(user=users[0])


# ------------------------------------------------------------------ runs

class ProgressSeen:
    """What the progress page showed when the driver read it."""

    def __init__(self, window):
        status = window.control(STATUS_ID)
        bar = window.control(BAR_ID)
        self.status = status['text'] if status else None
        self.position = bar.get('position') if bar else None
