"""The harness fails a run that differs from its description, saying how,
and leaves nothing of a session behind. Tested on ty_boxes.exe, a small
program of ours that shows the boxes and the form it is told to."""

import os
import subprocess
import unittest

from harness import Box, Dialog, HarnessError, Session, session_processes

MB_ICONERROR, MB_ICONWARNING = 0x10, 0x30


def boxes(session, *orders):
    program = session.put_program(session.paths.boxes, 'ty_boxes.exe')
    return subprocess.list2cmdline([program, *orders])


def box(caption, text, style=MB_ICONERROR):
    return ['box', caption, text, hex(style)]


class HarnessFailures(unittest.TestCase):

    def test_a_run_that_differs_fails_with_the_difference(self):
        one_box = [*box('Caption', 'The real text.'), 'exit', '0']
        table = [
            ('text', one_box, [Box('The real test.', caption='Caption')], 0,
             "text: differs at character 11: expected 'st.'..., got 'xt.'..."),
            ('caption', one_box, [Box('The real text.', caption='Other')], 0,
             "caption: expected 'Other', got 'Caption'"),
            ('icon', one_box, [Box('The real text.', caption='Caption', icon='warning')], 0,
             'icon: expected warning, got error'),
            ('buttons', one_box, [Box('The real text.', caption='Caption', buttons=['OK', 'Cancel'])],
             0, "buttons: expected ['OK', 'Cancel'], got ['OK']"),
            ('check', ['form', 'exit', '0'], [Dialog('Driver Form', checks={102: 1}, name='form')], 0,
             'step 1 (form): check box 102: expected 1, got 0'),
            ('disabled', ['form', 'exit', '0'], [Dialog('Driver Form', actions=[('click', 103)])], 0,
             'click 103: disabled control 103 is disabled'),
            ('end', box('Surprise', 'Unexpected', MB_ICONWARNING), [], 0,
             "new window while waiting for the end: message box 'Surprise'"),
            ('code', ['exit', '3'], [], 0, 'exit code: expected 0, got 3'),
            ('never', ['sleep', '60000'], [Box('Never', caption='Never')], 0,
             'step 1 (box): the window did not come'),
        ]
        with Session(type(self).__name__) as session:
            for name, orders, steps, code, difference in table:
                with self.subTest(name):
                    with self.assertRaises(HarnessError) as caught:
                        session.play(boxes(session, *orders), steps, exit_code=code,
                                     timeout=2 if name == 'never' else 20, name=name)
                    message = str(caught.exception)
                    self.assertIn(name, message)
                    self.assertIn(difference, message)
                    self.assertIn('--- transcript', message)
                    # The failed program was ended: the session goes on.
                    self.assertEqual([], session.windows())

    def test_the_end_of_a_session_ends_its_processes_and_names_a_survivor(self):
        session = Session('isolation').__enter__()
        session.start(boxes(session, *box('Left open', 'Never answered')))
        session.wait_window()
        running = [command for _, command in session_processes(session.marker)]
        stray = subprocess.Popen(['sleep', '600'], env=session.env)
        with self.assertRaises(HarnessError) as caught:
            session.__exit__(None, None, None)
        stray.wait(10)
        self.assertTrue(any('ty_boxes.exe' in c for c in running), running)
        self.assertTrue(any(c.startswith('Xvfb') for c in running), running)
        self.assertIn('left running after wineserver -k', str(caught.exception))
        self.assertIn('sleep 600', str(caught.exception))
        self.assertEqual([], session_processes(session.marker))
        self.assertFalse(os.path.exists(session.prefix))


if __name__ == '__main__':
    unittest.main()
