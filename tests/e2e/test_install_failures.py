"""Failed installations under Wine (NT family) and their undoing: each case
prepares the machine, takes the whole prefix (registry files and drive C:)
from disk, walks the wizard to a failure, checks the boxes in order, the
progress page behind them and the exit code (-1, seen as 4294967295), then
compares the prefix with the one before: it may differ only by what was
handed over for the next start (PendingFileRenameOperations and the items
it names), and must match completely after Wine's simulated restart.

The cases share one session: every case first clears what the product or
an earlier case may have left (registry entries, folders), so that it
starts from a known machine whatever happened before."""

import unittest

from harness import SessionCase, text
from installation import (COMMON_PROGRAMS, INSTALL_DIR, MAKER_FOLDER, MAKER_KEY,
                          PENDING_RENAMES, RUN_KEY, RUN_VALUE, SESSION_MANAGER, UNINSTALL_KEY,
                          Machine, bar_position, box, file_not_created, files_left, sample_product,
                          reg_section, registry_not_written, shortcut_not_made, shortcuts_left)
from wizard import (FOLDER_ID, FORWARD, PRODUCT, confirmation, destination, licence,
                    sample_licence_text, welcome)

START_MENU_FOLDER = COMMON_PROGRAMS + '\\' + PRODUCT
WRITING, SHORTCUTS, CONFIGURING = ('Transferring product data...',
                                   'Creating Start Menu shortcuts and icons...',
                                   'Configuring the product...')
ELSEWHERE_SCHEDULER = 'C:\\Elsewhere\\Tessaly Ticklet.exe'
OTHER_UNINSTALL_NAME = PRODUCT + ' 2.9 (installed elsewhere)'


def pending(*items):
    """PendingFileRenameOperations naming items for deletion, in order."""
    strings = []
    for item in items:
        strings += ['\\??\\' + item, '']
    return f'added value {SESSION_MANAGER}: {PENDING_RENAMES} = {strings!r}'


RUN_VALUE_LEFT_OVER = reg_section(RUN_KEY, **{RUN_VALUE: ELSEWHERE_SCHEDULER})
UNINSTALL_ENTRY_LEFT_OVER = reg_section(UNINSTALL_KEY, DisplayName=OTHER_UNINSTALL_NAME)
OTHER_PRODUCT = reg_section(MAKER_KEY + '\\Other', InstallDir=MAKER_FOLDER + '\\Other')


class FailedInstallations(SessionCase):

    @classmethod
    def prepare(cls):
        cls.machine = Machine(cls.session)
        entries = sample_product(cls.session)
        cls.names = [name for name, _ in entries]
        cls.sizes = [len(data) for _, data in entries]
        cls.licence_text = sample_licence_text()

    # -- the machine before a case

    def forget(self, *registry):
        self.machine.forget(*registry, places=['C:\\Apps', 'C:\\Deep', 'C:\\Empty', 'C:\\New'])

    def walk(self, folder=None, confirmed=None):
        """The pages up to the confirmation, to the default folder or one
        typed in (confirmed as given, or as the installer resolves it)."""
        if folder is None:
            return [welcome(), licence(self.licence_text), destination(), confirmation()]
        return [welcome(), licence(self.licence_text),
                destination(actions=[('type', FOLDER_ID, folder), ('click', FORWARD)]),
                confirmation(confirmed or folder)]

    def index_of(self, name):
        return self.names.index(name) + 1

    # -- one case

    def fail_installation(self, name, boxes, status, position, walk=None, **holds):
        """The failing run (Machine.fail) to the default folder or along
        walk; checks what the progress page showed behind the boxes."""
        page, now, restarted = self.machine.fail(name, walk or self.walk(), boxes, **holds)
        self.assertIsNotNone(page, 'the progress page was never seen')
        self.assertEqual((status, position), (page.status, page.position),
                         'status line and bar when the failure was reported')
        return now, restarted

    # -- files

    def test_a_folder_named_like_an_entry_stops_the_files_and_the_user_s_folders_stay(self):
        # The destination and the maker's folder were there before (they
        # hold the folder): the run's files go, the folders are the user's
        # and are neither handed over nor named for deletion.
        self.forget()
        blocker = INSTALL_DIR + 'TYEngine.dll'
        self.machine.make_folder(blocker)
        index = self.index_of('TYEngine.dll')
        now, restarted = self.fail_installation(
            'entry-named-folder', file_not_created(blocker),
            WRITING, bar_position(self.sizes, index - 1))
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_file_another_program_keeps_to_itself_stops_the_files(self):
        self.forget()
        held = INSTALL_DIR + 'TYEngine.dll'
        self.machine.write(held, b'in use elsewhere\r\n')
        index = self.index_of('TYEngine.dll')
        now, restarted = self.fail_installation(
            'file-in-use', file_not_created(held),
            WRITING, bar_position(self.sizes, index - 1), hold=([held], 'lock'))
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_path_longer_than_259_characters_is_a_file_that_cannot_be_created(self):
        # The destination page takes 247 characters; with the backslash and
        # "License.txt" the first path still fits, "Tessaly Quenfold.exe"
        # does not: the box shows the path as far as it fits. The run made
        # every level of the destination, and takes all of them out again.
        self.forget()
        folder = 'C:\\Deep\\' + ('Quenfold ' * 30)[:247 - len('C:\\Deep\\') - 1] + 'q'
        path = (folder + '\\' + self.names[1])[:259]
        now, restarted = self.fail_installation(
            'path-too-long', file_not_created(path), WRITING, bar_position(self.sizes, 1),
            walk=self.walk(folder))
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_level_that_cannot_be_made_takes_out_the_levels_made_before_it(self):
        # "CON" is a device: the level is passed over as there, and the one
        # below it cannot be made. C:\New, made on the way, goes again.
        self.forget()
        page, now, restarted = self.machine.fail(
            'level-not-made', self.walk('C:\\New\\CON\\Quenfold'),
            [box(text('no-folder'), 'error', 'no-folder')])
        self.assertIsNone(page, 'the progress page was seen')
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    # -- shortcuts

    def test_a_folder_named_like_a_shortcut_stops_the_shortcuts(self):
        # The product's Start Menu folder existed with the blocking folder:
        # the three shortcuts made go at once, the folder is handed over
        # and stays, as it was.
        self.forget()
        self.machine.make_folder(START_MENU_FOLDER + '\\Visit Website.lnk')
        now, restarted = self.fail_installation(
            'shortcut-named-folder',
            shortcut_not_made(START_MENU_FOLDER) + [shortcuts_left(START_MENU_FOLDER)],
            SHORTCUTS, 100)
        self.assertEqual([pending(START_MENU_FOLDER)], now)
        self.assertEqual([], restarted)

    def test_a_file_named_like_the_start_menu_folder_leaves_the_folder_undetermined(self):
        # The product's folder cannot be made, so no shortcut exists to be
        # undone; the file stays as it was.
        self.forget()
        self.machine.write(START_MENU_FOLDER, b'not a folder\r\n')
        now, restarted = self.fail_installation(
            'start-menu-folder-is-a-file', shortcut_not_made(None), SHORTCUTS, 100)
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    # -- registry

    def test_a_run_value_left_over_stops_the_registry_and_survives(self):
        self.forget(RUN_VALUE_LEFT_OVER)
        now, restarted = self.fail_installation('run-value-left-over', registry_not_written(),
                                                CONFIGURING, 100)
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_an_uninstall_entry_left_over_stops_the_registry_and_survives(self):
        self.forget(UNINSTALL_ENTRY_LEFT_OVER)
        now, restarted = self.fail_installation('uninstall-entry-left-over',
                                                registry_not_written(), CONFIGURING, 100)
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_held_files_and_shortcuts_of_the_run_wait_for_the_restart(self):
        # Another program opens an installed file and a shortcut while the
        # failure is reported: both, and the folders holding them, are
        # handed over, and the restart removes all of them.
        self.forget(RUN_VALUE_LEFT_OVER)
        engine = INSTALL_DIR + 'TYEngine.dll'
        website = START_MENU_FOLDER + '\\Visit Website.lnk'
        now, restarted = self.fail_installation(
            'held-during-rollback',
            registry_not_written() + [files_left(MAKER_FOLDER), shortcuts_left(START_MENU_FOLDER)],
            CONFIGURING, 100, hold_at_first_box=([engine, website], 'hold'))
        self.assertEqual(sorted([
            pending(website, START_MENU_FOLDER, engine, INSTALL_DIR[:-1], MAKER_FOLDER),
            f'added folder {MAKER_FOLDER}',
            f'added folder {INSTALL_DIR[:-1]}',
            f'added file {engine}',
            f'added folder {START_MENU_FOLDER}',
            f'added file {website}',
        ]), sorted(now))
        self.assertEqual([], restarted)

    # -- folders and keys that were there before

    def test_a_destination_with_files_of_its_own_stays_as_it_was(self):
        # A file of the run held during the rollback is named alone: the
        # folder is the user's, and nothing advises deleting it.
        self.forget(RUN_VALUE_LEFT_OVER)
        self.machine.write(INSTALL_DIR + 'my notes.txt', b'mine\r\n')
        engine = INSTALL_DIR + 'TYEngine.dll'
        now, restarted = self.fail_installation(
            'destination-with-files',
            registry_not_written() + [box(text('files-left-in-folder', folder=engine),
                                          'information', 'files-left-in-folder')],
            CONFIGURING, 100, hold_at_first_box=([engine], 'hold'))
        self.assertEqual(sorted([pending(engine), f'added file {engine}']), sorted(now))
        self.assertEqual([], restarted)

    def test_a_maker_folder_holding_something_else_stays_as_it_was(self):
        self.forget(RUN_VALUE_LEFT_OVER)
        self.machine.write(MAKER_FOLDER + '\\Other\\other.txt', b'other\r\n')
        now, restarted = self.fail_installation('maker-folder-with-other', registry_not_written(),
                                                CONFIGURING, 100)
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_typed_dot_dot_over_an_empty_folder_leaves_that_folder(self):
        # Confirmed as resolved; the rollback takes out the one level the
        # run made, and the user's empty folder stays.
        self.forget(RUN_VALUE_LEFT_OVER)
        self.machine.make_folder('C:\\Empty')
        now, restarted = self.fail_installation(
            'dot-dot', registry_not_written(), CONFIGURING, 100,
            walk=self.walk('C:\\New\\..\\Empty\\Quenfold', 'C:\\Empty\\Quenfold'))
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_maker_key_of_another_product_keeps_the_key_and_the_maker_folder(self):
        self.forget(RUN_VALUE_LEFT_OVER, OTHER_PRODUCT)
        self.machine.write(MAKER_FOLDER + '\\Other\\other.txt', b'other\r\n')
        now, restarted = self.fail_installation('maker-key-of-another-product',
                                                registry_not_written(), CONFIGURING, 100)
        self.assertEqual([], now)
        self.assertEqual([], restarted)

    def test_a_destination_outside_a_maker_folder_leaves_nothing_of_the_run(self):
        # The run makes C:\Apps as well as C:\Apps\Quenfold; the undo takes
        # out both, the level above the destination too.
        self.forget(RUN_VALUE_LEFT_OVER)
        now, restarted = self.fail_installation('outside-maker-folder', registry_not_written(),
                                                CONFIGURING, 100,
                                                walk=self.walk('C:\\Apps\\Quenfold'))
        self.assertEqual([], now)
        self.assertEqual([], restarted)


if __name__ == '__main__':
    unittest.main()
