"""The wizard's ways out and the destination page on real controls under
Wine, and a second installer refused while the first holds the lock."""

import copy
import os
import shutil
import subprocess
import time
import unittest

from harness import (EXIT_FATAL, Box, HarnessError, Session, SessionCase, WhileShown, deadline,
                     stretched, text)
from installation import (MAKER_FOLDER, MAKER_KEY, RUN_KEY, RUN_VALUE, START_MENU_FOLDER,
                          UNINSTALL_KEY)
from wizard import (DEFAULT_FOLDER, DESTINATION_CAPTION, EXIT, FOLDER_ID, FORWARD,
                    SETUP_CAPTION, TASK_HELP, TASK_START, TASK_START_MENU, confirmation,
                    destination, happy_path, licence, progress, ready, sample_licence_text,
                    welcome)

LEFT_WITH_EXIT = 1
DONE = 0

TOO_LONG = text('too-long')
ANOTHER_INSTANCE = text('another-instance')
UNTICK_ALL = [('check', task, 0) for task in (TASK_HELP, TASK_START, TASK_START_MENU)]


def wine_reg(session, *arguments):
    """The exit code and stderr of `wine reg ...`."""
    code, _, errors = session.command('wine', 'reg', *arguments)
    return code, errors


def key_exists(session, key):
    return wine_reg(session, 'query', key)[0] == 0


class Staying(Box):
    """A box that the page answers by staying open: once the box has gone the
    driver is told to report the page again, so that the next step reads
    it and works in it once more."""

    def __init__(self, box, page_caption):
        super().__init__(box.text, caption=box.caption, icon=box.icon, buttons=box.buttons,
                         press=box.press, name=box.name, enter=box.enter)
        self.page_caption = page_caption

    def answer(self, session, window):
        super().answer(session, window)
        # Nothing may reach the page while the box's own loop still runs.
        end = deadline(10)
        while any(w.hwnd == window.hwnd for w in session.windows()):
            if time.monotonic() > end:
                session.fail(f'{self.name}: the box did not close')
            time.sleep(0.05)
        _, forgotten = session._order(f'forget {self.page_caption}', 5)
        if forgotten != '1':
            session.fail(f'{self.name}: the page {self.page_caption!r} is not open')


def too_long():
    return Staying(Box(TOO_LONG, caption=SETUP_CAPTION, icon='error', name='too-long'),
                   DESTINATION_CAPTION)


def declined(folder, enter=False):
    return Staying(confirmation(folder, press='&No', name='declined', enter=enter),
                   DESTINATION_CAPTION)


def folder_of(length):
    """An absolute folder name of exactly `length` characters. Its words keep
    the confirmation box, which breaks lines only at spaces, within the
    screen, icon included."""
    head = 'C:\\Games\\'
    name = ('Quenfold ' * length)[:length - len(head) - 1] + 'q'
    return head + name


class WizardPages(SessionCase):
    """Leaving the first three pages, and what the destination page takes."""

    @classmethod
    def prepare(cls):
        cls.program = cls.session.put_program(cls.session.paths.installer, 'TYInstaller.exe')
        cls.licence_text = sample_licence_text()

    def setUp(self):
        # Some walks install the product; the next one starts from a machine
        # without it.
        for arguments in ([MAKER_KEY, '/f'], [UNINSTALL_KEY, '/f'],
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
        # Enter at the confirmation is No, its default.
        folder = folder_of(247)
        self.session.play(self.program, self.before_destination() + [
            destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
            declined(folder, enter=True),
            destination(folder, actions=[('click', EXIT)], name='destination-again'),
        ], exit_code=LEFT_WITH_EXIT, name='folder-247')

    def test_a_typed_folder_is_confirmed_as_windows_resolves_it(self):
        # From the root: on the installer's current drive; a network path
        # stays one; a closing backslash stays; an emptied field is the
        # default folder.
        for typed, confirmed in (('\\Games\\Quenfold', 'C:\\Games\\Quenfold'),
                                 ('C:/Games//Quenfold', 'C:\\Games\\Quenfold'),
                                 ('\\\\server\\share\\Quenfold', '\\\\server\\share\\Quenfold'),
                                 ('C:\\Games\\', 'C:\\Games\\'),
                                 ('', DEFAULT_FOLDER)):
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


class SecondInstaller(unittest.TestCase):

    def test_a_second_installer_is_refused_while_the_first_holds_the_lock(self):
        with Session(type(self).__name__) as session:
            program = session.put_program(session.paths.installer, 'TYInstaller.exe')
            second = copy.copy(session)
            second._buffer = b''
            second.driver_log = open(os.path.join(session.out, 'second-driver-stderr.txt'), 'wb')
            second.driver = subprocess.Popen(['wine', session.paths.driver], env=session.env,
                                             cwd=session.prefix, stdin=subprocess.PIPE,
                                             stdout=subprocess.PIPE, stderr=second.driver_log)
            try:
                def start_the_second():
                    second.play(program, [
                        Box(ANOTHER_INSTANCE, caption='Tessaly Installer / Updater',
                            icon='warning', name='another-instance')],
                        exit_code=EXIT_FATAL, name='second')

                steps = happy_path(sample_licence_text())
                steps[0] = WhileShown(steps[0], start_the_second)
                session.play(program, steps, exit_code=DONE, name='first')
            finally:
                try:
                    second._order('quit', 10, quiet_errors=True)
                except HarnessError:
                    pass
                second.driver.stdin.close()
                second.driver.wait(stretched(10))
                second.driver.stdout.close()
                second.driver_log.close()


if __name__ == '__main__':
    unittest.main()
