#!/usr/bin/env python3
"""Walks the installer's wizard for scripts/demo.sh when it runs headless:
the same walk as the Wine suite's happy path, on the prefix and the display
that the demo has set up (WINEPREFIX and DISPLAY of the environment), with
a screenshot of every page saved under the page's name in the shots folder:
01-welcome.png, 02-licence.png, 03-destination.png (and the confirmation
box), 04-progress.png when the page stays long enough to be seen,
05-ready.png. The folder also gets the transcript of the driver's talk.

  demo_walk.py --driver EXE --installer EXE --shots DIR [--timeout S]

Prints the installer's exit code; ends with 0 when every page came as
expected and the installer ended with 0, else says what differed and ends
with 1."""

import argparse
import os
import subprocess
import sys
import time

from harness import HarnessError, Session
from wizard import happy_path, sample_licence_text

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


def main():
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
    return 0


if __name__ == '__main__':
    sys.exit(main())
