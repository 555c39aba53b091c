"""Installers that cannot run under Wine, or refuse to on this machine,
show their one box (no owner, the caption, the icon, exact text) and end
with -1, seen from outside as 4294967295; a sound installer started next
gets the lock."""

import unittest

from harness import EXIT_FATAL, MODIFIED_PACKAGE, Box, SessionCase, text
from installation import MAKER_KEY, PRODUCT_KEY
from wizard import EXIT, SETUP_CAPTION, welcome

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
        def refused(name, icon='error'):
            return Box(text(name), caption=SETUP_CAPTION, icon=icon)

        def installed(version, folder='C:\\Program Files\\Tessaly\\Old'):
            key = f'{PRODUCT_KEY}\\{version}'
            return [key, '/v', 'InstallDir', '/d', folder] if folder else [key]

        # name, image, library disabled, keys added, box
        table = [
            ('damaged', damaged, None, [], Box(MODIFIED_PACKAGE)),
            ('no-ole32', image, 'ole32', [], Box(missing, caption=SETUP_CAPTION)),
            ('same-version', image, None, [installed('2.9')],
             refused('same-version', 'information')),
            ('same-version-without-folder', image, None, [installed('2.9', None)],
             refused('corrupted')),
            # Listed first (the registry sorts by name), the newer one is
            # not forgotten over an older one after it.
            ('newer-version', image, None, [installed('10.0'), installed('2.5')],
             refused('newer-version', 'information')),
            # A subkey of the maker's key whose name is over 200 characters
            # cannot be listed.
            ('maker-key-unreadable', image, None, [[f'{MAKER_KEY}\\{"x" * 201}']],
             refused('registry-error')),
        ]
        for name, data, disabled, keys, box in table:
            with self.subTest(name):
                self.session.command('wine', 'reg', 'delete', MAKER_KEY, '/f')
                program = self.session.put_program(data, f'{name}.exe')
                if disabled:
                    keys = keys + [[OVERRIDES.format(f'{name}.exe'), '/v', disabled, '/d', '']]
                for key in keys:
                    code, _, errors = self.session.command('wine', 'reg', 'add', *key, '/f')
                    self.assertEqual(code, 0, errors)
                self.session.play(program, [box], exit_code=EXIT_FATAL, name=name)
        self.session.command('wine', 'reg', 'delete', MAKER_KEY, '/f')
        # A sound installer started next gets the lock: it shows its welcome
        # page, not the box about another instance.
        program = self.session.put_program(self.session.paths.installer, 'sound.exe')
        self.session.play(program, [welcome(actions=[('click', EXIT)])], exit_code=1,
                          name='sound')


if __name__ == '__main__':
    unittest.main()
