#!/usr/bin/env python3
"""The upgrade part of scripts/demo.sh --upgrade, on the prefix and the
display that the demo has set up (WINEPREFIX and DISPLAY of the
environment).

  demo_upgrade.py walk --driver EXE --earlier EXE --installer EXE --shots DIR [--timeout S]
      Headless: installs version 2.5 with its own installer (every page, the
      default folder, no finishing task), changes two of the user's settings
      in its TYQuenfold.ini, shows what is installed, runs the 2.9 installer
      and answers Yes to its upgrade question and to the old uninstaller's,
      then No to reading what is new, and shows what is installed then. The
      screenshots of each run go into DIR/1-install-2.5 and DIR/2-upgrade.
      Ends with 0 when every window came as expected and both installers
      ended with 0, else says what differed and ends with 1.
  demo_upgrade.py show TITLE
      Prints what is installed: the installation folder's files, the user's
      settings in TYQuenfold.ini, the starts its programs recorded, the Start
      Menu shortcuts and the product's registry entries.
  demo_upgrade.py settings
      Changes the user's settings in TYQuenfold.ini as the walk does."""

import argparse
import os
import re
import subprocess
import sys
import tempfile

from demo_walk import DemoSession, windows_path
from harness import HarnessError
from installation import PRODUCT_KEY, RUN_KEY, RUN_VALUE, START_MENU_FOLDER, UNINSTALL_KEYS
from upgrade import (CONFIG, EARLIER, INSTALL_DIR, MIGRATED, PRODUCT, START_LOG, earlier_happy_path,
                     progress, question, uninstaller_question, update_complete, updater_box)
from wizard import sample_licence_text

# The settings the demo's user changes in version 2.5, and how.
USER_SETTINGS = (('Language', 'English', 'Latin'), ('Drives', 'C:', 'C:;D:'))


def host_path(windows_path_):
    """Where a C:\\ path of the demo's prefix lies on this machine."""
    prefix = os.environ.get('WINEPREFIX')
    if not prefix:
        raise HarnessError('no WINEPREFIX')
    return os.path.join(prefix, 'drive_c', *[p for p in windows_path_[3:].split('\\') if p])


def wine_reg_query(key):
    """The output of `wine reg query KEY` (through files: Wine's services
    would keep a pipe open), or None when the key does not exist."""
    with tempfile.TemporaryFile() as out:
        result = subprocess.run(['wine', 'reg', 'query', key], stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.DEVNULL, timeout=60)
        out.seek(0)
        text = out.read().decode('utf-8', 'replace').replace('\r\n', '\n')
    return text if result.returncode == 0 else None


def settings_of(path):
    """The user's settings of USER_SETTINGS as the file holds them."""
    found = {}
    with open(path, encoding='latin-1') as f:
        for line in f:
            name, _, value = line.strip().partition('=')
            if name in {setting for setting, _, _ in USER_SETTINGS}:
                found[name] = value
    return found


def change_settings():
    path = host_path(f'{INSTALL_DIR}\\{CONFIG}')
    with open(path, 'rb') as f:
        text = f.read().decode('latin-1')
    for name, old, new in USER_SETTINGS:
        text = re.sub(f'^{name}={re.escape(old)}\r$', f'{name}={new}\r', text, flags=re.M)
    with open(path, 'wb') as f:
        f.write(text.encode('latin-1'))
    print(f'demo: the user of {EARLIER} changed in {CONFIG}: '
          + ', '.join(f'{name}={new}' for name, _, new in USER_SETTINGS), flush=True)


def show(title):
    print(f'--- {title} ---')
    folder = host_path(INSTALL_DIR)
    if os.path.isdir(folder):
        print(f'files in {INSTALL_DIR}:')
        for name in sorted(os.listdir(folder), key=str.lower):
            print(f'  {name:40} {os.path.getsize(os.path.join(folder, name)):>9} bytes')
        starts = os.path.join(folder, START_LOG)
        if os.path.isfile(starts):
            with open(starts, encoding='latin-1') as f:
                for line in f.read().splitlines():
                    program, arguments, current = (line.split('\t') + ['', ''])[:3]
                    print(f'started: {program}, arguments "{arguments}", in {current}')
        config = os.path.join(folder, CONFIG)
        if os.path.isfile(config):
            print(f'user settings in {CONFIG}: '
                  + ', '.join(f'{k}={v}' for k, v in settings_of(config).items()))
    else:
        print(f'no {INSTALL_DIR}')
    links = host_path(START_MENU_FOLDER)
    if os.path.isdir(links):
        print(f'shortcuts in {START_MENU_FOLDER}: ' + ', '.join(sorted(os.listdir(links))))
    else:
        print(f'no {START_MENU_FOLDER}')
    print('registry:')
    for key in (f'{PRODUCT_KEY}\\{EARLIER}', f'{PRODUCT_KEY}\\2.9',
                f'{UNINSTALL_KEYS}\\{PRODUCT} {EARLIER}', f'{UNINSTALL_KEYS}\\{PRODUCT} 2.9'):
        text = wine_reg_query(key)
        if text is None:
            print(f'  {key}: none')
            continue
        print(f'  {key}:')
        for line in text.splitlines():
            if line.startswith('    ') and re.search(r'InstallDir|DisplayName|UninstallString'
                                                     r'|DisplayVersion', line):
                print('    ' + ' '.join(line.split()))
    run = wine_reg_query(RUN_KEY) or ''
    values = [' '.join(line.split()) for line in run.splitlines() if RUN_VALUE in line]
    print(f'  {RUN_KEY}: ' + (values[0] if values else f'no value "{RUN_VALUE}"'))
    sys.stdout.flush()


def walk(options):
    folder = windows_path(os.path.dirname(options.installer))
    runs = [
        ('1-install-2.5', options.earlier, earlier_happy_path(sample_licence_text()),
         f'install-{EARLIER}'),
        ('2-upgrade', options.installer,
         [question(), uninstaller_question(), progress(), updater_box(MIGRATED, 'migrated'),
          update_complete(press='&No')], 'upgrade'),
    ]
    for shots, installer, steps, name in runs:
        if name == 'upgrade':
            change_settings()
            show(f'version {EARLIER} installed')
        try:
            with DemoSession(options.driver, os.path.join(options.shots, shots),
                             folder) as session:
                # The old uninstaller's question comes from a process that
                # the installer starts.
                session.follow_descendants()
                session.play(f'"{windows_path(installer)}"', steps, exit_code=0,
                             timeout=options.timeout, name=name)
        except HarnessError as error:
            print(f'demo: the {name} went otherwise:\n{error}', file=sys.stderr)
            return 1
        print(f'{os.path.basename(installer)} exit code: 0', flush=True)
    show('after the upgrade to 2.9')
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    commands = parser.add_subparsers(dest='command', required=True)
    walking = commands.add_parser('walk')
    walking.add_argument('--driver', required=True)
    walking.add_argument('--earlier', required=True)
    walking.add_argument('--installer', required=True)
    walking.add_argument('--shots', required=True)
    walking.add_argument('--timeout', type=float, default=60)
    showing = commands.add_parser('show')
    showing.add_argument('title')
    commands.add_parser('settings')
    options = parser.parse_args()
    if options.command == 'walk':
        return walk(options)
    if options.command == 'settings':
        change_settings()
        return 0
    show(options.title)
    return 0


if __name__ == '__main__':
    sys.exit(main())
