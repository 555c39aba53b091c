"""The installation on the Windows 95 family under Wine (Wine set to
Windows 98): a fresh installation puts the shortcuts into the current
user's programs folder, without descriptions; a failed one hands what it
cannot delete over, the files under their short names through WININIT.INI
and the folders through RunOnce entries, which Wine's simulated restart
carries out.

One session plays the machine's story in setUpClass: the fresh
installation, then, with the product cleared away again, a failure whose
undo finds an installed file and a shortcut held open by another
program. Each test checks one part of what was seen."""

import re
import unittest

from harness import SessionCase
from installation import (INSTALL_DIR, MAKER_FOLDER, RUN_KEY, RUN_VALUE, WINDOWS_FOLDER, Machine,
                          expected_registry, expected_shortcuts, files_left, installed_changes,
                          key_values, lnkinfo, reg_section, registry_not_written,
                          registry_string, sample_product, shortcuts_left)
from wizard import (PRODUCT, confirmation, destination, happy_path, licence,
                    sample_licence_text, welcome)

WININIT = WINDOWS_FOLDER + '\\WININIT.INI'
WININIT_KEPT = WINDOWS_FOLDER + '\\wininit.bak'
RUN_ONCE = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce'


class InstallationWindows95Family(SessionCase):

    @classmethod
    def prepare(cls):
        cls.story()

    @classmethod
    def story(cls):
        machine = cls.machine = Machine(cls.session)
        cls.entries = sample_product(cls.session)
        cls.start_menu_folder = machine.user_programs() + '\\' + PRODUCT
        machine.reg('add', 'HKCU\\Software\\Wine', '/v', 'Version', '/d', 'win98', '/f')
        cls.family = machine.probe_lines('family')

        # A fresh installation.
        before = machine.snapshot('before the installation')
        machine.start_driver()
        cls.session.play(machine.installer, happy_path(sample_licence_text()), exit_code=0,
                         name='install')
        cls.installed = machine.snapshot('after the installation')
        cls.installed_changes = machine.changes(before, cls.installed, 'by the installation')
        machine.start_driver()
        cls.links = {link: (lnkinfo(machine.host(cls.start_menu_folder + '\\' + link)),
                            machine.read_link(cls.start_menu_folder + '\\' + link))
                     for link in expected_shortcuts()}

        # The names Windows 95 and 98 know the installed items by before
        # long file names are available.
        cls.engine = INSTALL_DIR + 'TYEngine.dll'
        cls.website = cls.start_menu_folder + '\\Visit Website.lnk'
        items = [cls.website, cls.start_menu_folder, cls.engine, INSTALL_DIR[:-1], MAKER_FOLDER]
        cls.short = dict(zip(items, machine.probe_lines(*[order for item in items
                                                         for order in ('short', item)])))

        # A failure at the registry (a Run value of that name is there
        # already), while another program holds an installed file and a
        # shortcut open.
        machine.forget(reg_section(RUN_KEY, **{RUN_VALUE: 'C:\\Elsewhere\\Tessaly Ticklet.exe'}))
        cls.wininit = {}

        def keep_wininit():
            with open(machine.host(WININIT), 'rb') as f:
                cls.wininit['after the run'] = f.read().decode('latin-1')

        walk = [welcome(), licence(sample_licence_text()), destination(), confirmation()]
        cls.page, cls.failed_changes, cls.restarted_changes = machine.fail(
            'held-during-rollback', walk,
            registry_not_written() + [files_left(MAKER_FOLDER),
                                      shortcuts_left(cls.start_menu_folder)],
            hold_at_first_box=([cls.engine, cls.website], 'hold'), before_restart=keep_wininit)

    def test_wine_set_to_windows_98_is_the_windows_95_family(self):
        self.assertEqual(['4'], self.family)

    def test_the_installation_changes_the_machine_by_the_product_with_the_user_s_shortcuts(self):
        self.assertEqual(installed_changes(INSTALL_DIR, self.start_menu_folder,
                                           [name for name, _ in self.entries]),
                         sorted(self.installed_changes))

    def test_the_shortcuts_carry_no_description(self):
        expected = expected_shortcuts(descriptions=False)
        for link, (outside, inside) in self.links.items():
            with self.subTest(link):
                self.assertEqual(expected[link], outside, 'as lnkinfo reads it')
                self.assertEqual(expected[link], inside, "as the shell's link object reads it")

    def test_the_registry_holds_the_same_values_as_on_the_nt_family(self):
        got = {}
        for key, name in expected_registry():
            data = (key_values(self.installed, key) or {}).get(name)
            got[(key, name)] = registry_string(data) if data is not None else None
        self.assertEqual(expected_registry(), got)

    def test_the_failure_is_reported_behind_the_configuring_status_with_a_full_bar(self):
        self.assertEqual(('Configuring the product...', 100),
                         (self.page and self.page.status, self.page and self.page.position))

    def test_the_held_items_go_into_wininit_and_their_folders_into_run_once_by_short_name(self):
        short = self.short
        for item, name in short.items():
            with self.subTest(item):
                self.assertRegex(name, r'^C:(\\[^\\ .]{1,8}(\.[^\\ .]{1,3})?)+$')
        self.assertEqual('[Rename]\r\n'
                         f'NUL={short[self.website]}\r\n'
                         f'NUL={short[self.engine]}\r\n',
                         self.wininit.get('after the run'))
        # Numbered downwards in the order handed over, so that the restart
        # removes the emptied folders innermost first.
        removal = f'added value {RUN_ONCE}: Tessaly folder %d = <interpreter> /C RD "%s"'
        self.assertEqual(sorted([
            f'added file {WININIT}',
            removal % (999, short[self.start_menu_folder]),
            removal % (998, short[INSTALL_DIR[:-1]]),
            removal % (997, short[MAKER_FOLDER]),
            f'added folder {MAKER_FOLDER}',
            f'added folder {INSTALL_DIR[:-1]}',
            f'added file {self.engine}',
            f'added folder {self.start_menu_folder}',
            f'added file {self.website}',
        ]), self.changes(self.failed_changes))

    def test_the_restart_deletes_the_held_files_and_their_emptied_folders(self):
        # Everything is as before the run but for WININIT.INI, which Wine
        # keeps as wininit.bak.
        self.assertEqual([f'added file {WININIT_KEPT}'], self.changes(self.restarted_changes))

    @staticmethod
    def changes(changes):
        """The changes sorted, with the quoted command interpreter of a
        folder removal, which is the system's own, left out. Whether the RunOnce
        key itself was there before depends on the prefix, not on the
        installer."""
        return sorted(re.sub(r' = "[^"]+" /C RD ', ' = <interpreter> /C RD ', change)
                      for change in changes if change != f'added key {RUN_ONCE}')


if __name__ == '__main__':
    unittest.main()
