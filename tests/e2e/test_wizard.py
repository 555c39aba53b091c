"""The wizard's ways out and the destination page under Wine, and the boxes
that refuse an installation at start-up: what the registry or another
running installer makes the installer say, with exact texts, captions,
icons and exit codes (-1 is seen from outside as 4294967295)."""

import copy
import os
import shutil
import subprocess
import time
import unittest

from harness import EXIT_FATAL, Box, HarnessError, Session
from wizard import (DEFAULT_FOLDER, PENDING_REBOOT, DESTINATION_CAPTION, EXIT, FOLDER_ID, FORWARD,
                    SETUP_CAPTION, TASK_HELP, TASK_START, TASK_START_MENU, confirmation,
                    destination, happy_path, licence, progress, ready, sample_licence_text,
                    welcome)

LEFT_WITH_EXIT = 1
DONE = 0
WEB_SITE = 'http://www.tessaly.example'
SUPPORT = 'support@tessaly.example'

MAKER_KEY = 'HKLM\\SOFTWARE\\Tessaly'
PRODUCT_KEY = MAKER_KEY + '\\Quenfold for Vexor for DOS'
SESSION_MANAGER = 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager'
MAKER_FOLDER = 'C:\\Program Files\\Tessaly'
UNINSTALL_ENTRY = ('HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\'
                   'Quenfold for Vexor for DOS 2.9')
RUN_KEY = 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run'
RUN_VALUE = 'Tessaly Ticklet for Vexor for DOS'
START_MENU_FOLDER = 'C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Quenfold for Vexor for DOS'

TOO_LONG = ('The name of the chosen installation directory is too long. '
            'Please specify a shorter one.')
ANOTHER_INSTANCE = (
    'Another Tessaly installer, un-installer or updater is running.\nPlease wait until it '
    'completes or interrupt it before trying to install or update this product.')
SAME_VERSION = (
    'You have the EXACT SAME version (2.9) of this application installed on the system as '
    'you are trying to install now.\nIf you want to install the program again, you need to '
    'uninstall it first.\nYou can uninstall it via Add/Remove Programs in Control Panel.\n'
    'If you think that the program is not installed, and you are getting this message in '
    f'error, please go to {WEB_SITE}/support to get the latest support information, or '
    f'contact {SUPPORT}.')
NEWER_VERSION = (
    'A newer version of this product is already installed on the system, and you are '
    'trying to install a lower version. Most probably you do not need this lower version, '
    "so you don't need to perform any installation. To obtain the latest version, visit "
    f'{WEB_SITE}.\nIf you think that there is no newer version of this product installed '
    'on your system, and you are getting this message in error, please contact '
    f'{SUPPORT}.')
CORRUPTED_INSTALLATION = (
    'The installer has detected a corrupted previous installation of this software. The '
    'location of this installation could not be determined by reading the product '
    'configuration data in the system configuration (registry).'
    f'\n\nPlease contact {SUPPORT} about this problem, and you will be instructed on how to '
    'proceed. You will receive a prompt response to aid you.')
UNTICK_ALL = [('check', task, 0) for task in (TASK_HELP, TASK_START, TASK_START_MENU)]


def wine_reg(session, *arguments):
    """The exit code and stderr of `wine reg ...`."""
    code, _, errors = session.command('wine', 'reg', *arguments)
    return code, errors


def key_exists(session, key):
    return wine_reg(session, 'query', key)[0] == 0


def set_registry(session, key, *value):
    code, errors = wine_reg(session, 'add', key, *value, '/f')
    if code != 0:
        raise HarnessError(f'wine reg add {key} failed: {errors}')


class Staying(Box):
    """A box that the page answers by staying open: once the box has gone the
    driver is told to report the page again, so that the next step reads
    it and works in it once more."""

    def __init__(self, box, page_caption):
        super().__init__(box.text, caption=box.caption, icon=box.icon, buttons=box.buttons,
                         press=box.press, name=box.name)
        self.page_caption = page_caption

    def answer(self, session, window):
        super().answer(session, window)
        # Nothing may reach the page while the box's own loop still runs.
        deadline = time.monotonic() + 10
        while any(w.hwnd == window.hwnd for w in session.windows()):
            if time.monotonic() > deadline:
                session.fail(f'{self.name}: the box did not close')
            time.sleep(0.05)
        _, forgotten = session._order(f'forget {self.page_caption}', 5)
        if forgotten != '1':
            session.fail(f'{self.name}: the page {self.page_caption!r} is not open')


class WhileShown:
    """A step whose window stays on the screen while something else is done;
    then it is answered as the step says."""

    optional = False

    def __init__(self, step, meanwhile):
        self.step, self.meanwhile, self.name = step, meanwhile, step.name

    def differences(self, window):
        return self.step.differences(window)

    def answer(self, session, window):
        self.meanwhile()
        self.step.answer(session, window)


def too_long():
    return Staying(Box(TOO_LONG, caption=SETUP_CAPTION, icon='error', name='too-long'),
                   DESTINATION_CAPTION)


def declined(folder):
    return Staying(confirmation(folder, press='&No', name='declined'), DESTINATION_CAPTION)


def folder_of(length):
    """An absolute folder name of exactly `length` characters. Its words keep
    the confirmation box, which breaks lines only at spaces, within the
    screen, icon included."""
    head = 'C:\\Games\\'
    name = ('Quenfold ' * length)[:length - len(head) - 1] + 'q'
    return head + name


class WizardPages(unittest.TestCase):
    """Leaving the first three pages, and what the destination page takes."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        cls.program = cls.session.put_program(cls.session.paths.installer, 'TYInstaller.exe')
        cls.licence_text = sample_licence_text()

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def setUp(self):
        # Some walks install the product; the next one starts from a machine
        # without it.
        for arguments in ([MAKER_KEY, '/f'], [UNINSTALL_ENTRY, '/f'],
                          [RUN_KEY, '/v', RUN_VALUE, '/f']):
            wine_reg(self.session, 'delete', *arguments)
        for folder in (MAKER_FOLDER, 'C:\\Games', START_MENU_FOLDER):
            shutil.rmtree(self.session.host_path(folder), ignore_errors=True)
        self.assertFalse(key_exists(self.session, MAKER_KEY), f'{MAKER_KEY} is still there')

    def assert_system_unchanged(self):
        self.assertFalse(os.path.exists(self.session.host_path(MAKER_FOLDER)),
                         f'{MAKER_FOLDER} was made')
        self.assertFalse(key_exists(self.session, MAKER_KEY), f'{MAKER_KEY} was made')

    def before_destination(self):
        return [welcome(), licence(self.licence_text)]

    def test_exit_esc_and_close_on_the_first_three_pages_end_with_1_and_change_nothing(self):
        ways = {'exit': [('click', EXIT)], 'esc': [('key', 'esc')], 'close': [('close',)]}
        for page in ('welcome', 'licence', 'destination'):
            for way, actions in ways.items():
                with self.subTest(page=page, way=way):
                    steps = {
                        'welcome': lambda: [welcome(actions=actions)],
                        'licence': lambda: [welcome(), licence(self.licence_text,
                                                               actions=actions)],
                        'destination': lambda: self.before_destination()
                        + [destination(actions=actions)],
                    }[page]()
                    self.session.play(self.program, steps, exit_code=LEFT_WITH_EXIT,
                                      name=f'{page}-{way}')
                    self.assert_system_unchanged()

    def test_a_folder_of_248_characters_is_refused_and_the_page_stays(self):
        folder = folder_of(248)
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
            too_long(),
            destination(folder, actions=[('click', EXIT)], name='destination-again'),
        ], exit_code=LEFT_WITH_EXIT, name='folder-248')

    def test_a_folder_of_247_characters_is_put_to_the_confirmation(self):
        folder = folder_of(247)
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
            declined(folder),
            destination(folder, actions=[('click', EXIT)], name='destination-again'),
        ], exit_code=LEFT_WITH_EXIT, name='folder-247')

    def test_an_empty_field_confirms_the_default_folder_and_leaves_the_field_empty(self):
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, ''), ('click', FORWARD)]),
            declined(DEFAULT_FOLDER),
            destination('', actions=[('click', EXIT)], name='destination-again'),
        ], exit_code=LEFT_WITH_EXIT, name='empty-field')

    def test_a_typed_trailing_backslash_is_confirmed_as_typed_and_accepted(self):
        folder = 'C:\\Games\\Quenfold\\'
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
            confirmation(folder),
            progress(),
            ready(UNTICK_ALL + [('click', EXIT)]),
        ], exit_code=DONE, name='trailing-backslash')

    def test_a_typed_folder_is_confirmed_as_windows_resolves_it(self):
        # From the root: on the installer's current drive; a network path
        # stays one.
        for typed, confirmed in (('\\Games\\Quenfold', 'C:\\Games\\Quenfold'),
                                 ('C:/Games//Quenfold', 'C:\\Games\\Quenfold'),
                                 ('\\\\server\\share\\Quenfold', '\\\\server\\share\\Quenfold')):
            with self.subTest(typed):
                self.session.play(self.program, self.before_destination() + [
                    destination(actions=[('type', FOLDER_ID, typed), ('click', FORWARD)]),
                    declined(confirmed),
                    destination(typed, actions=[('click', EXIT)], name='destination-again'),
                ], exit_code=LEFT_WITH_EXIT, name='resolved')

    def test_no_at_the_confirmation_keeps_the_page_and_yes_goes_on(self):
        folder = 'C:\\Games\\Quenfold'
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
            declined(folder),
            destination(folder, actions=[('click', FORWARD)], name='destination-again'),
            confirmation(folder, press='&Yes'),
            progress(),
            ready(UNTICK_ALL + [('click', EXIT)]),
        ], exit_code=DONE, name='no-then-yes')


class StartUpRefusals(unittest.TestCase):
    """What the registry and a running installer make the installer refuse."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        cls.program = cls.session.put_program(cls.session.paths.installer, 'TYInstaller.exe')

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def forget_installations(self):
        wine_reg(self.session, 'delete', MAKER_KEY, '/f')
        wine_reg(self.session, 'delete', SESSION_MANAGER, '/v', 'PendingFileRenameOperations',
                 '/f')
        shutil.rmtree(self.session.host_path(MAKER_FOLDER), ignore_errors=True)
        self.assertFalse(key_exists(self.session, MAKER_KEY))

    def setUp(self):
        self.forget_installations()

    def test_installed_versions_refuse_the_installation_with_their_box(self):
        table = [
            ('same-version', ['2.9', '/v', 'InstallDir', '/d', 'C:\\Old'],
             Box(SAME_VERSION, caption=SETUP_CAPTION, icon='information')),
            ('newer-version', ['3.0', '/v', 'InstallDir', '/d', 'C:\\Old'],
             Box(NEWER_VERSION, caption=SETUP_CAPTION, icon='information')),
            ('corrupted', ['2.9'],
             Box(CORRUPTED_INSTALLATION, caption=SETUP_CAPTION, icon='error')),
        ]
        for name, (version, *value), box in table:
            with self.subTest(name):
                self.forget_installations()
                set_registry(self.session, f'{PRODUCT_KEY}\\{version}', *value)
                self.session.play(self.program, [box], exit_code=EXIT_FATAL, name=name)
                self.assertFalse(os.path.exists(self.session.host_path(MAKER_FOLDER)))

    def pending_restart(self):
        set_registry(self.session, SESSION_MANAGER, '/v', 'PendingFileRenameOperations',
                     '/t', 'REG_MULTI_SZ', '/d', '\\??\\C:\\ty-e2e\\gone.txt')

    def test_pending_restart_answered_no_ends_with_minus_1(self):
        self.pending_restart()
        self.session.play(self.program, [
            Box(PENDING_REBOOT, caption=SETUP_CAPTION, icon='question',
                buttons=('&Yes', '&No'), press='&No', name='pending')],
            exit_code=EXIT_FATAL, name='pending-no')

    def test_pending_restart_answered_yes_shows_the_welcome_page(self):
        self.pending_restart()
        self.session.play(self.program, [
            Box(PENDING_REBOOT, caption=SETUP_CAPTION, icon='question',
                buttons=('&Yes', '&No'), press='&Yes', name='pending'),
            welcome(actions=[('click', EXIT)])],
            exit_code=LEFT_WITH_EXIT, name='pending-yes')

    def test_a_second_installer_is_refused_while_the_first_holds_the_lock(self):
        second = copy.copy(self.session)
        second._buffer = b''
        second.driver_log = open(os.path.join(self.session.out, 'second-driver-stderr.txt'), 'wb')
        second.driver = subprocess.Popen(['wine', self.session.paths.driver],
                                         env=self.session.env, cwd=self.session.prefix,
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=second.driver_log)
        try:
            def start_the_second():
                second.play(self.program, [
                    Box(ANOTHER_INSTANCE, caption='Tessaly Installer / Updater',
                        icon='warning', name='another-instance')],
                    exit_code=EXIT_FATAL, name='second')

            steps = happy_path(sample_licence_text())
            steps[0] = WhileShown(steps[0], start_the_second)
            self.session.play(self.program, steps, exit_code=DONE, name='first')
        finally:
            try:
                second._order('quit', 10, quiet_errors=True)
            except HarnessError:
                pass
            second.driver.stdin.close()
            second.driver.wait(10)
            second.driver.stdout.close()
            second.driver_log.close()


if __name__ == '__main__':
    unittest.main()
