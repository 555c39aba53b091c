"""A fresh installation of the sample product under Wine (NT family, the
default destination), checked from outside (the prefix's files and
registry read from disk, the shortcuts read by Debian's lnkinfo) and from
inside (the shell's own link object, Wine's list of installed programs).
The prefix before and after the run differs by exactly what the product
installs."""

import os
import unittest

from harness import SessionCase
from installation import (INSTALL_DIR, RUN_KEY, RUN_VALUE, START_MENU_FOLDER, Machine,
                          expected_registry, expected_shortcuts, installed_changes, key_values,
                          lnkinfo, registry_string, sample_product)
from wizard import PRODUCT, happy_path, sample_licence_text

class FreshInstallationNtFamily(SessionCase):
    """The default walk on a machine without the product: every page, the
    default folder, the ready page's tasks cleared, Exit (exit code 0)."""

    @classmethod
    def prepare(cls):
        cls.machine = Machine(cls.session)
        cls.entries = sample_product(cls.session)
        before = cls.machine.snapshot('before')
        cls.machine.start_driver()
        cls.session.play(cls.machine.installer, happy_path(sample_licence_text()),
                         exit_code=0, name='install')
        cls.after = cls.machine.snapshot('after')
        cls.changes = cls.machine.changes(before, cls.after, 'by the installation')
        cls.machine.start_driver()

    def test_the_machine_changed_by_exactly_the_product_s_files_shortcuts_and_registry(self):
        self.assertEqual(installed_changes(INSTALL_DIR, START_MENU_FOLDER,
                                           [name for name, _ in self.entries]),
                         sorted(self.changes))

    def test_every_installed_file_is_the_sample_product_s_file_byte_for_byte(self):
        folder = self.machine.host(INSTALL_DIR)
        self.assertEqual(sorted(name for name, _ in self.entries), sorted(os.listdir(folder)))
        for name, data in self.entries:
            with self.subTest(name):
                with open(os.path.join(folder, name), 'rb') as f:
                    installed = f.read()
                self.assertTrue(installed == data,
                                f'{name}: got {len(installed)} bytes, expected the sample\'s '
                                f'{len(data)} bytes' + ('' if len(installed) != len(data)
                                                        else ' (same size, other bytes)'))

    def test_the_start_menu_folder_holds_the_six_shortcuts_as_lnkinfo_reads_them(self):
        folder = self.machine.host(START_MENU_FOLDER)
        expected = expected_shortcuts()
        self.assertEqual(sorted(expected), sorted(os.listdir(folder)))
        for link, fields in expected.items():
            with self.subTest(link):
                self.assertEqual(fields, lnkinfo(os.path.join(folder, link)))

    def test_the_shell_s_link_object_reads_the_same_shortcuts(self):
        for link, fields in expected_shortcuts().items():
            with self.subTest(link):
                self.assertEqual(fields,
                                 self.machine.read_link(START_MENU_FOLDER + '\\' + link))

    def test_the_registry_holds_the_thirteen_values_as_strings(self):
        expected = expected_registry()
        got = {}
        for key, name in expected:
            values = key_values(self.after, key) or {}
            data = values.get(name)
            got[(key, name)] = registry_string(data) if data is not None else None
            if data is not None and registry_string(data) is None:
                got[(key, name)] = f'not a string: {data}'
        self.assertEqual(expected, got)

    def test_the_run_value_starts_the_installed_scheduler(self):
        data = registry_string((key_values(self.after, RUN_KEY) or {}).get(RUN_VALUE))
        self.assertEqual(INSTALL_DIR + 'Tessaly Ticklet.exe', data)
        with open(self.machine.host(data), 'rb') as f:
            scheduler = f.read()
        self.assertTrue(scheduler == dict(self.entries)['Tessaly Ticklet.exe'],
                        f'{data} is not the scheduler entry ({len(scheduler)} bytes)')

    def test_wine_s_list_of_installed_programs_shows_the_product(self):
        code, output = self.machine.wine('wine', 'uninstaller', '--list')
        self.assertEqual(0, code)
        self.assertIn(f'{PRODUCT} 2.9|||{PRODUCT} 2.9', output.splitlines())


if __name__ == '__main__':
    unittest.main()
