"""Installers that cannot run under Wine show their one error box (no
owner, the caption, error icon, exact text) and end with -1, seen from
outside as 4294967295; a sound installer started next gets the lock."""

import unittest

from harness import EXIT_FATAL, MODIFIED_PACKAGE, Box, SessionCase, text
from wizard import EXIT, welcome

# Wine loads no library that a program's own DllOverrides key disables.
OVERRIDES = 'HKCU\\Software\\Wine\\AppDefaults\\{}\\DllOverrides'


class InstallerThatCannotRun(SessionCase):

    def test_each_shows_its_box_ends_with_minus_1_and_gives_the_lock_back(self):
        with open(self.session.paths.installer, 'rb') as f:
            image = bytearray(f.read())
        damaged = bytearray(image)
        damaged[-1] ^= 0xFF  # the stored control check's last byte
        missing = text('missing-function', function='CoCreateInstance',
                       library='ole32.dll')
        table = [
            ('damaged', damaged, None, Box(MODIFIED_PACKAGE)),
            ('no-ole32', image, 'ole32',
             Box(missing, caption='Tessaly Installer')),
        ]
        for name, data, disabled, box in table:
            with self.subTest(name):
                program = self.session.put_program(data, f'{name}.exe')
                if disabled:
                    code, _, errors = self.session.command(
                        'wine', 'reg', 'add', OVERRIDES.format(f'{name}.exe'), '/v', disabled,
                        '/d', '', '/f')
                    self.assertEqual(code, 0, errors)
                self.session.play(program, [box], exit_code=EXIT_FATAL, name=name)
        # A sound installer started next gets the lock: it shows its welcome
        # page, not the box about another instance.
        program = self.session.put_program(self.session.paths.installer, 'sound.exe')
        self.session.play(program, [welcome(actions=[('click', EXIT)])], exit_code=1,
                          name='sound')


if __name__ == '__main__':
    unittest.main()
