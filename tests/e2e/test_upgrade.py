"""The upgrade of version 2.5, installed by its own installer, to 2.9 under
Wine: what the user is asked and told (texts, captions, icons) by the
installer and by the old version's uninstaller, the exit codes, and what
is left in the installation folder, the registry and the temporary folder.

The uninstaller's boxes belong to a process that the installer starts, so
the driver follows the installer's descendants. Where the old uninstaller
has to end otherwise than the sample's can be made to, a helper program of
ours (driver/ty_upgrade_helper.cpp) stands in for it in the old folder and
does what C:\\ty-e2e\\fake-uninstaller.txt tells it; it also stands in for
the help viewer that WinHelpA starts, and records what it is asked to show.
"""

import hashlib
import os
import shutil
import tempfile
import unittest

from harness import EXIT_FATAL, MODIFIED_PACKAGE, Box, SessionCase, stretched, text
from installation import (MAKER_FOLDER, MAKER_KEY, PENDING_RENAMES, PRODUCT_KEY, REGISTRY_FAILED,
                          RUN_KEY, RUN_VALUE, SESSION_MANAGER, START_MENU_FOLDER, UNINSTALL_KEYS)
from upgrade import (CANNOT_CONTINUE, CANNOT_COPY, CANNOT_RUN, CONFIG, DONE, EARLIER, FAKE_LOG, HELPER,
                     FAKE_ORDERS, HELP_CONTEXT, HELP_FILE, HELP_LOG, INSTALL_DIR, LOCK_LOST,
                     MIGRATED, NOT_TO_CONTINUE, PRODUCT, SCHEDULER_DATA, START_LOG,
                     UNDO_AFTER_REGISTRY, UNINSTALLER, UNINSTALLER_CAPTION,
                     UPGRADE_FOLDER, UPGRADE_FOLDER_ACCESS, USER_CONFIG, USER_SCHEDULE,
                     WILL_NOW_CLOSE, forget_product, helper_path, hold_file, install_earlier, kept, log_lines, not_migrated,
                     not_saved, product_files, progress,
                     put_helpers, put_installers, question, read_host, reg_import, reg_query,
                     reg_subkeys, remove_host, stop_holders, temp_folder, uninstaller_question,
                     update_complete, updater_box, wait_for_lines, write_host)
from wizard import PENDING_REBOOT, SETUP_CAPTION, sample_licence_text

# The retries of the deletion of the temporary uninstaller: 1 s, then 10 s.
DELETE_RETRIES_S = 11


def described(data):
    """A file's content for a failure message: short ones in full."""
    if data is None:
        return 'nothing (no such file)'
    if len(data) <= 200:
        return repr(data)
    return f'{len(data)} bytes, md5 {hashlib.md5(data).hexdigest()}'


class Timed:
    """A step that notes when its window was seen, in seconds of the clock
    of the machine the installer runs on (the driver's), so that a slower
    machine does not change what is measured."""

    def __init__(self, step, stamps):
        self.step, self.stamps = step, stamps
        self.optional, self.name = step.optional, step.name

    def differences(self, window):
        self.stamps.setdefault(self.name, window.data['seen'] / 1000)
        return self.step.differences(window)

    def answer(self, session, window):
        self.step.answer(session, window)


class UpgradeCase(SessionCase):
    """One session for the class: both installers, the helpers, the driver
    following the installer's descendants."""

    @classmethod
    def prepare(cls):
        cls.earlier, cls.program = put_installers(cls.session)
        put_helpers(cls.session)
        cls.temp = temp_folder(cls.session)
        cls.saved = cls.temp + UPGRADE_FOLDER
        cls.licence_text = sample_licence_text()
        cls.session.follow_descendants()

    # -- what the tests look at

    def file(self, windows_path):
        return read_host(self.session, windows_path)

    def assert_file(self, windows_path, expected, what):
        data = self.file(windows_path)
        if data != expected:
            self.fail(f'{what}: {windows_path} holds {described(data)}, '
                      f'expected {described(expected)}')

    def assert_copies(self, config, schedule, uninstaller=None):
        """The upgrade folder's copies: the expected bytes, or None for none;
        the folder itself goes with the last of them."""
        self.assert_file(self.saved + CONFIG, config, 'saved configuration')
        self.assert_file(self.saved + SCHEDULER_DATA, schedule, 'saved scheduler data')
        self.assert_file(self.saved + UNINSTALLER, uninstaller, 'temporary uninstaller')
        left = os.path.exists(self.session.host_path(self.saved))
        self.assertEqual(left, any(c is not None for c in (config, schedule, uninstaller)),
                         f'{self.saved} is {"still there" if left else "gone"}')

    def assert_earlier_installed(self):
        """2.5 as installed, with the user's settings, and no 2.9."""
        values = reg_query(self.session, f'{PRODUCT_KEY}\\{EARLIER}')
        self.assertEqual(values, {'InstallDir': INSTALL_DIR},
                         f'the {EARLIER} version key: got {values}')
        subkeys = reg_subkeys(self.session, PRODUCT_KEY)
        self.assertEqual(subkeys, [EARLIER], f'versions in the registry: got {subkeys}')
        self.assert_file(f'{INSTALL_DIR}\\{CONFIG}', USER_CONFIG, 'the old configuration')
        self.assert_file(f'{INSTALL_DIR}\\{SCHEDULER_DATA}', USER_SCHEDULE,
                         'the old scheduler data')

    def fake_uninstaller(self, *orders):
        """Puts the helper in place of the old uninstaller, with its orders."""
        shutil.copyfile(helper_path(self.session),
                        self.session.host_path(f'{INSTALL_DIR}\\{UNINSTALLER}'))
        write_host(self.session, 'C:\\ty-e2e\\' + FAKE_ORDERS,
                   ''.join(order + '\r\n' for order in orders).encode('ascii'))

    def fake_log(self):
        return log_lines(self.session, 'C:\\ty-e2e\\' + FAKE_LOG)

    def assert_fake_ran(self, *expected):
        """The helper's record: started from the temporary copy with the
        argument "update", in a folder that only administrators may write and
        nobody can rename away, then each order and its result."""
        lines = self.fake_log()
        started = [f'{self.saved}{UNINSTALLER} update', 'C:\\ty-e2e', UPGRADE_FOLDER_ACCESS,
                   'kept']
        wanted = [['started', *started]] + [list(line) for line in expected]
        self.assertEqual(lines, wanted, f'the stand-in uninstaller\'s record: got {lines}, '
                                        f'expected {wanted}')


class UpgradeStopped(UpgradeCase):
    """Upgrades that end before anything of 2.9 is installed. 2.5 mostly stays
    installed, so the tests share one installation of it; each test restores
    its uninstaller and starts with an empty temporary folder, and installs
    2.5 again only when an earlier test has left less of it."""

    @classmethod
    def prepare(cls):
        super().prepare()
        cls.real_uninstaller = None

    def install(self):
        forget_product(self.session, self.temp)
        install_earlier(self.session, self.earlier, self.licence_text)
        type(self).real_uninstaller = self.file(f'{INSTALL_DIR}\\{UNINSTALLER}')

    def setUp(self):
        if self.real_uninstaller is None:
            self.install()
        stop_holders(self.session)
        for path in (self.saved, self.temp + 'TYUpgrade2', self.temp + UNINSTALLER,
                     'C:\\ty-e2e\\' + FAKE_ORDERS, 'C:\\ty-e2e\\' + FAKE_LOG):
            remove_host(self.session, path)
        write_host(self.session, f'{INSTALL_DIR}\\{UNINSTALLER}', self.real_uninstaller)
        try:
            self.assert_earlier_installed()
        except AssertionError:
            self.install()

    def test_each_end_before_the_removal_leaves_2_5_with_its_settings_and_no_copy(self):
        version_key = f'{PRODUCT_KEY}\\{EARLIER}'
        with open(self.session.paths.installer, 'rb') as f:
            image = bytearray(f.read())
        image[-1] ^= 0xFF  # the stored control check's last byte
        damaged = self.session.put_program(bytes(image), 'damaged.exe')

        installed_at = [INSTALL_DIR]  # the version key's folder as the row leaves it

        def set_folder(folder):
            installed_at[0] = folder
            self.session.command('wine', 'reg', 'add', version_key, '/v', 'InstallDir', '/d',
                                 folder, '/f')

        def set_temp(folder):
            for name in ('TMP', 'TEMP'):
                self.session.set_env(name, folder)

        def pending():
            code, _, errors = self.session.command(
                'wine', 'reg', 'add', SESSION_MANAGER, '/v', PENDING_RENAMES, '/t',
                'REG_MULTI_SZ', '/d', '\\??\\C:\\ty-e2e\\gone.txt', '/f')
            self.assertEqual(code, 0, f'wine reg add {PENDING_RENAMES}: exit {code}, {errors}')

        def restore():
            if installed_at[0] != INSTALL_DIR:
                set_folder(INSTALL_DIR)
            set_temp(self.temp[:-1])
            self.session.command('wine', 'reg', 'delete', SESSION_MANAGER, '/v',
                                 PENDING_RENAMES, '/f')
            stop_holders(self.session)

        def not_a_program():
            write_host(self.session, f'{INSTALL_DIR}\\{UNINSTALLER}', b'not a program\r\n')

        long_temp = 'C:\\' + 't' * 270
        no_copy = [question(), updater_box(CANNOT_COPY, 'cannot-copy', icon='error')]
        # name, what is done first, the program, its windows, its exit code
        table = [
            ('question-no', None, self.program,
             [question(press='&No'), Box(WILL_NOW_CLOSE, caption=SETUP_CAPTION,
                                         icon='information', name='will-close')], DONE),
            ('uninstaller-no', None, self.program,
             [question(), uninstaller_question(press='&No'),
              updater_box(NOT_TO_CONTINUE, 'not-to-continue')], DONE),
            # Nothing of the user's is there to save; the uninstaller cannot
            # be copied either, and nothing else is run in its place.
            ('folder-gone', lambda: set_folder('C:\\Gone\\Quenfold'), self.program, no_copy,
             EXIT_FATAL),
            ('no-uninstaller',
             lambda: remove_host(self.session, f'{INSTALL_DIR}\\{UNINSTALLER}'),
             self.program, no_copy, EXIT_FATAL),
            ('uninstaller-not-a-program', not_a_program, self.program,
             [question(), updater_box(CANNOT_RUN, 'cannot-run', icon='error')], EXIT_FATAL),
            # Another program has the old configuration open, sharing nothing.
            ('settings-not-saved',
             lambda: hold_file(self.session, f'{INSTALL_DIR}\\{CONFIG}', role='lock-file'),
             self.program, [question(), not_saved(f'{INSTALL_DIR}\\{CONFIG}')], EXIT_FATAL),
            ('temporary-folder-unknown', lambda: set_temp(long_temp), self.program,
             [question(), updater_box(text('no-temporary-folder'), 'no-temporary-folder',
                                      icon='error')], EXIT_FATAL),
            ('temporary-folder-missing', lambda: set_temp('C:\\Gone'), self.program,
             [question(), updater_box(text('no-upgrade-folder', folder='C:\\Gone\\'),
                                      'no-upgrade-folder', icon='error')], EXIT_FATAL),
            ('damaged', None, damaged, [Box(MODIFIED_PACKAGE)], EXIT_FATAL),
            # Enter is No, the default.
            ('pending-restart-no', pending, self.program,
             [Box(PENDING_REBOOT, caption=SETUP_CAPTION, icon='question',
                  buttons=('&Yes', '&No'), press='&No', name='pending-restart', enter=True)],
             EXIT_FATAL),
        ]
        for number, (name, arrange, program, steps, exit_code) in enumerate(table):
            with self.subTest(name):
                if number:
                    self.setUp()
                try:
                    if arrange:
                        arrange()
                    self.session.play(program, steps, exit_code=exit_code, name=name)
                    # Before anything is put back: the run left 2.5 registered.
                    values = reg_query(self.session, version_key)
                    self.assertEqual(values, {'InstallDir': installed_at[0]},
                                     f'the {EARLIER} version key after the run: got {values}')
                finally:
                    restore()
                self.assert_copies(None, None)
                self.assert_earlier_installed()

    def test_an_uninstaller_ending_with_5_is_reported_and_its_code_passed_on(self):
        # The stand-in takes the maker's lock as an uninstaller does: the
        # installer must have given it up. It deletes the user's settings
        # before it fails: they go back into the old folder, which the next
        # run upgrades, and no copy is left in the temporary folder.
        self.fake_uninstaller('lock', f'delete {INSTALL_DIR}\\{CONFIG}',
                              f'delete {INSTALL_DIR}\\{SCHEDULER_DATA}', 'exit 5')
        self.session.play(self.program, [
            question(),
            updater_box(CANNOT_CONTINUE, 'cannot-continue'),
        ], exit_code=5, name='uninstaller-5')
        self.assert_fake_ran(['lock', 'taken'], ['lock', 'done'], ['delete', 'done'],
                             ['delete', 'done'], ['exit', 'done'], ['exit', '5'])
        self.assert_copies(None, None)
        self.assert_earlier_installed()

    def test_settings_with_no_folder_to_go_back_to_are_kept_and_named(self):
        # The stand-in deletes the settings and takes the old folder away
        # before it fails: the copies are the only ones left.
        moved = INSTALL_DIR + ' (gone)'
        self.fake_uninstaller(f'delete {INSTALL_DIR}\\{CONFIG}',
                              f'delete {INSTALL_DIR}\\{SCHEDULER_DATA}',
                              f'move {INSTALL_DIR}|{moved}', 'exit 5')
        copies = f'{self.saved}{CONFIG}\n\t{self.saved}{SCHEDULER_DATA}'
        try:
            self.session.play(self.program, [
                question(),
                updater_box(CANNOT_CONTINUE, 'cannot-continue'),
                updater_box(text('not-put-back', copies=copies), 'not-put-back', icon='warning'),
            ], exit_code=5, name='folder-taken-away')
            self.assert_fake_ran(['delete', 'done'], ['delete', 'done'], ['move', 'done'],
                                 ['exit', 'done'], ['exit', '5'])
            self.assert_copies(USER_CONFIG, USER_SCHEDULE)
        finally:
            shutil.rmtree(self.session.host_path(moved), ignore_errors=True)

    def test_an_old_file_in_use_makes_the_uninstaller_report_it_and_the_upgrade_stop(self):
        # The sample's own uninstaller: it removes what it can, reports the
        # file it could not remove and ends with 3, which the installer
        # passes on after its own box.
        held = f'{INSTALL_DIR}\\TYEngine.dll'
        hold_file(self.session, held)
        self.session.play(self.program, [
            question(),
            uninstaller_question(),
            Box(f'Some parts of {PRODUCT} {EARLIER} could not be removed:\n\n{held}\n\nThey '
                'may be in use by a program that is still running, or you may lack the rights '
                f'to remove them. Close the programs of {PRODUCT}, or log on as an '
                'administrator, and try again.', caption=UNINSTALLER_CAPTION, icon='error',
                name='not-removed'),
            updater_box(CANNOT_CONTINUE, 'cannot-continue'),
        ], exit_code=3, name='file-in-use')
        # It deleted the settings before it met the held file: they are back.
        self.assert_copies(None, None)
        self.assert_file(f'{INSTALL_DIR}\\{CONFIG}', USER_CONFIG, 'the old configuration')
        self.assert_file(f'{INSTALL_DIR}\\{SCHEDULER_DATA}', USER_SCHEDULE,
                         'the old scheduler data')
        values = reg_query(self.session, f'{PRODUCT_KEY}\\{EARLIER}')
        self.assertEqual(values, {'InstallDir': INSTALL_DIR},
                         f'the {EARLIER} version key after the stopped removal: got {values}')

    def test_a_stale_uninstaller_in_the_temporary_folder_never_runs(self):
        # Copies of the stand-in, which records any start, lie where earlier
        # attempts could have left them; the old uninstaller itself is in use
        # and cannot be copied.
        for stale in (self.temp + UNINSTALLER, self.saved + UNINSTALLER):
            os.makedirs(os.path.dirname(self.session.host_path(stale)), exist_ok=True)
            shutil.copyfile(helper_path(self.session), self.session.host_path(stale))
        write_host(self.session, 'C:\\ty-e2e\\' + FAKE_ORDERS, b'exit 99\r\n')
        hold_file(self.session, f'{INSTALL_DIR}\\{UNINSTALLER}', role='lock-file')
        try:
            self.session.play(self.program, [
                question(),
                updater_box(CANNOT_COPY, 'cannot-copy', icon='error'),
            ], exit_code=EXIT_FATAL, name='stale-uninstaller')
        finally:
            stop_holders(self.session)
        self.assertIsNone(self.file('C:\\ty-e2e\\' + FAKE_LOG), 'a stale uninstaller ran')
        self.assertFalse(os.path.exists(self.session.host_path(self.temp + 'TYUpgrade2')),
                         'the run\'s own folder was left behind')
        self.assert_earlier_installed()

    def test_a_lock_taken_while_the_uninstaller_runs_is_lost_and_the_copies_are_kept(self):
        # The stand-in leaves a holder of the lock behind and reports the old
        # version removed (99): from then on the copies are the user's only
        # settings, and the installer says where they are.
        self.fake_uninstaller('take-lock 120', 'exit 99')
        self.session.play(self.program, [
            question(),
            updater_box(LOCK_LOST, 'lock-lost', icon='warning'),
            kept(self.saved),
        ], exit_code=EXIT_FATAL, name='lock-lost')
        self.assert_fake_ran(['take-lock', 'done'], ['exit', 'done'], ['exit', '99'])
        self.assert_copies(USER_CONFIG, USER_SCHEDULE, uninstaller=None)
        self.assert_earlier_installed()

    def test_a_temporary_uninstaller_held_open_is_retried_for_11_seconds_and_left(self):
        # A program that the uninstaller leaves running holds its temporary
        # copy open without delete sharing.
        self.fake_uninstaller('keep-open 120', 'exit 0')
        stamps = {}
        self.session.play(self.program, [
            Timed(question(), stamps),
            Timed(updater_box(NOT_TO_CONTINUE, 'not-to-continue'), stamps),
        ], exit_code=DONE, timeout=40, name='held-uninstaller')
        waited = stamps['not-to-continue'] - stamps['upgrade-question']
        self.assertGreaterEqual(waited, DELETE_RETRIES_S,
                                f'from the question to the next box: got {waited:.1f} s, '
                                f'expected at least {DELETE_RETRIES_S} s of retries')
        self.assertLess(waited, DELETE_RETRIES_S + stretched(15),
                        f'from the question to the next box: got {waited:.1f} s')
        self.assert_fake_ran(['keep-open', 'done'], ['exit', 'done'], ['exit', '0'])
        with open(helper_path(self.session), 'rb') as f:
            self.assert_copies(None, None, uninstaller=f.read())
        self.assert_earlier_installed()


class UpgradeCompleted(UpgradeCase):
    """Upgrades in which the old uninstaller removes 2.5: each test installs
    it anew."""

    @classmethod
    def prepare(cls):
        super().prepare()
        folder = tempfile.mkdtemp(prefix='ty-e2e-product-')
        try:
            cls.new_files = product_files(cls.session, cls.session.paths.installer, folder)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def setUp(self):
        stop_holders(self.session)
        forget_product(self.session, self.temp)
        install_earlier(self.session, self.earlier, self.licence_text)

    def assert_only_new_version_registered(self):
        subkeys = reg_subkeys(self.session, PRODUCT_KEY)
        self.assertEqual(subkeys, ['2.9'], f'versions in the registry: got {subkeys}')
        values = reg_query(self.session, f'{PRODUCT_KEY}\\2.9')
        self.assertEqual(values, {'InstallDir': INSTALL_DIR}, f'the 2.9 version key: got {values}')
        run = reg_query(self.session, RUN_KEY) or {}
        self.assertEqual(run.get(RUN_VALUE), f'{INSTALL_DIR}\\Tessaly Ticklet.exe',
                         f'the Run value: got {run.get(RUN_VALUE)!r}')
        old = reg_query(self.session, f'{UNINSTALL_KEYS}\\{PRODUCT} {EARLIER}')
        self.assertIsNone(old, f'the {EARLIER} uninstall entry is still there: {old}')
        new = reg_query(self.session, f'{UNINSTALL_KEYS}\\{PRODUCT} 2.9') or {}
        self.assertEqual(new.get('DisplayName'), f'{PRODUCT} 2.9',
                         f'the 2.9 uninstall entry: got {new}')

    def assert_new_files(self, config, schedule):
        """The 24 files of 2.9 in the old folder, the configuration files as
        given, and the start record of the scheduler."""
        folder = self.session.host_path(INSTALL_DIR)
        names = sorted(os.listdir(folder))
        self.assertEqual(names, sorted(list(self.new_files) + [START_LOG]),
                         f'files in {INSTALL_DIR}: got {names}')
        for name, data in self.new_files.items():
            expected = {CONFIG: config, SCHEDULER_DATA: schedule}.get(name, data)
            self.assert_file(f'{INSTALL_DIR}\\{name}', expected, name)

    def assert_scheduler_started_in_the_folder(self):
        lines = log_lines(self.session, f'{INSTALL_DIR}\\{START_LOG}')
        wanted = [['Tessaly Ticklet 2.9', '', INSTALL_DIR]]
        self.assertEqual(lines, wanted, f'program starts: got {lines}, expected {wanted}')

    def test_yes_twice_installs_2_9_into_the_old_folder_with_the_old_settings(self):
        stamps = {}
        self.session.play(self.program, [
            question(),
            Timed(uninstaller_question(), stamps),
            progress(),
            Timed(updater_box(MIGRATED, 'migrated'), stamps),
            update_complete(press='&Yes'),
        ], exit_code=DONE, name='upgrade')
        # The temporary uninstaller, not held, goes at once: no retries.
        waited = stamps['migrated'] - stamps['uninstaller-question']
        self.assertLess(waited, stretched(DELETE_RETRIES_S),
                        f'from the uninstaller\'s question to the next box: got {waited:.1f} s')
        self.assert_new_files(USER_CONFIG, USER_SCHEDULE)
        self.assert_only_new_version_registered()
        self.assert_copies(None, None)
        self.assert_scheduler_started_in_the_folder()
        # WinHelpA started the help viewer ("winhlp32.exe -x", ours) and
        # asked it for context 2 of the help file, named without a folder,
        # while the installation folder was the current one.
        requests = wait_for_lines(self.session, 'C:\\ty-e2e\\' + HELP_LOG, 2)
        self.assertEqual(len(requests), 2, f'help requests: got {requests}')
        self.assertEqual(requests[0][0], 'started', f'help viewer: got {requests}')
        self.assertTrue(requests[0][1].lower().endswith('winhlp32.exe -x')
                        or requests[0][1].lower().endswith('winhlp32.exe" -x'),
                        f'help viewer command line: got {requests[0][1]!r}')
        self.assertEqual(requests[1], ['copydata', f'command={HELP_CONTEXT}', 'data=2',
                                       f'file={HELP_FILE}', f'folder={INSTALL_DIR}'],
                         f'help request: got {requests[1]}')

    def test_a_missing_settings_file_leaves_the_new_version_s_own(self):
        # The scheduler's data is only saved with the configuration: without
        # the configuration both files are the new version's.
        table = [
            ('no-configuration', CONFIG, [], self.new_files[CONFIG]),
            ('no-schedule', SCHEDULER_DATA, [updater_box(MIGRATED, 'migrated')], USER_CONFIG),
        ]
        for number, (name, missing, migrated, config) in enumerate(table):
            with self.subTest(name):
                if number:
                    self.setUp()
                remove_host(self.session, f'{INSTALL_DIR}\\{missing}')
                self.session.play(self.program, [
                    question(),
                    uninstaller_question(),
                    progress(),
                    *migrated,
                    update_complete(press='&No'),
                ], exit_code=DONE, name=name)
                self.assert_new_files(config, self.new_files[SCHEDULER_DATA])
                self.assert_only_new_version_registered()
                self.assert_copies(None, None)
                self.assert_scheduler_started_in_the_folder()
                self.assert_file('C:\\ty-e2e\\' + HELP_LOG, None, 'help requests after No')

    def test_a_failed_installation_after_the_old_uninstaller_keeps_the_saved_settings(self):
        # An uninstall entry of 2.9 left over from elsewhere stops the
        # registry entries; the old uninstaller has removed 2.5 by then.
        leftover = f'HKEY_LOCAL_MACHINE\\{UNINSTALL_KEYS.split(chr(92), 1)[1]}\\{PRODUCT} 2.9'
        reg_import(self.session, [f'[{leftover}]', '"DisplayName"="left over"'])
        self.session.play(self.program, [
            question(),
            uninstaller_question(),
            progress(),
            Box(REGISTRY_FAILED, caption='Tessaly Updater', icon='error', name='registry-failed'),
            Box(UNDO_AFTER_REGISTRY, caption='Tessaly Updater', icon='information',
                name='undo'),
            kept(self.saved),
        ], exit_code=EXIT_FATAL, name='failed-installation')
        self.assert_copies(USER_CONFIG, USER_SCHEDULE, uninstaller=None)
        # Neither version is left: 2.5 went with its uninstaller, 2.9 with
        # the rollback; the entry that was there before stays.
        for path in (MAKER_FOLDER, START_MENU_FOLDER):
            self.assertFalse(os.path.exists(self.session.host_path(path)),
                             f'{path} is still there')
        self.assertIsNone(reg_query(self.session, MAKER_KEY), f'{MAKER_KEY} is still there')
        run = reg_query(self.session, RUN_KEY) or {}
        self.assertNotIn(RUN_VALUE, run, f'the Run value is still there: {run}')
        entry = reg_query(self.session, f'{UNINSTALL_KEYS}\\{PRODUCT} 2.9')
        self.assertEqual(entry, {'DisplayName': 'left over'},
                         f'the uninstall entry that was there before: got {entry}')

    def test_a_saved_file_that_cannot_go_back_is_kept_and_named(self):
        # Another program opens the saved copy of the scheduler's data as
        # soon as it is there, sharing nothing, and keeps it while the real
        # old uninstaller removes 2.5.
        code, _, errors = self.session.command('wine', 'start', 'C:\\ty-e2e\\' + HELPER,
                                               'lock-file-soon', self.saved + SCHEDULER_DATA, '600')
        self.assertEqual(code, 0, f'the file holder did not start: {errors}')
        try:
            self.session.play(self.program, [
                question(),
                uninstaller_question(),
                progress(),
                not_migrated(self.saved + SCHEDULER_DATA),
                update_complete(press='&No'),
            ], exit_code=DONE, name='not-migrated')
        finally:
            stop_holders(self.session)
        self.assert_file(f'{INSTALL_DIR}\\{CONFIG}', USER_CONFIG, 'the migrated configuration')
        self.assert_file(f'{INSTALL_DIR}\\{SCHEDULER_DATA}', self.new_files[SCHEDULER_DATA],
                         'the scheduler data that could not be migrated')
        self.assert_copies(None, USER_SCHEDULE)


if __name__ == '__main__':
    unittest.main()
