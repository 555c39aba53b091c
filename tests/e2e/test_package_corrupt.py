"""Damaged installers under Wine: each shows its one error box (no owner,
caption "Tessaly Installer 1.0", error icon, exact text) and ends with -1,
seen from outside as 4294967295."""

import os
import unittest

from harness import (CORRUPTED_PACKAGE_PARAGRAPH, EXIT_FATAL, Box, Session, le32,
                     package_cut_in_second_record, package_header, reseal, run_typack, signed,
                     trailer_start, with_checked_part)
from wizard import EXIT, welcome

MODIFIED = '\nThe installer detected that the original installation data has been modified.'
NO_MEMORY = '\nInsufficient system memory to allocate for control check computation.'
TOO_GREAT = '\nInstallation database too great; this means it is corrupted.'


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class PackageErrors(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        cls.installer = read(cls.session.paths.installer)
        cls.stub = read(cls.session.paths.stub)

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)

    def expect_box(self, image, text, name):
        program = self.session.put_program(image, f'{name}.exe')
        self.session.play(program, [Box(text)], exit_code=EXIT_FATAL, name=name)

    def corrupt_copy(self, offset, mask=0xFF, source=None):
        image = bytearray(self.installer if source is None else source)
        image[offset] ^= mask
        return image

    def test_any_changed_byte_of_the_checked_part_or_digest_is_reported_as_modified(self):
        header = package_header(self.installer)
        start, end = header['start'], len(self.installer)
        signed_image = signed(self.installer, os.path.join(self.session.out, 'signing'))
        table = [
            ('entry-data', start + header['header_size'] + 1000, 0xFF),
            ('signed-entry-data', start + header['header_size'] + 1000, 0xFF, signed_image),
            ('file-count', start, 0x01),
            ('package-start-lowest-bit', end - 20, 0x01),
            ('stored-digest', end - 1, 0xFF),
        ]
        for name, offset, mask, *source in table:
            with self.subTest(name):
                image = self.corrupt_copy(offset, mask, *source)
                program = self.session.put_program(image, f'{name}.exe')
                verify = run_typack('verify', self.session.host_path(program))
                self.assertEqual(1, verify.returncode, verify.stdout + verify.stderr)
                self.expect_box(image, MODIFIED + CORRUPTED_PACKAGE_PARAGRAPH, name)

    def test_package_start_past_the_end_fails_the_allocation_without_the_paragraph(self):
        image = bytearray(self.installer)
        image[-20:-16] = (len(image) + 1).to_bytes(4, 'little')
        self.expect_box(image, NO_MEMORY, 'start-past-end')

    def test_a_file_cut_short_by_one_byte_fails_the_allocation(self):
        image = self.installer[:-1]
        # The trailer now starts one byte early: its package start takes the
        # last data byte and the low three bytes of the real start, which
        # lies far past the shortened file's end.
        self.assertGreater(trailer_start(image), len(image) - 16)
        self.expect_box(image, NO_MEMORY, 'cut-by-one')

    def test_a_checked_part_over_4000000_bytes_is_too_great(self):
        image = with_checked_part(self.installer, 4_000_001)
        self.assertEqual(4_000_001, len(image) - 16 - trailer_start(image))
        self.expect_box(image, TOO_GREAT, 'over-4000000')

    def test_a_record_running_past_the_end_stops_at_the_field_it_reaches(self):
        table = [
            (0, '\nUnexpected end of file while reading the file name'),
            (20, '\nIncorrect amount of data read while reading the file name'),
            (46, '\nUnexpected end of file while reading the uncompressed file size for file'),
            (48, '\nIncorrect amount of data read while reading the uncompressed file size'),
            (50, '\nUnexpected end of file while reading the compressed file size for file'),
            (52, '\nIncorrect amount of data read while reading the compressed file size'),
            (54, '\nUnexpected end of file while reading the file flags'),
            (55, '\nUnexpected end of file while reading the file data start position'),
            (57, '\nIncorrect amount of data read while reading the file data start position'),
        ]
        for present, text in table:
            with self.subTest(present=present):
                image = package_cut_in_second_record(self.stub, present)
                self.assertEqual(image, reseal(image))
                self.assertEqual(len(self.stub), le32(image, len(image) - 20))
                self.expect_box(image, text, f'cut-record-at-{present}')

    def test_the_lock_is_given_back_after_a_package_error(self):
        self.expect_box(self.corrupt_copy(len(self.installer) - 1), MODIFIED
                        + CORRUPTED_PACKAGE_PARAGRAPH, 'before')
        # A sound installer started next gets the lock: it shows its welcome
        # page, not the box about another instance.
        program = self.session.put_program(self.installer, 'after.exe')
        self.session.play(program, [welcome(actions=[('click', EXIT)])], exit_code=1,
                          name='after')


if __name__ == '__main__':
    unittest.main()
