"""The ready page's finishing tasks and the shortcuts' switches under Wine,
seen from outside: the sample product's programs record every start
(program, arguments, current folder) in TYStarts.log beside themselves,
and the Start Menu folder opens in a window of Wine's file explorer, a
process that the installer starts."""

import time
import unittest

from harness import SessionCase, deadline, session_processes, stretched
from upgrade import (INSTALL_DIR, START_LOG, START_MENU_FOLDER, forget_product, log_lines,
                     temp_folder, wait_for_lines)
from wizard import (EXIT, PRODUCT, confirmation, destination, happy_path, licence, progress,
                    ready, sample_licence_text, welcome)

DONE = 0
MAIN_PROGRAM, SCHEDULER = 'Tessaly Quenfold 2.9', 'Tessaly Ticklet 2.9'
LINKS = START_MENU_FOLDER + '\\'
# How long a start may take to show under Wine; the ticked tasks show within
# about two seconds.
START_WAIT_S = 10
QUIET_S = 4


class FinishingTasks(SessionCase):

    @classmethod
    def prepare(cls):
        cls.program = cls.session.put_program(cls.session.paths.installer, 'TYInstaller.exe')
        cls.temp = temp_folder(cls.session)
        cls.licence_text = sample_licence_text()

    def setUp(self):
        self.session.follow_descendants(False)
        forget_product(self.session, self.temp)

    def install(self, ready_actions, name):
        self.session.play(self.program, [
            welcome(), licence(self.licence_text), destination(), confirmation(), progress(),
            ready(ready_actions)], exit_code=DONE, name=name)

    def starts(self, count):
        return wait_for_lines(self.session, f'{INSTALL_DIR}\\{START_LOG}', count, START_WAIT_S)

    def explorer_windows(self):
        """The windows of the processes that the installer started."""
        self.session.follow_descendants()
        return [w for w in self.session.windows() if not w.is_message_box]

    def test_all_three_tasks_start_the_program_open_the_start_menu_and_start_the_scheduler(self):
        self.install([('click', EXIT)], 'all-tasks')
        # The main program with "?" from the installer's own current folder,
        # the scheduler with nothing in the installation folder; their order
        # in the record is theirs, not the installer's.
        lines = sorted(self.starts(2))
        wanted = sorted([[MAIN_PROGRAM, '?', 'C:\\ty-e2e'], [SCHEDULER, '', INSTALL_DIR]])
        self.assertEqual(lines, wanted, f'program starts: got {lines}, expected {wanted}')

        end = deadline(START_WAIT_S)
        windows = self.explorer_windows()
        while not windows and time.monotonic() < end:
            time.sleep(0.2)
            windows = self.explorer_windows()
        self.session.screenshot('start-menu-folder')
        captions = [(w.cls, w.caption) for w in windows]
        self.assertEqual(captions, [('ExplorerWClass', PRODUCT)],
                         f'windows opened by the tasks: got {captions}')
        # The caption names only the folder; the explorer's command line
        # names the whole path.
        commands = [c for _, c in session_processes(self.session.marker) if 'explorer' in c.lower()
                    and START_MENU_FOLDER.lower() in c.lower()]
        self.assertEqual(len(commands), 1,
                         f'an explorer of {START_MENU_FOLDER}: got '
                         f'{[c for _, c in session_processes(self.session.marker)]}')
        self.session.wait_window(5)
        self.session.close_window()

    def test_with_every_task_cleared_nothing_is_started(self):
        self.session.play(self.program, happy_path(self.licence_text), exit_code=DONE,
                          name='no-task')
        time.sleep(stretched(QUIET_S))
        self.assertEqual(log_lines(self.session, f'{INSTALL_DIR}\\{START_LOG}'), [],
                         'program starts after no task')
        windows = [(w.cls, w.caption) for w in self.explorer_windows()]
        self.assertEqual(windows, [], f'windows opened after no task: got {windows}')

    def test_the_shortcuts_start_the_program_with_their_switch_in_the_installation_folder(self):
        self.session.play(self.program, happy_path(self.licence_text), exit_code=DONE,
                          name='for-the-shortcuts')
        # Through the shell, as a click on the shortcut in the Start Menu.
        for link in ('Configuration and Manual Update.lnk', 'Create Emergency Disks.lnk'):
            code, _, errors = self.session.command('wine', 'start', '/wait', LINKS + link)
            self.assertEqual(code, 0, f'wine start {link}: exit {code}, {errors}')
        lines = self.starts(2)
        wanted = [[MAIN_PROGRAM, '-c', INSTALL_DIR], [MAIN_PROGRAM, '-e', INSTALL_DIR]]
        self.assertEqual(lines, wanted, f'program starts: got {lines}, expected {wanted}')


if __name__ == '__main__':
    unittest.main()
