"""The harness itself: a run that differs from its description fails and
says how, and nothing of one session outlives it or reaches another. Tested
on ty_boxes.exe."""

import os
import subprocess
import unittest

from boxes import MB_ICONERROR, MB_ICONWARNING, box, boxes
from harness import Box, Dialog, HarnessError, Passing, Session, session_processes


class HarnessFailures(unittest.TestCase):
    """A run that differs from its description fails, saying how."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def test_a_wrong_text_fails_with_the_difference_and_the_transcript(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(
                boxes(self.session, *box('Caption', 'The real text.', MB_ICONERROR), 'exit', '0'),
                [Box('The real test.', caption='Caption')], exit_code=0, name='wrong-text')
        message = str(caught.exception)
        self.assertIn("wrong-text, step 1 (box): text: differs at character 11: "
                      "expected 'st.'..., got 'xt.'...", message)
        self.assertIn('--- transcript', message)
        self.assertIn("message box 'Caption', icon error, buttons ['OK'], "
                      "text 'The real text.'", message)
        self.assertIn(f'--- screenshots in {self.session.out} ---', message)
        self.assertTrue(os.path.exists(os.path.join(self.session.out, 'transcript.txt')))

    def test_a_wrong_caption_icon_or_buttons_each_fail(self):
        table = [
            ('caption', Box('T', caption='Other'), "caption: expected 'Other', got 'Caption'"),
            ('icon', Box('T', caption='Caption', icon='warning'),
             'icon: expected warning, got error'),
            ('buttons', Box('T', caption='Caption', buttons=['OK', 'Cancel']),
             "buttons: expected ['OK', 'Cancel'], got ['OK']"),
        ]
        for name, expected, difference in table:
            with self.subTest(name):
                with self.assertRaises(HarnessError) as caught:
                    self.session.play(
                        boxes(self.session, *box('Caption', 'T', MB_ICONERROR), 'exit', '0'),
                        [expected], exit_code=0, name=f'wrong-{name}')
                self.assertIn(difference, str(caught.exception))

    def test_a_window_that_never_comes_fails_by_timeout(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(boxes(self.session, 'sleep', '60000'),
                              [Box('Never', caption='Never')], exit_code=0, timeout=2,
                              name='never')
        message = str(caught.exception)
        self.assertIn('never, step 1 (box): the window did not come', message)
        self.assertIn('wait-window 2000: timeout no new window within 2000 ms', message)
        self.assertIn('--- transcript', message)
        # The silent program was ended, so the session can go on.
        self.assertEqual([], self.session.windows())

    def test_a_window_instead_of_the_end_fails(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(boxes(self.session, *box('Surprise', 'Unexpected', MB_ICONWARNING)),
                              [], exit_code=0, name='surprise')
        message = str(caught.exception)
        self.assertIn('surprise: expected the end with exit code 0', message)
        self.assertIn("new window while waiting for the end: message box 'Surprise'", message)

    def test_a_wrong_exit_code_fails(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(boxes(self.session, 'exit', '3'), [], exit_code=0, name='code')
        self.assertIn('code: exit code: expected 0, got 3', str(caught.exception))

    def test_a_passing_step_leaves_a_window_of_another_caption_to_the_next_step(self):
        self.session.play(
            boxes(self.session, *box('Caption', 'T', MB_ICONERROR), 'exit', '0'),
            [Passing('Gone before seen', name='passing'), Box('T', caption='Caption')],
            exit_code=0, name='passing')

    def test_a_wrong_check_box_state_fails(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(boxes(self.session, 'form', 'exit', '0'),
                              [Dialog('Driver Form', checks={102: 1}, name='form')],
                              exit_code=0, name='wrong-check')
        self.assertIn('wrong-check, step 1 (form): check box 102: expected 1, got 0',
                      str(caught.exception))


class Isolation(unittest.TestCase):
    """Nothing of one session outlives it or reaches another."""

    def test_teardown_ends_every_process_of_the_session(self):
        session = Session('isolation-teardown').__enter__()
        try:
            session.start(boxes(session, *box('Left open', 'Never answered', MB_ICONERROR)))
            session.wait_window()
            running = [command for _, command in session_processes(session.marker)]
            display = session.xvfb.display
            xvfb = session.xvfb.process
        finally:
            session.__exit__(None, None, None)
        self.assertTrue(any('ty_boxes.exe' in c for c in running), running)
        self.assertTrue(any('wineserver' in c for c in running), running)
        self.assertTrue(any(c.startswith('Xvfb') for c in running), running)
        self.assertEqual([], session_processes(session.marker))
        self.assertIsNotNone(xvfb.poll())
        self.assertFalse(os.path.exists(f'/tmp/.X11-unix/X{display}'))
        self.assertFalse(os.path.exists(session.prefix))

    def test_a_survivor_of_wineserver_is_killed_and_reported(self):
        session = Session('isolation-survivor').__enter__()
        stray = subprocess.Popen(['sleep', '600'], env=session.env)
        with self.assertRaises(HarnessError) as caught:
            session.__exit__(None, None, None)
        stray.wait(10)
        self.assertIn('left running after wineserver -k', str(caught.exception))
        self.assertIn('sleep 600', str(caught.exception))
        self.assertEqual([], session_processes(session.marker))

    def test_two_sessions_side_by_side_share_nothing(self):
        with Session('isolation-a') as first, Session('isolation-b') as second:
            first.start(boxes(first, *box('A', 'first', MB_ICONERROR)))
            second.start(boxes(second, *box('B', 'second', MB_ICONERROR)))
            self.assertEqual('A', first.wait_window().caption)
            self.assertEqual('B', second.wait_window().caption)
            self.assertEqual(['A'], [w.caption for w in first.windows()])
            self.assertEqual(['B'], [w.caption for w in second.windows()])
            self.assertNotEqual(first.xvfb.display, second.xvfb.display)
            mine = {pid for pid, _ in session_processes(first.marker)}
            theirs = {pid for pid, _ in session_processes(second.marker)}
            self.assertEqual(set(), mine & theirs)
            for marker in (first.marker, second.marker):
                self.assertTrue(any('wineserver' in c for _, c in session_processes(marker)))


if __name__ == '__main__':
    unittest.main()
