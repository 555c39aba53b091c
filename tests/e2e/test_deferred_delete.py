"""Deletion now or at the next start under Wine, end to end: items that
another process holds open are handed over (PendingFileRenameOperations on
the NT family; on the Windows 95 family files through the [Rename] section
of WININIT.INI and folders through RunOnce entries), the pending-restart
check then reports them, and Wine's simulated restart (wineboot -r)
carries them out.

Each class plays one machine's story in order in setUpClass, with
ty_system_probe.exe running the installer's own code, and notes what it saw;
each test then checks one part of it."""

import os
import unittest

from harness import HarnessError, Session, start_holder

PROBE = 'ty_system_probe.exe'
SESSION_MANAGER = r'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
RUN_ONCE = r'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
PENDING_RENAMES = 'PendingFileRenameOperations'
HOLD_SECONDS = 600
HOLD_TIMEOUT_S = 30


class Machine:
    """One session's Windows side: the probe run with plain wine processes in
    the session's environment, a second probe holding files open, the
    registry value and WININIT.INI as seen from outside, and restarts. All of
    it goes into the session's transcript."""

    def __init__(self, session):
        self.session = session
        built = os.path.join(session.paths.win_dir, 'tests', 'e2e', PROBE)
        if not os.path.exists(built):
            raise HarnessError(f'{built} is missing: build the Windows tree')
        self.probe = session.put_program(built, PROBE)
        self.holder = None

    def wine(self, *command, timeout=60):
        """Runs a program under Wine; gives its exit code and its stdout."""
        code, output, _ = self.session.command(*command, timeout=timeout)
        return code, output

    def run(self, *orders):
        """The probe's answers to the orders, one line each."""
        code, output = self.wine('wine', self.probe, *orders)
        if code != 0:
            self.session.fail(f'the probe ended with {code} on {orders}')
        return output.splitlines()

    def hold(self, *paths):
        """Starts a second probe that holds the items open without delete
        sharing, and waits until it does."""
        self.holder = start_holder(self.session, ['wine', self.probe, 'hold', *paths, str(HOLD_SECONDS)],
                                   HOLD_TIMEOUT_S)

    def release(self):
        """Ends the holder; its handles close with it."""
        if self.holder is None:
            return
        self.session.note(f'kill holder (pid {self.holder.pid})')
        self.holder.kill()
        self.holder.wait(10)
        self.holder.stdout.close()
        self.holder = None

    def restart(self):
        """Wine's simulated restart: carries out the operations left for the
        next start."""
        code, _ = self.wine('wineboot', '-r', timeout=120)
        if code != 0:
            self.session.fail(f'wineboot -r ended with {code}')

    def pending_renames(self):
        """The strings of PendingFileRenameOperations as reg shows them, or
        None when the value does not exist."""
        code, output = self.wine('wine', 'reg', 'query', SESSION_MANAGER, '/v', PENDING_RENAMES)
        if code == 1 and 'Unable to find the specified registry value' in output:
            return None
        for line in output.splitlines():
            parts = line.strip().split('    ')
            if parts[0] == PENDING_RENAMES:
                if len(parts) != 3 or parts[1] != 'REG_MULTI_SZ':
                    self.session.fail(f'unexpected value: {line!r}')
                return parts[2].split('\\0')
        self.session.fail(f'reg query ended with {code} without the value')

    def run_once(self):
        """The RunOnce entries of the installer's folder removals, name to
        command."""
        code, output = self.wine('wine', 'reg', 'query', RUN_ONCE)
        entries = {}
        for line in output.splitlines():
            parts = line.strip().split('    ')
            if len(parts) == 3 and parts[0].startswith('Tessaly folder '):
                entries[parts[0]] = parts[2]
        self.session.note(f'RunOnce entries: {entries}')
        return entries

    def wininit_names(self):
        """The names under which WININIT.INI and its leftovers lie in the
        Windows folder."""
        names = sorted(name for name in os.listdir(self.session.drive_c('windows'))
                       if name.lower().startswith('wininit.'))
        self.session.note(f'WININIT files in C:\\windows: {names}')
        return names

    def read(self, windows_path):
        """The file's bytes as text, one character per byte, so that a
        difference shows line by line."""
        with open(self.session.host_path(windows_path), 'rb') as f:
            text = f.read().decode('latin-1')
        self.session.note(f'{windows_path} holds {text!r}')
        return text

    def write(self, windows_path, data):
        path = self.session.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)

    def listing(self, windows_path):
        """The folder's names, or None when it does not exist."""
        path = self.session.host_path(windows_path)
        names = sorted(os.listdir(path)) if os.path.isdir(path) else None
        self.session.note(f'{windows_path} on disk: {names}')
        return names


class StoryTestCase(unittest.TestCase):
    """Plays the class's story once, in a session of its own; seen holds what
    each step observed."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        cls.machine = None
        cls.seen = {}
        try:
            cls.machine = Machine(cls.session)
            cls.story(cls.machine, cls.seen)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.machine is not None:
            cls.machine.release()
        cls.session.__exit__(None, None, None)


class DeferredDeletionNtFamily(StoryTestCase):
    """The template prefix is a 32-bit NT-family system: MoveFileExA records
    the hand-overs in the registry."""

    @staticmethod
    def story(machine, seen):
        machine.write(r'C:\ty-held\data.txt', b'held\r\n')
        machine.write(r'C:\ty-free.txt', b'free\r\n')
        seen['family'] = machine.run('family')
        seen['pending at first'] = machine.run('pending')

        seen['missing'] = machine.run('delete', r'C:\ty-nowhere\gone.txt', 'file',
                                      'delete', r'C:\ty-nowhere', 'folder')
        seen['free'] = machine.run('delete', r'C:\ty-free.txt', 'file')
        seen['free on disk'] = os.path.exists(machine.session.host_path(r'C:\ty-free.txt'))
        seen['renames without hand-over'] = machine.pending_renames()

        machine.hold(r'C:\ty-held\data.txt')
        seen['held'] = machine.run('delete', r'C:\ty-held\data.txt', 'file',
                                   'delete', r'C:\ty-held', 'folder')
        seen['held on disk'] = machine.listing(r'C:\ty-held')
        seen['renames'] = machine.pending_renames()
        seen['wininit'] = machine.wininit_names()
        seen['pending'] = machine.run('pending')

        machine.release()
        machine.restart()
        seen['held after restart'] = machine.listing(r'C:\ty-held')
        seen['renames after restart'] = machine.pending_renames()
        seen['pending after restart'] = machine.run('pending')

    def test_the_prefix_is_of_the_nt_family_with_nothing_pending(self):
        self.assertEqual(['2'], self.seen['family'])
        self.assertEqual(['none'], self.seen['pending at first'])

    def test_a_path_that_does_not_exist_counts_as_deleted(self):
        self.assertEqual(['deleted', 'deleted'], self.seen['missing'])

    def test_a_file_nobody_holds_is_deleted_at_once(self):
        self.assertEqual(['deleted'], self.seen['free'])
        self.assertFalse(self.seen['free on disk'], r'C:\ty-free.txt is still on disk')

    def test_items_deleted_at_once_schedule_nothing(self):
        self.assertIsNone(self.seen['renames without hand-over'],
                          f'scheduled: {self.seen["renames without hand-over"]}')

    def test_a_held_file_and_its_folder_are_handed_over_and_stay(self):
        self.assertEqual(['handed-over', 'handed-over'], self.seen['held'])
        self.assertEqual(['data.txt'], self.seen['held on disk'])

    def test_the_hand_overs_are_recorded_for_deletion_file_first(self):
        # Pairs of source and target; an empty target deletes the source.
        self.assertEqual(['\\??\\C:\\ty-held\\data.txt', '', '\\??\\C:\\ty-held', ''],
                         self.seen['renames'])

    def test_the_nt_family_writes_no_wininit(self):
        self.assertEqual([], self.seen['wininit'])

    def test_the_hand_overs_make_the_check_report_pending(self):
        self.assertEqual(['pending'], self.seen['pending'])

    def test_the_restart_deletes_the_file_and_the_folder(self):
        self.assertIsNone(self.seen['held after restart'],
                          f'C:\\ty-held still holds {self.seen["held after restart"]}')
        self.assertIsNone(self.seen['renames after restart'],
                          f'still scheduled: {self.seen["renames after restart"]}')

    def test_after_the_restart_nothing_is_pending(self):
        self.assertEqual(['none'], self.seen['pending after restart'])


class DeferredDeletionWindows95Family(StoryTestCase):
    """Wine set to Windows 98: files are handed over under their short names
    through WININIT.INI, which the restart carries out and keeps as
    wininit.bak; folders through RunOnce entries that remove them once
    empty, innermost first."""

    WININIT = r'C:\windows\WININIT.INI'
    OTHER_PROGRAMS_WININIT = '[Other]\r\nkeep=this\r\n'
    OUTER = r'C:\ty-held'
    INNER = r'C:\ty-held\Inner Folder'
    FILES = [r'C:\ty-held\Inner Folder\one file.txt', r'C:\ty-held\Inner Folder\two.txt']
    maxDiff = None

    @classmethod
    def story(cls, machine, seen):
        code, _ = machine.wine('wine', 'reg', 'add', r'HKCU\Software\Wine', '/v', 'Version',
                               '/d', 'win98', '/f')
        if code != 0:
            machine.session.fail(f'setting the Windows version ended with {code}')
        seen['family'] = machine.run('family')
        seen['wininit at first'] = machine.wininit_names()
        seen['pending at first'] = machine.run('pending')

        # A hand-over on a system without WININIT.INI.
        machine.write(r'C:\ty-first\first.txt', b'first\r\n')
        machine.hold(r'C:\ty-first\first.txt')
        seen['first'] = machine.run('delete', r'C:\ty-first\first.txt', 'file')
        seen['first wininit'] = machine.wininit_names()
        seen['first wininit text'] = machine.read(cls.WININIT)
        seen['first pending'] = machine.run('pending')
        machine.release()
        machine.restart()
        seen['first after restart'] = machine.listing(r'C:\ty-first')
        seen['first wininit after restart'] = machine.wininit_names()
        seen['first pending after restart'] = machine.run('pending')

        # Two files with long names and their two folders, into a
        # WININIT.INI that another program wrote.
        machine.write(cls.WININIT, cls.OTHER_PROGRAMS_WININIT.encode('latin-1'))
        seen['pending with other wininit'] = machine.run('pending')
        for path in cls.FILES:
            machine.write(path, b'held\r\n')
        seen['short names'] = machine.run(*[order for path in cls.FILES + [cls.INNER, cls.OUTER]
                                            for order in ('short', path)])
        machine.hold(*cls.FILES, cls.INNER)
        seen['held'] = machine.run(*[order for path in cls.FILES
                                     for order in ('delete', path, 'file')],
                                   'delete', cls.INNER, 'folder', 'delete', cls.OUTER, 'folder')
        seen['held on disk'] = machine.listing(cls.INNER)
        seen['held wininit text'] = machine.read(cls.WININIT)
        seen['run once'] = machine.run_once()
        seen['renames'] = machine.pending_renames()
        seen['pending'] = machine.run('pending')
        machine.release()
        machine.restart()
        seen['held after restart'] = machine.listing(cls.OUTER)
        seen['run once after restart'] = machine.run_once()
        seen['wininit after restart'] = machine.wininit_names()
        seen['wininit.bak text'] = machine.read(r'C:\windows\wininit.bak')
        seen['pending after restart'] = machine.run('pending')

    def test_wine_set_to_windows_98_is_the_windows_95_family(self):
        self.assertEqual(['4'], self.seen['family'])

    def test_without_wininit_nothing_is_pending(self):
        self.assertEqual([], self.seen['wininit at first'])
        self.assertEqual(['none'], self.seen['pending at first'])

    def test_a_hand_over_creates_wininit_with_its_rename_line(self):
        self.assertEqual(['handed-over'], self.seen['first'])
        self.assertEqual(['WININIT.INI'], self.seen['first wininit'])
        self.assertEqual('[Rename]\r\nNUL=C:\\ty-first\\first.txt\r\n',
                         self.seen['first wininit text'])

    def test_a_wininit_written_by_a_hand_over_counts_as_pending(self):
        self.assertEqual(['pending'], self.seen['first pending'])

    def test_the_restart_deletes_the_file_and_renames_wininit_to_wininit_bak(self):
        self.assertEqual([], self.seen['first after restart'])
        self.assertEqual(['wininit.bak'], self.seen['first wininit after restart'])
        self.assertEqual(['none'], self.seen['first pending after restart'])

    def test_a_wininit_without_a_rename_section_counts_as_pending(self):
        self.assertEqual(['pending'], self.seen['pending with other wininit'])

    def test_wine_gives_long_names_short_names_of_eight_and_three(self):
        short = self.seen['short names']
        for path, name in zip(self.FILES + [self.INNER, self.OUTER], short):
            with self.subTest(path):
                self.assertRegex(name, r'^C:(\\[^\\ .]{1,8}(\.[^\\ .]{1,3})?)+$')
                self.assertEqual(path.count('\\'), name.count('\\'), f'got {name}')
        self.assertEqual(self.OUTER, short[3], 'a short name is its own short name')

    def test_four_held_items_are_handed_over_and_stay(self):
        self.assertEqual(['handed-over'] * 4, self.seen['held'])
        self.assertEqual(['one file.txt', 'two.txt'], self.seen['held on disk'])

    def test_files_get_a_line_each_under_their_short_names_after_the_other_sections(self):
        one, two = self.seen['short names'][:2]
        self.assertEqual(self.OTHER_PROGRAMS_WININIT
                         + '[Rename]\r\n'
                         f'NUL={one}\r\n'
                         f'NUL={two}\r\n',
                         self.seen['held wininit text'])

    def test_folders_get_run_once_removals_numbered_downwards_from_the_innermost(self):
        inner, outer = self.seen['short names'][2:]
        entries = self.seen['run once']
        self.assertEqual(['Tessaly folder 998', 'Tessaly folder 999'], sorted(entries))
        for name, folder in (('Tessaly folder 999', inner), ('Tessaly folder 998', outer)):
            with self.subTest(name):
                interpreter, _, removed = entries[name].partition(' /C RD ')
                self.assertEqual(folder, removed, f'got {entries[name]!r}')
                self.assertTrue(os.path.isfile(self.session.host_path(interpreter)),
                                f'{interpreter} is not on disk')

    def test_the_windows_95_family_schedules_nothing_in_the_registry(self):
        self.assertIsNone(self.seen['renames'], f'scheduled: {self.seen["renames"]}')

    def test_the_rename_lines_count_as_pending(self):
        self.assertEqual(['pending'], self.seen['pending'])

    def test_the_restart_deletes_the_files_then_the_folders_innermost_first(self):
        self.assertIsNone(self.seen['held after restart'],
                          f'{self.OUTER} still holds {self.seen["held after restart"]}')
        self.assertEqual({}, self.seen['run once after restart'])

    def test_the_restart_keeps_wininit_as_wininit_bak_and_nothing_is_pending(self):
        self.assertEqual(['wininit.bak'], self.seen['wininit after restart'])
        self.assertEqual(self.seen['held wininit text'], self.seen['wininit.bak text'])
        self.assertEqual(['none'], self.seen['pending after restart'])


if __name__ == '__main__':
    unittest.main()
