#!/usr/bin/env python3
"""Walks the installer's wizard for scripts/demo.sh when it runs headless:
the same walk as the Wine suite's happy path, on the prefix and the display
that the demo has set up (WINEPREFIX and DISPLAY of the environment), with
a screenshot of every page saved under the page's name in the shots folder:
01-welcome.png, 02-licence.png, 03-destination.png (and the confirmation
box), 04-progress.png when the page stays long enough to be seen,
05-ready.png. The folder also gets the transcript of the driver's talk.

  demo_walk.py --driver EXE --installer EXE --shots DIR [--timeout S]

Prints the installer's exit code and then what was installed (as
`demo_walk.py show` does); ends with 0 when every page came as expected
and the installer ended with 0, else says what differed and ends with 1.

  demo_walk.py show

Prints what the installer installed in the prefix WINEPREFIX: the files of
the installation folder (name, size), the shortcuts of the product's Start
Menu folder (link, target, arguments, working folder, description, as
Debian's lnkinfo reads them) and the product's registry entries (key,
value, data, as `wine reg export` gives them)."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

# The Wine suite's harness drives the walk.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from harness import HarnessError, Session
from installation import (COMMON_PROGRAMS, RUN_KEY, RUN_VALUE, UNINSTALL_KEY, USER_PROGRAMS,
                          VERSION_KEY, lnkinfo)
from wizard import PRODUCT, happy_path, sample_licence_text

SHOT_NAMES = {
    'welcome': '01-welcome',
    'licence': '02-licence',
    'destination': '03-destination',
    'confirmation': '03-destination-confirmation',
    'progress': '04-progress',
    'ready': '05-ready',
}


def windows_path(path):
    """The host path as Wine's drive Z: shows it."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


class DemoSession(Session):
    """A Session on the demo's own prefix and display: it makes neither,
    and leaves ending Wine and the X server to the demo."""

    def __init__(self, driver, shots, folder):
        super().__init__('demo')
        self.driver_path = driver
        self.folder = folder
        self.out = shots
        self.transcript_path = os.path.join(shots, 'transcript.txt')
        self.display = os.environ.get('DISPLAY', '')

    def open(self):
        if not self.display:
            raise HarnessError('no DISPLAY to walk the wizard on')
        if not os.path.exists(self.driver_path):
            raise HarnessError(f'{self.driver_path} is missing: build the Windows tree')
        os.makedirs(self.out, exist_ok=True)
        self.env = dict(os.environ)
        self.note(f'demo: prefix {self.env.get("WINEPREFIX")}, display {self.display}')
        self.driver_log = open(os.path.join(self.out, 'driver-stderr.txt'), 'wb')
        self.driver = subprocess.Popen(['wine', self.driver_path], env=self.env,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=self.driver_log)

    def close(self, check=True):
        self.stop_driver()

    def start(self, command_line, cwd=None):
        return super().start(command_line, cwd or self.folder)

    def shoot(self, run, number, step):
        return self.screenshot(SHOT_NAMES.get(step.name, f'{number:02d}-{step.name}'))

    def screenshot(self, step):
        path = os.path.join(self.out, f'{step}.png')
        time.sleep(0.15)  # what was painted reaches the X server a moment later
        result = subprocess.run(['import', '-display', self.display, '-window', 'root', path],
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        if result.returncode != 0:
            self.note(f'screenshot {path} failed: '
                      + result.stderr.decode('utf-8', 'replace').strip())
        else:
            self.note(f'screenshot {path}')
            print(f'demo: screenshot {path}', flush=True)
        return path


# ------------------------------------------------------------------ what was installed

def host_path(prefix, windows_path):
    """Where a C:\\ path of the prefix lies on this machine."""
    return os.path.join(prefix, 'drive_c', *[p for p in windows_path[3:].split('\\') if p])


def exported_values(prefix, key):
    """{value name: data} of a registry key as `wine reg export` writes it
    (every REG_SZ value; the export keeps characters such as the registered
    sign that `reg query` would turn into the console's code page); None
    when the key does not exist. Wine's output goes to files, not pipes."""
    folder = tempfile.mkdtemp(prefix='ty-demo-')
    try:
        exported = os.path.join(folder, 'key.reg')
        with open(os.path.join(folder, 'out.txt'), 'wb') as out:
            code = subprocess.run(['wine', 'reg', 'export', key, 'Z:' + exported.replace('/', '\\'),
                                   '/y'], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                  timeout=60).returncode
        if code != 0 or not os.path.exists(exported):
            return None
        with open(exported, 'rb') as f:
            text = f.read().decode('utf-16')
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    def unescaped(text):
        return re.sub(r'\\(.)', r'\1', text)

    values = {}
    for line in text.splitlines():
        if line.startswith('"') and '"="' in line:
            name, _, data = line.partition('"="')
            values[unescaped(name[1:])] = unescaped(data[:-1])
    return values


def show_installation(prefix):
    """Prints the installed files, shortcuts and registry entries."""
    registry = [(VERSION_KEY, None), (RUN_KEY, RUN_VALUE), (UNINSTALL_KEY, None)]
    found = {key: exported_values(prefix, key) for key, _ in registry}
    install_dir = (found[VERSION_KEY] or {}).get('InstallDir')
    if install_dir is None:
        print(f'Nothing of {PRODUCT} is registered in {prefix}.')
        return
    folder = host_path(prefix, install_dir)
    names = sorted(os.listdir(folder), key=str.lower) if os.path.isdir(folder) else []
    print(f'\nInstalled files in {install_dir}\\ ({len(names)}):')
    for name in names:
        print(f'  {name:<34} {os.path.getsize(os.path.join(folder, name)):>9,} bytes')

    users = os.listdir(os.path.join(prefix, 'drive_c', 'users'))
    places = [COMMON_PROGRAMS] + [USER_PROGRAMS.format(user=u) for u in users
                                  if u.lower() != 'public']
    for programs in places:
        start_menu = programs + '\\' + PRODUCT
        links_folder = host_path(prefix, start_menu)
        if not os.path.isdir(links_folder):
            continue
        links = sorted(os.listdir(links_folder), key=str.lower)
        print(f'\nShortcuts in {start_menu}\\ ({len(links)}):')
        for link in links:
            target, arguments, working, description = lnkinfo(os.path.join(links_folder, link))
            print(f'  {link}\n      -> {target}')
            print(f'      arguments: {arguments or "(none)"}')
            print(f'      working folder: {working}')
            print(f'      description: {description or "(none)"}')

    print('\nRegistry entries (HKEY_LOCAL_MACHINE):')
    for key, only in registry:
        values = found[key]
        print(f'  {key[len("HKLM") + 1:]}')
        if values is None:
            print('      (no such key)')
            continue
        for name in sorted(values, key=str.lower):
            if only is None or name == only:
                print(f'      {name} = {values[name]}')


# ------------------------------------------------------------------ main

def main():
    if sys.argv[1:] == ['show']:
        show_installation(os.environ['WINEPREFIX'])
        return 0
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--driver', required=True)
    parser.add_argument('--installer', required=True)
    parser.add_argument('--shots', required=True)
    parser.add_argument('--timeout', type=float, default=60)
    options = parser.parse_args()

    folder = windows_path(os.path.dirname(options.installer))
    program = windows_path(options.installer)
    try:
        with DemoSession(options.driver, options.shots, folder) as session:
            session.play(f'"{program}"', happy_path(sample_licence_text()), exit_code=0,
                         timeout=options.timeout, name='demo')
    except HarnessError as error:
        print(f'demo: the walk through the wizard went otherwise:\n{error}', file=sys.stderr)
        return 1
    print('TYInstaller.exe exit code: 0')
    show_installation(os.environ['WINEPREFIX'])
    return 0


if __name__ == '__main__':
    sys.exit(main())
