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
from installation import (INSTALL_DIR, MAKER_FOLDER, MAKER_KEY, PENDING_RENAMES, RUN_KEY,
                          RUN_VALUE, SESSION_MANAGER, START_MENU_FOLDER, UNINSTALL_KEY,
                          Machine, bar_position, box, file_not_created, files_left, sample_product,
                          reg_section, registry_not_written, shortcut_not_made, shortcuts_left)
from wizard import (FOLDER_ID, FORWARD, PRODUCT, confirmation, destination, licence,
                    sample_licence_text, welcome)

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

    def test_each_failure_is_undone_to_the_machine_before_it(self):
        engine = INSTALL_DIR + 'TYEngine.dll'
        website = START_MENU_FOLDER + '\\Visit Website.lnk'
        # 239 characters: with the backslash the second entry's name takes
        # the path to exactly 260, one more than a path may have.
        deep = 'C:\\Deep\\' + ('Quenfold ' * 30)[:239 - len('C:\\Deep\\') - 1] + 'q'
        self.assertEqual(len(deep + '\\' + self.names[1]), 260, self.names[1])
        writing_engine = (WRITING, bar_position(self.sizes, self.names.index('TYEngine.dll')))
        configuring = (CONFIGURING, 100)

        def folder(path):
            return lambda: self.machine.make_folder(path)

        def file(path, data):
            return lambda: self.machine.write(path, data)

        other = file(MAKER_FOLDER + '\\Other\\other.txt', b'other\r\n')
        # name, registry sections imported, what is made first, the walk
        # (None: to the default folder), the boxes, the progress page's
        # status and bar behind them (None: never seen), holds (see
        # Machine.fail), and the changes left for the restart
        table = [
            # The destination and the maker's folder were there before (they
            # hold the folder): the run's files go, the folders are the
            # user's and are neither handed over nor named for deletion.
            ('entry-named-folder', [], folder(engine), None, file_not_created(engine),
             writing_engine, {}, []),
            ('file-in-use', [], file(engine, b'in use elsewhere\r\n'), None,
             file_not_created(engine), writing_engine, {'hold': ([engine], 'lock')}, []),
            # The first path still fits, the second does not: the box shows
            # it as far as it fits. Every level of the destination was made
            # by the run and goes again.
            ('path-too-long', [], None, self.walk(deep),
             file_not_created((deep + '\\' + self.names[1])[:259]),
             (WRITING, bar_position(self.sizes, 1)), {}, []),
            # "CON" is a device: the level is passed over as there, and the
            # one below it cannot be made. C:\New, made on the way, goes.
            ('level-not-made', [], None, self.walk('C:\\New\\CON\\Quenfold'),
             [box(text('no-folder'), 'error', 'no-folder')], None, {}, []),
            # The product's Start Menu folder existed with the blocking
            # folder: the shortcuts made go at once, the folder is handed
            # over and stays, as it was.
            ('shortcut-named-folder', [], folder(website), None,
             shortcut_not_made(START_MENU_FOLDER) + [shortcuts_left(START_MENU_FOLDER)],
             (SHORTCUTS, 100), {}, [pending(START_MENU_FOLDER)]),
            # No shortcut exists to be undone; the file stays as it was.
            ('start-menu-folder-is-a-file', [], file(START_MENU_FOLDER, b'not a folder\r\n'),
             None, shortcut_not_made(None), (SHORTCUTS, 100), {}, []),
            ('run-value-left-over', [RUN_VALUE_LEFT_OVER], None, None, registry_not_written(),
             configuring, {}, []),
            ('uninstall-entry-left-over', [UNINSTALL_ENTRY_LEFT_OVER], None, None,
             registry_not_written(), configuring, {}, []),
            # Another program opens an installed file and a shortcut while
            # the failure is reported: both, and the folders holding them,
            # are handed over, and the restart removes all of them.
            ('held-during-rollback', [RUN_VALUE_LEFT_OVER], None, None,
             registry_not_written() + [files_left(MAKER_FOLDER), shortcuts_left(START_MENU_FOLDER)],
             configuring, {'hold_at_first_box': ([engine, website], 'hold')},
             [pending(website, START_MENU_FOLDER, engine, INSTALL_DIR[:-1], MAKER_FOLDER),
              f'added folder {MAKER_FOLDER}', f'added folder {INSTALL_DIR[:-1]}',
              f'added file {engine}', f'added folder {START_MENU_FOLDER}',
              f'added file {website}']),
            # A file of the run held during the rollback is named alone: the
            # folder is the user's, and nothing advises deleting it.
            ('destination-with-files', [RUN_VALUE_LEFT_OVER],
             file(INSTALL_DIR + 'my notes.txt', b'mine\r\n'), None,
             registry_not_written() + [box(text('files-left-in-folder', folder=engine),
                                           'information', 'files-left-in-folder')],
             configuring, {'hold_at_first_box': ([engine], 'hold')},
             [pending(engine), f'added file {engine}']),
            ('maker-folder-with-other', [RUN_VALUE_LEFT_OVER], other, None,
             registry_not_written(), configuring, {}, []),
            # Confirmed as resolved; the rollback takes out the one level the
            # run made, and the user's empty folder stays.
            ('dot-dot', [RUN_VALUE_LEFT_OVER], folder('C:\\Empty'),
             self.walk('C:\\New\\..\\Empty\\Quenfold', 'C:\\Empty\\Quenfold'),
             registry_not_written(), configuring, {}, []),
            ('maker-key-of-another-product', [RUN_VALUE_LEFT_OVER, OTHER_PRODUCT], other, None,
             registry_not_written(), configuring, {}, []),
            # The run makes C:\Apps as well as C:\Apps\Quenfold; the undo takes
            # out both, the level above the destination too.
            ('outside-maker-folder', [RUN_VALUE_LEFT_OVER], None, self.walk('C:\\Apps\\Quenfold'),
             registry_not_written(), configuring, {}, []),
        ]
        for name, registry, arrange, walk, boxes, behind, holds, left in table:
            with self.subTest(name):
                self.forget(*registry)
                if arrange:
                    arrange()
                page, now, restarted = self.machine.fail(name, walk or self.walk(), boxes,
                                                         **holds)
                seen = page and (page.status, page.position)
                self.assertEqual(behind, seen, 'status line and bar when the failure was reported')
                self.assertEqual(sorted(left), sorted(now))
                self.assertEqual([], restarted)


if __name__ == '__main__':
    unittest.main()
