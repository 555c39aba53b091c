"""Sound installers under Wine: the installer accepts its package and shows
the wizard. The sample installer is walked from the welcome page to the
ready page and ends with 0; the other sound packages are left with Exit on
the welcome page, which ends with 1 and shows that the package passed."""

import os
import shutil
import struct
import unittest

from harness import Session, run_typack, signed, trailer_start, with_checked_part
from wizard import EXIT, happy_path, licence, sample_licence_text, welcome

LEFT_WITH_EXIT = 1


def leave_at_welcome():
    return [welcome(actions=[('click', EXIT)])]


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def tiny_bmp():
    """A 1 x 1 pixel, 24-bit BMP file: the smallest welcome picture."""
    pixels = b'\x20\x40\x80\x00'
    info = struct.pack('<IiiHHIIiiII', 40, 1, 1, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = b'BM' + struct.pack('<IHHI', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


class SoundPackages(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        cls.installer = read(cls.session.paths.installer)

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def test_the_sample_installer_walks_from_welcome_to_ready_and_exits_0(self):
        program = self.session.put_program(self.session.paths.installer, 'TYInstaller.exe')
        self.session.play(program, happy_path(sample_licence_text()), exit_code=0,
                          name='sample')

    def test_a_signed_installer_is_accepted_whatever_its_signature_holds(self):
        # The control check covers the package; the platform judges the
        # signature.
        image = signed(self.installer, os.path.join(self.session.out, 'signing'))
        for name, offset in (('signed', None), ('signed-certificate-changed', len(image) - 100)):
            with self.subTest(name):
                copy = bytearray(image)
                if offset is not None:
                    copy[offset] ^= 0x01
                program = self.session.put_program(bytes(copy), f'{name}.exe')
                verify = run_typack('verify', self.session.host_path(program))
                self.assertEqual(0, verify.returncode, verify.stderr)
                self.assertIn('signed (certificate table', verify.stdout)
                self.session.play(program, leave_at_welcome(), exit_code=LEFT_WITH_EXIT,
                                  name=name)

    def test_a_checked_part_of_exactly_4000000_bytes_is_accepted(self):
        image = with_checked_part(self.installer, 4_000_000)
        program = self.session.put_program(image, 'exactly-4000000.exe')
        listing = run_typack('list', self.session.host_path(program))
        self.assertIn('checked part: 4000000 bytes\n', listing.stdout)
        self.assertIn('control check: holds\n', listing.stdout)
        self.assertEqual(4_000_000, len(image) - 16 - trailer_start(image))
        self.session.play(program, leave_at_welcome(), exit_code=LEFT_WITH_EXIT,
                          name='exactly-4000000')

    def test_names_that_fill_their_whole_field_are_read(self):
        table = [
            ('width-46', 46, 'w' * 42 + '.bmp', ['%s%02d.txt' % ('n' * 40, i) for i in range(24)]),
            ('width-1', 1, '0', [chr(ord('a') + i) for i in range(24)]),
            ('width-200', 200, 'p' * 196 + '.bmp', ['%s%02d.dat' % ('f' * 194, i) for i in range(24)]),
        ]
        for name, width, picture, files in table:
            with self.subTest(name):
                folder = os.path.join(self.session.out, name)
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)
                inputs = [os.path.join(folder, picture)]
                with open(inputs[0], 'wb') as f:
                    f.write(tiny_bmp())
                for number, file_name in enumerate(files):
                    inputs.append(os.path.join(folder, file_name))
                    with open(inputs[-1], 'w') as f:
                        f.write(f'entry {number + 1}\r\n')
                output = os.path.join(folder, 'installer.exe')
                built = run_typack('build', '--stub', self.session.paths.stub, '--output', output,
                                   '--name-width', str(width), *inputs)
                self.assertEqual(0, built.returncode, built.stderr)
                program = self.session.put_program(output, f'{name}.exe')
                # The licence page shows entry 1: the table was read right.
                self.session.play(program, [welcome(), licence('entry 1\r\n', actions=[
                    ('click', EXIT)])], exit_code=LEFT_WITH_EXIT, name=name)


if __name__ == '__main__':
    unittest.main()
