"""A damaged installer under Wine shows its one error box (no owner, caption
"Tessaly Installer 1.0", error icon, exact text), ends with -1, seen from
outside as 4294967295, and gives the lock back."""

import unittest

from harness import EXIT_FATAL, MODIFIED_PACKAGE, Box, SessionCase
from wizard import EXIT, welcome

class DamagedInstaller(SessionCase):

    def test_a_changed_byte_is_reported_as_modified_and_the_lock_given_back(self):
        with open(self.session.paths.installer, 'rb') as f:
            image = bytearray(f.read())
        image[-1] ^= 0xFF  # the stored control check's last byte
        program = self.session.put_program(image, 'damaged.exe')
        self.session.play(program, [Box(MODIFIED_PACKAGE)],
                          exit_code=EXIT_FATAL, name='damaged')
        # A sound installer started next gets the lock: it shows its welcome
        # page, not the box about another instance.
        program = self.session.put_program(self.session.paths.installer, 'sound.exe')
        self.session.play(program, [welcome(actions=[('click', EXIT)])], exit_code=1,
                          name='sound')


if __name__ == '__main__':
    unittest.main()
