"""The installer's wizard as the harness expects it: the pages' captions
and texts, and the walks through them that the tests and the demo share."""

import os

from harness import Box, Dialog, Passing, text

PRODUCT = 'Quenfold for Vexor for DOS'
PAGE_CAPTION = f'{PRODUCT} 2.9 Setup'
WELCOME_CAPTION = f'{PAGE_CAPTION} :: Welcome'
LICENCE_CAPTION = f'{PAGE_CAPTION} :: 2/5'
DESTINATION_CAPTION = f'{PAGE_CAPTION} :: 3/5'
PROGRESS_CAPTION = f'{PAGE_CAPTION} :: 4/5'
READY_CAPTION = f'{PAGE_CAPTION} :: 5/5 :: Ready!'
SETUP_CAPTION = 'Tessaly Installer'
SIGNATURE = 'Tessaly\u00ae Installer'

EXIT, FORWARD = 2, 1
LICENCE_TEXT_ID, FOLDER_ID, BROWSE_ID = 1005, 1007, 1006
TASK_HELP, TASK_START, TASK_START_MENU = 1010, 1011, 1012

# "ProgramFilesDir" of a fresh 32-bit prefix, then the maker's and the
# product's folders; the field shows it without a closing backslash.
DEFAULT_FOLDER = 'C:\\Program Files\\Tessaly\\' + PRODUCT
# Asked before the wizard when restart operations are pending.
PENDING_REBOOT = text('pending-restart')

SAMPLE_LICENCE = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), 'sample', 'files', 'License.txt')


def sample_licence_text():
    """The sample's licence as the read-only text field gives it back: the
    file's bytes unchanged (plain ASCII with CR LF line ends)."""
    with open(SAMPLE_LICENCE, 'rb') as f:
        return f.read().decode('ascii')


def welcome(actions=(('click', FORWARD),), name='welcome'):
    return Dialog(WELCOME_CAPTION, controls={EXIT: '&Exit', FORWARD: '&Next >>'},
                  texts=['Dear Customer,', 'Would you like to set up this program?',
                         'If yes, proceed to the next screen. If no, exit.', SIGNATURE],
                  actions=actions, name=name)


def licence(text, actions=(('click', FORWARD),), name='licence'):
    return Dialog(LICENCE_CAPTION,
                  controls={EXIT: '&Exit', FORWARD: '&I Agree >>', LICENCE_TEXT_ID: text},
                  texts=['You would have to accept the following license agreement to continue:',
                         'If you accept, proceed to the next screen. If no, exit.', SIGNATURE],
                  actions=actions, name=name)


def destination(folder=DEFAULT_FOLDER, actions=(('click', FORWARD),), name='destination'):
    return Dialog(DESTINATION_CAPTION,
                  controls={EXIT: '&Exit', FORWARD: '&Next >>', FOLDER_ID: folder,
                            BROWSE_ID: '&Browse...'},
                  texts=['The folder where the product will be installed is:',
                         'When you are done, proceed to the next screen.',
                         'Please review the following details and change what you would like:',
                         SIGNATURE],
                  actions=actions, name=name)


def confirmation(folder=DEFAULT_FOLDER, press='&Yes', name='confirmation', enter=False):
    return Box('The program will be installed in the following location:\n\n\t' + folder
               + '\n\nWould you like to continue with installation?',
               caption=SETUP_CAPTION, icon='question', buttons=('&Yes', '&No'), press=press,
               name=name, enter=enter)


def progress(name='progress'):
    # For now the page ends itself from its initialisation and may never
    # be seen on the screen.
    return Passing(PROGRESS_CAPTION, name=name)


def ready(actions, name='ready'):
    return Dialog(READY_CAPTION,
                  controls={EXIT: '&Exit',
                            TASK_HELP: 'Read product documentation (Help)',
                            TASK_START: 'Start product (if you skip now, will activate on '
                                        'next log-on)',
                            TASK_START_MENU: 'Open the Start Menu folder of the product'},
                  texts=['Dear Customer,', f'{PRODUCT} is now ready for use!',
                         'Selected tasks above will be performed upon choosing "Exit"',
                         SIGNATURE, 'You can safely de-select all tasks.'],
                  checks={TASK_HELP: 1, TASK_START: 1, TASK_START_MENU: 1},
                  actions=actions, name=name)


def happy_path(licence_text):
    """Welcome, licence, destination with its default and the confirmation,
    progress, ready with every task cleared (nothing is started), Exit:
    the run ends with 0."""
    untick = [('check', task, 0) for task in (TASK_HELP, TASK_START, TASK_START_MENU)]
    return [welcome(), licence(licence_text), destination(), confirmation(), progress(),
            ready(untick + [('click', EXIT)])]
