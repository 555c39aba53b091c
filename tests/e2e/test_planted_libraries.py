"""Libraries planted beside the installer under Wine. A user runs the
installer from a shared folder, such as a downloads folder, that may hold a
library named like one that a run loads; Wine, as Windows, takes a library
from the program's folder when the program lets the search go there (the
first test shows it with a program of ours). From such a folder, with a
library of every name that its runs load planted beside it, the installer
loads none of them (a full installation with the folder browser, a failure
and its rollback, an upgrade), and changes the machine exactly as without
them. Every library a run loads is either planted or one of the core
libraries that the platform always takes from its own folder.

The planted library (driver/ty_planted.c) adds a line to C:\\ty-planted.txt
when anything loads it; Wine's +loaddll trace names what each run loaded."""

import os
import re
import shutil
import time
import unittest

from harness import Dialog, SessionCase, deadline
from installation import (INSTALL_DIR, PROBE, RUN_KEY, RUN_VALUE, START_MENU_FOLDER, Machine,
                          installed_changes, reg_section, registry_not_written, sample_product)
from upgrade import (DONE, MIGRATED, forget_product, install_earlier, progress, put_installers,
                     question, temp_folder, uninstaller_question, update_complete, updater_box)
from wizard import (BROWSE_ID, DESTINATION_CAPTION, confirmation, destination, happy_path,
                    licence, sample_licence_text, welcome)

DOWNLOADS = 'C:\\Downloads'
CONTROL = 'C:\\Control'
RECORD = 'C:\\ty-planted.txt'
PLANTED_DLL = 'ty_planted.dll'
IDCANCEL = 2

# Taken from the system folder whatever lies beside a program: the
# installer's two static imports and what they need themselves.
CORE = {'ntdll.dll', 'kernel32.dll', 'kernelbase.dll', 'msvcrt.dll'}

# Every other library that the runs below load, each planted beside the
# installer.
PLANTED = ['advapi32.dll', 'combase.dll', 'comctl32.dll', 'gdi32.dll', 'imm32.dll',
           'msimg32.dll', 'ole32.dll', 'rpcrt4.dll', 'sechost.dll', 'shcore.dll', 'shell32.dll',
           'shlwapi.dll', 'ucrtbase.dll', 'user32.dll', 'uxtheme.dll', 'version.dll',
           'win32u.dll', 'winex11.drv', 'zlib1.dll']

LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*?)" at ')
RUN_VALUE_LEFT_OVER = reg_section(RUN_KEY, **{RUN_VALUE: 'C:\\Elsewhere\\Tessaly Ticklet.exe'})


class Browser(Dialog):
    """The folder browser, left with Cancel: the destination page under it
    is then the next window again."""

    def __init__(self):
        super().__init__('Browse for Folder', actions=[('click', IDCANCEL)], name='browser')

    def answer(self, session, window):
        super().answer(session, window)
        end = deadline(10)
        while any(w.hwnd == window.hwnd for w in session.windows()):
            if time.monotonic() > end:
                session.fail('the folder browser did not close')
            time.sleep(0.05)
        session._order(f'forget {DESTINATION_CAPTION}', 5)


class PlantedLibraries(SessionCase):

    @classmethod
    def prepare(cls):
        cls.machine = Machine(cls.session)
        cls.entries = sample_product(cls.session)
        cls.planted = os.path.join(cls.session.paths.win_dir, 'tests', 'e2e', PLANTED_DLL)
        cls.machine.make_folder(DOWNLOADS)
        for name in PLANTED:
            shutil.copyfile(cls.planted, cls.machine.host(f'{DOWNLOADS}\\{name}'))
        cls.machine.installer = f'{DOWNLOADS}\\TYInstaller.exe'
        shutil.copyfile(cls.session.paths.installer, cls.machine.host(cls.machine.installer))
        cls.session.working_folder = DOWNLOADS
        cls.session.env['WINEDEBUG'] = '+pid,+loaddll'
        cls.session.stop_driver()
        cls.session.start_driver()
        cls.licence_text = sample_licence_text()

    def setUp(self):
        self.forget_record()
        self.session.started.clear()
        self.trace_start = self.trace_size()

    # -- what was loaded

    def trace_path(self):
        return os.path.join(self.session.out, 'driver-stderr.txt')

    def trace_size(self):
        path = self.trace_path()
        return os.path.getsize(path) if os.path.exists(path) else 0

    def record(self):
        path = self.machine.host(RECORD)
        if not os.path.exists(path):
            return []
        with open(path, 'rb') as f:
            return f.read().decode('latin-1').splitlines()

    def forget_record(self):
        path = self.machine.host(RECORD)
        if os.path.exists(path):
            os.remove(path)

    def loaded_by_the_installer(self):
        """(pid, path) of every library the programs started since setUp
        loaded, in order."""
        pids = {f'{pid:04x}' for pid in self.session.started}
        with open(self.trace_path(), 'rb') as f:
            f.seek(self.trace_start)
            lines = f.read().decode('latin-1').splitlines()
        found = []
        for line in lines:
            match = LOADED.match(line)
            if match and match.group(1) in pids:
                found.append(match.group(2).replace('\\\\', '\\'))
        return found

    def assert_nothing_planted_loaded(self, run):
        loaded = self.loaded_by_the_installer()
        self.session.note(f'{run}: loaded ' + ', '.join(loaded))
        self.assertNotEqual([], loaded, f'{run}: no library load was traced')
        self.assertEqual([], self.record(), f'{run}: planted libraries that were loaded')
        beside = [path for path in loaded if path.lower().startswith(DOWNLOADS.lower() + '\\')
                  and not path.lower().endswith('.exe')]
        self.assertEqual([], beside, f'{run}: libraries loaded from the installer\'s folder')
        names = {path.rsplit('\\', 1)[-1].lower() for path in loaded}
        unknown = sorted(name for name in names - CORE - set(PLANTED) if not name.endswith('.exe'))
        self.assertEqual([], unknown, f'{run}: loaded, neither core nor planted')

    # -- the cases

    def test_a_program_of_ours_takes_a_library_from_its_folder(self):
        # The guard's own proof: without a restricted search, a program's
        # load by bare name finds the planted library beside it.
        probe = f'{CONTROL}\\{PROBE}'
        self.machine.make_folder(CONTROL)
        shutil.copyfile(self.machine.host(self.machine.probe), self.machine.host(probe))
        shutil.copyfile(self.planted, self.machine.host(f'{CONTROL}\\shcore.dll'))
        code, output = self.machine.wine('wine', probe, 'load', 'shcore.dll')
        self.assertEqual((0, [f'{CONTROL}\\shcore.dll']), (code, output.splitlines()),
                         'the probe\'s exit code and where its shcore.dll came from')
        self.assertEqual([f'{CONTROL}\\shcore.dll\t{probe}'], self.record(),
                         'the planted library\'s record')

    def test_a_full_installation_with_the_folder_browser_loads_nothing_planted(self):
        self.machine.forget()
        before = self.machine.snapshot('before')
        self.machine.start_driver()
        walk = [welcome(), licence(self.licence_text),
                destination(actions=[('click', BROWSE_ID)]),
                Browser(),
                destination(name='destination-again')] + happy_path(self.licence_text)[3:]
        self.session.play(self.machine.installer, walk, exit_code=DONE, name='install')
        after = self.machine.snapshot('after')
        self.machine.start_driver()
        self.assertEqual(installed_changes(INSTALL_DIR, START_MENU_FOLDER,
                                           [name for name, _ in self.entries]),
                         sorted(self.machine.changes(before, after, 'by the installation')))
        self.assert_nothing_planted_loaded('install')

    def test_a_failure_and_its_rollback_load_nothing_planted(self):
        self.machine.forget(RUN_VALUE_LEFT_OVER)
        walk = [welcome(), licence(self.licence_text), destination(), confirmation()]
        _, now, restarted = self.machine.fail('run-value-left-over', walk,
                                              registry_not_written())
        self.assertEqual([], now, 'changes after the failed run')
        self.assertEqual([], restarted, 'changes after the restart')
        self.assert_nothing_planted_loaded('failure')

    def test_an_upgrade_loads_nothing_planted(self):
        forget_product(self.session, temp_folder(self.session))
        earlier, _ = put_installers(self.session)
        self.session.working_folder = 'C:\\ty-e2e'
        try:
            install_earlier(self.session, earlier, self.licence_text)
        finally:
            self.session.working_folder = DOWNLOADS
        self.session.started.clear()
        self.session.follow_descendants()
        try:
            self.session.play(self.machine.installer, [
                question(), uninstaller_question(), progress(),
                updater_box(MIGRATED, 'migrated'), update_complete(press='&No'),
            ], exit_code=DONE, name='upgrade')
        finally:
            self.session.follow_descendants(False)
        self.assert_nothing_planted_loaded('upgrade')


if __name__ == '__main__':
    unittest.main()
