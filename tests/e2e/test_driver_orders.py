"""What the driver reads from windows and does in them, tested on
ty_boxes.exe."""

import unittest

from boxes import (MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION, MB_ICONWARNING,
                   MB_YESNOCANCEL, box, boxes)
from harness import Box, Dialog, HarnessError, Session


class DriverOrders(unittest.TestCase):
    """What the driver reads from windows and does in them."""

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def test_message_box_text_caption_and_buttons_are_read_exactly(self):
        text = '\nFirst line\n\tindented \u00ae "quoted" back\\slash'
        self.session.play(
            boxes(self.session, *box('Tessaly Installer 1.0', text, MB_ICONERROR), 'exit', 'answer'),
            [Box(text, caption='Tessaly Installer 1.0', icon='error')],
            exit_code=1, name='exact')

    def test_each_stock_icon_is_told_apart(self):
        table = [(MB_ICONERROR, 'error'), (MB_ICONWARNING, 'warning'),
                 (MB_ICONINFORMATION, 'information'), (MB_ICONQUESTION, 'question'),
                 (0, 'none')]
        orders = []
        for style, _ in table:
            orders += box('Icon', f'style {style:#x}', style)
        self.session.play(
            boxes(self.session, *orders, 'exit', '0'),
            [Box(f'style {style:#x}', caption='Icon', icon=icon, name=icon) for style, icon in table],
            exit_code=0, name='icons')

    def test_the_pressed_button_is_the_boxs_answer(self):
        self.session.play(
            boxes(self.session, *box('Question', 'Go on?', MB_ICONQUESTION | MB_YESNOCANCEL),
                  'exit', 'answer'),
            [Box('Go on?', caption='Question', icon='question',
                 buttons=['&Yes', '&No', 'Cancel'], press='No')],
            exit_code=7, name='answer')

    def test_exit_code_minus_one_is_seen_as_unsigned(self):
        self.session.play(boxes(self.session, 'exit', '-1'), [], exit_code=4294967295,
                          name='unsigned')

    def test_form_is_typed_into_ticked_and_confirmed(self):
        self.session.play(
            boxes(self.session, 'form', 'exit', 'answer'),
            [Dialog('Driver Form', controls={100: 'Name:', 102: 'Remember', 1: 'OK'},
                    actions=[('type', 101, 'Ada Lovelace'), ('check', 102, 1), ('click', 1)],
                    name='form'),
             Box('name=Ada Lovelace\nremember=1\nend=1', caption='Driver Form',
                 icon='information', name='result')],
            exit_code=1, name='form-ok')

    def test_escape_and_close_cancel_the_form(self):
        for name, action in (('escape', ('key', 'esc')), ('close', ('close',))):
            with self.subTest(name):
                self.session.play(
                    boxes(self.session, 'form', 'exit', '0'),
                    [Dialog('Driver Form', actions=[('check', 102, 1), action], name='form'),
                     Box('name=\nremember=1\nend=2', caption='Driver Form',
                         icon='information', name='result')],
                    exit_code=0, name=f'form-{name}')

    def test_enter_presses_the_default_button(self):
        self.session.play(
            boxes(self.session, 'form', 'exit', '0'),
            [Dialog('Driver Form', actions=[('type', 101, 'x'), ('key', 'enter')], name='form'),
             Box('name=x\nremember=0\nend=1', caption='Driver Form', icon='information',
                 name='result')],
            exit_code=0, name='form-enter')

    def test_a_moved_box_is_read_back_at_its_new_place(self):
        seen = {}

        class Moved(Box):
            def answer(self, session, window):
                session.move(10, 20)
                seen['rect'] = session.describe().data['rect']
                super().answer(session, window)

        self.session.play(boxes(self.session, *box('Moved', 'aside', MB_ICONWARNING), 'exit', '0'),
                          [Moved('aside', caption='Moved', icon='warning')], exit_code=0,
                          name='moved')
        self.assertEqual([10, 20], seen['rect'][:2], f'the box is at {seen["rect"]}')

    def test_a_disabled_button_cannot_be_clicked(self):
        with self.assertRaises(HarnessError) as caught:
            self.session.play(boxes(self.session, 'form', 'exit', '0'),
                              [Dialog('Driver Form', actions=[('click', 103)], name='form')],
                              exit_code=0, name='disabled')
        self.assertIn('click 103: disabled control 103 is disabled', str(caught.exception))


if __name__ == '__main__':
    unittest.main()
