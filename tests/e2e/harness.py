#!/usr/bin/env python3
"""Runs Windows programs under Wine on a private X server and works them
through their own windows with ty_driver.exe.

A Session owns one throw-away copy of the run's template Wine prefix, one
Xvfb and one driver. A test describes a run as the windows it expects, in
order, with the answer to give each one, and the exit code; the session
plays it, takes a screenshot at every window and writes a transcript of
everything the driver said. Any difference raises HarnessError, whose
message carries the transcript and the screenshot folder.

Paths come from the environment that ctest sets (tests/e2e/CMakeLists.txt),
or else from the build folder TY_BUILD_DIR (default: build/ at the top of
the source tree) as scripts/build.sh lays it out:
  TY_E2E_WIN_DIR   the Windows build tree (installer, driver)
  TY_E2E_OUT       transcripts and screenshots, one folder per session
  TY_E2E_PREFIXES  the template prefix and the sessions' copies
  TY_TYPACK        the host package tool

  python3 harness.py make-template   makes the run's template prefix
"""

import glob
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

TEMPLATE_READY = '.ty-e2e-template-ready'
SCREEN = '1024x768x24'
# Wine's own frames instead of a window manager's: there is none on the
# private X server, and Wine would otherwise wait for one (two seconds)
# whenever a window closes. It also puts the captions into the screenshots.
WINE_X11_KEY = r'HKCU\Software\Wine\X11 Driver'

DEFAULT_TIMEOUT_S = 20
DRIVER_MARGIN_S = 20
# How many times longer every wait of the suite is: 1 on a machine that runs
# Wine itself; scripts/wine-vm.sh sets it for its virtual machine, where
# everything runs several times slower.
SLOWDOWN = float(os.environ.get('TY_E2E_SLOWDOWN') or 1)

INSTALLER_CAPTION = 'Tessaly Installer 1.0'
EXIT_FATAL = 4294967295


def read_texts(path=os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                  'texts.txt')):
    """The installer's texts of tests/texts.txt by name, references to
    other texts resolved."""
    texts, name = {}, None
    with open(path, encoding='utf-8') as f:
        for line in f.read().split('\n'):
            if line.startswith('== '):
                name = line[3:]
                texts[name] = []
            elif name is not None:
                texts[name].append(line.replace('\\t', '\t'))
    texts = {name: '\n'.join(lines).rstrip('\n') for name, lines in texts.items()}
    for _ in range(3):  # a reference may hold references
        for key in texts:
            for name, value in texts.items():
                texts[key] = texts[key].replace('{' + name + '}', value)
    return texts


TEXTS = read_texts()


def text(name, **fields):
    """A text of the installer with its fields filled in."""
    result = TEXTS[name]
    for field, value in fields.items():
        result = result.replace('{' + field + '}', value)
    return result


CORRUPTED_PACKAGE_PARAGRAPH = '\n' + text('corrupted-package')
# The box of a package whose control check fails.
MODIFIED_PACKAGE = '\n' + text('modified') + CORRUPTED_PACKAGE_PARAGRAPH


class HarnessError(AssertionError):
    """A run went otherwise than the test said, or the harness could not do
    its part; the message says what, with the transcript."""


def stretched(seconds):
    """A wait of the suite, in seconds of this machine."""
    return seconds * SLOWDOWN


def deadline(seconds):
    """The time.monotonic() at which a wait of so many seconds ends."""
    return time.monotonic() + stretched(seconds)


# ------------------------------------------------------------------ paths

class Paths:
    def __init__(self):
        top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        build = os.environ.get('TY_BUILD_DIR') or os.path.join(top, 'build')
        host = os.path.join(build, 'host')
        self.win_dir = os.environ.get('TY_E2E_WIN_DIR') or os.path.join(build, 'win')
        self.out_root = os.environ.get('TY_E2E_OUT') or os.path.join(host, 'e2e-out')
        self.prefixes = os.environ.get('TY_E2E_PREFIXES') or os.path.join(host, 'e2e-prefixes')
        self.typack = os.environ.get('TY_TYPACK') or os.path.join(host, 'tools', 'typack')
        self.template = os.path.join(self.prefixes, 'template')
        self.driver = os.path.join(self.win_dir, 'tests', 'e2e', 'ty_driver.exe')
        self.boxes = os.path.join(self.win_dir, 'tests', 'e2e', 'ty_boxes.exe')
        self.installer = os.path.join(self.win_dir, 'TYInstaller.exe')


def wine_environment(paths, prefix, marker):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith('WINE') and k not in ('DISPLAY', 'XAUTHORITY')}
    env.update({
        'WINEPREFIX': prefix,
        'WINEARCH': 'win32',
        'WINEDEBUG': '-all',
        'WINEDLLOVERRIDES': 'winemenubuilder.exe=d',
        # Every process of a session, Wine's own included, inherits these:
        # teardown finds what is left of the session by the first, the next
        # run's set-up what is left of an interrupted run by the second.
        'TY_E2E_SESSION': marker,
        'TY_E2E_ROOT': paths.prefixes,
    })
    return env


# ------------------------------------------------------------------ processes

def start_holder(session, command, timeout):
    """Starts command (a program that holds something open, say, and writes
    "holding" once it does) in the session, and waits for that line. Gives
    the running process; when the line does not come it ends the process and
    fails the session."""
    session.note(f'$ {" ".join(command)} &')
    holder = subprocess.Popen(command, env=session.env, cwd=session.prefix,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    answer = b''
    end = deadline(timeout)
    while b'\n' not in answer and time.monotonic() < end:
        ready, _, _ = select.select([holder.stdout], [], [], max(0, end - time.monotonic()))
        if not ready:
            continue
        chunk = os.read(holder.stdout.fileno(), 256)
        if not chunk:
            break
        answer += chunk
    line = answer.decode('utf-8', 'replace').strip()
    session.note(f'  {line}')
    if line != 'holding':
        holder.kill()
        holder.wait(stretched(10))
        holder.stdout.close()
        session.fail(f'{command[1:]} did not hold: {line!r}')
    return holder


def processes_with(name, value):
    """Live processes whose environment holds name=value: (pid, command)."""
    found = []
    needle = f'{name}={value}'.encode()
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open(f'/proc/{entry}/environ', 'rb') as f:
                environ = f.read().split(b'\0')
            if needle not in environ:
                continue
            with open(f'/proc/{entry}/stat', 'rb') as f:
                state = f.read().rsplit(b')', 1)[1].split()[0]
            if state in (b'Z', b'X'):
                continue
            with open(f'/proc/{entry}/cmdline', 'rb') as f:
                command = f.read().replace(b'\0', b' ').decode('utf-8', 'replace').strip()
        except OSError:
            continue
        found.append((int(entry), command))
    return found


def session_processes(marker):
    """Live processes of one session: (pid, command)."""
    return processes_with('TY_E2E_SESSION', marker)


def kill_all(processes):
    for pid, _ in processes:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def wait_until_gone(marker, timeout, keep_pid=None):
    """Waits for the session's processes other than keep_pid to end; gives
    those still there at the time-out."""
    end = deadline(timeout)
    while True:
        left = [p for p in session_processes(marker) if p[0] != keep_pid]
        if not left or time.monotonic() >= end:
            return left
        time.sleep(0.1)


class Xvfb:
    """A private X server on a display number it picks itself (-displayfd),
    so sessions running side by side never meet."""

    def __init__(self, env, log_path):
        read_end, write_end = os.pipe()
        self.log = open(log_path, 'wb')
        self.process = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', SCREEN,
             '-nolisten', 'tcp'],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self.log,
            stderr=subprocess.STDOUT, env=env, start_new_session=True)
        os.close(write_end)
        data = b''
        end = deadline(15)
        try:
            while not data.endswith(b'\n'):
                remaining = end - time.monotonic()
                if remaining <= 0 or self.process.poll() is not None:
                    break
                ready, _, _ = select.select([read_end], [], [], remaining)
                if ready:
                    chunk = os.read(read_end, 64)
                    if not chunk:
                        break
                    data += chunk
        finally:
            os.close(read_end)
        if not data.strip().isdigit():
            self.stop()
            raise HarnessError(f'Xvfb did not start; see {log_path}')
        self.display = int(data)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.log.close()


def kill_wineserver(env):
    subprocess.run(['wineserver', '-k'], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=stretched(30))


# ------------------------------------------------------------------ template

def sweep_interrupted_runs(paths):
    """Ends what a run of this build folder that was killed part-way (a
    ctest time-out, say) left behind: its processes and its prefixes."""
    stale = processes_with('TY_E2E_ROOT', paths.prefixes)
    if stale:
        print(f'ending what an interrupted run left running: {stale}')
        kill_all(stale)
    if os.path.isdir(paths.prefixes):
        for entry in os.listdir(paths.prefixes):
            path = os.path.join(paths.prefixes, entry)
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)


def make_template():
    """The run's template prefix: a fresh 32-bit prefix, made once per run
    (wineboot -i takes seconds) and copied by every session."""
    paths = Paths()
    template = paths.template
    sweep_interrupted_runs(paths)
    os.makedirs(paths.prefixes, exist_ok=True)
    marker = 'template-' + uuid.uuid4().hex
    env = wine_environment(paths, template, marker)
    xvfb = Xvfb(env, os.path.join(paths.prefixes, 'template-xvfb.log'))
    env['DISPLAY'] = f':{xvfb.display}'
    # No Mono or Gecko: their installers would ask on the screen.
    env['WINEDLLOVERRIDES'] = 'winemenubuilder.exe=d;mscoree=d;mshtml=d'
    try:
        for command in (['wineboot', '-i'],
                        ['wine', 'reg', 'add', WINE_X11_KEY, '/v', 'Managed', '/d', 'N', '/f']):
            # Output through a file, not a pipe: the Wine services that
            # wineboot starts inherit it and outlive the command.
            with tempfile.TemporaryFile() as err:
                result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=err, timeout=stretched(240))
                err.seek(0)
                errors = err.read().decode('utf-8', 'replace')
            if result.returncode != 0:
                raise HarnessError(f'{" ".join(command)} failed ({result.returncode}):\n'
                                   + errors)
        # Let the server end by itself, so that it writes the registry out.
        subprocess.run(['wineserver', '-w'], env=env, stdin=subprocess.DEVNULL,
                       timeout=stretched(60))
    finally:
        kill_wineserver(env)
        left = wait_until_gone(marker, 10, keep_pid=xvfb.process.pid)
        xvfb.stop()
        kill_all(session_processes(marker))
    with open(os.path.join(template, 'user.reg'), encoding='utf-8', errors='replace') as f:
        if '"Managed"="N"' not in f.read():
            raise HarnessError('the template prefix did not keep its X11 driver setting')
    if left:
        raise HarnessError(f'Wine did not end after making the template: {left}')
    # Wine draws the caption buttons with its Marlett font (Debian's
    # fonts-wine), which this Wine takes from the prefix's Fonts folder only.
    fonts = os.path.join(template, 'drive_c', 'windows', 'Fonts')
    for name in glob.glob('/usr/share/wine/fonts/*.ttf'):
        shutil.copy(name, fonts)
    open(os.path.join(template, TEMPLATE_READY), 'w').close()
    print(f'template prefix ready in {template}')


# ------------------------------------------------------------------ windows

class Window:
    """One window as the driver described it."""

    def __init__(self, data):
        self.data = data
        self.hwnd = data['hwnd']
        self.cls = data['class']
        self.caption = data['caption']
        self.controls = data['controls']
        box = data.get('messagebox')
        self.is_message_box = box is not None
        self.text = box['text'] if box else None
        self.icon = box['icon'] if box else None
        self.buttons = [b['text'] for b in box['buttons']] if box else []
        self.button_ids = {b['text'].replace('&', ''): b['id'] for b in box['buttons']} if box else {}

    @property
    def gone(self):
        """The window had ended before the driver could read it."""
        return self.cls == '' and self.caption == '' and not self.controls

    def label_texts(self):
        """The non-empty texts of the controls without an id of their own
        (-1, or 65535 as a 16-bit template id reads back), in order."""
        return [c['text'] for c in self.controls if c['id'] in (-1, 0xFFFF) and c['text']]

    def control(self, control_id):
        for control in self.controls:
            if control['id'] == control_id:
                return control
        return None

    def summary(self):
        if self.is_message_box:
            return (f'message box {self.caption!r}, icon {self.icon}, buttons {self.buttons}, '
                    f'text {self.text!r}')
        parts = [f'window {self.cls} {self.caption!r}']
        for c in self.controls:
            check = '' if c['check'] is None else f' check={c["check"]}'
            if 'position' in c:
                check += f' position={c["position"]}'
            flags = ('' if c['enabled'] else ' disabled') + ('' if c['visible'] else ' hidden')
            parts.append(f'  [{c["id"]}] {c["class"]} {c["text"]!r}{check}{flags}')
        return '\n'.join(parts)


class Box:
    """An expected message box and the button to press in it."""

    optional = False

    def __init__(self, text, caption=INSTALLER_CAPTION, icon='error', buttons=('OK',),
                 press='OK', name='box', enter=False):
        self.text, self.caption, self.icon = text, caption, icon
        self.buttons, self.press, self.name = list(buttons), press, name
        # Enter instead of a click: whatever the box does then shows which
        # button is its default (press names the one expected).
        self.enter = enter
        if press.replace('&', '') not in [b.replace('&', '') for b in buttons]:
            raise HarnessError(f'the box is to be answered with {press!r}, '
                               f'which is not among its buttons {self.buttons}')

    def differences(self, window):
        found = []
        if not window.is_message_box:
            return [f'expected a message box, got {window.summary()}']
        if window.caption != self.caption:
            found.append(f'caption: expected {self.caption!r}, got {window.caption!r}')
        if window.text != self.text:
            found.append('text: ' + describe_text_difference(self.text, window.text))
        if window.icon != self.icon:
            found.append(f'icon: expected {self.icon}, got {window.icon}')
        if window.buttons != self.buttons:
            found.append(f'buttons: expected {self.buttons}, got {window.buttons}')
        return found

    def answer(self, session, window):
        if self.enter:
            session.key('enter')
        else:
            session.click(window.button_ids[self.press.replace('&', '')])


class Dialog:
    """An expected window other than a message box: its caption, the texts
    of some of its controls, the states of some of its check boxes, and what
    to do in it, in order: ('type', id, text), ('check', id, 0|1),
    ('click', id), ('key', name), ('close',).

    texts, when given, are the non-empty texts of the controls that have no
    id of their own (plain labels), all of them, in the window's order."""

    optional = False

    def __init__(self, caption, controls=None, actions=(), name='dialog', texts=None,
                 checks=None):
        self.caption, self.controls = caption, dict(controls or {})
        self.actions, self.name = list(actions), name
        self.texts = None if texts is None else list(texts)
        self.checks = dict(checks or {})

    def differences(self, window):
        found = []
        if window.is_message_box:
            return [f'expected a dialog {self.caption!r}, got {window.summary()}']
        if window.caption != self.caption:
            found.append(f'caption: expected {self.caption!r}, got {window.caption!r}')
        for control_id, text in self.controls.items():
            control = window.control(control_id)
            if control is None:
                found.append(f'control {control_id}: missing')
            elif control['text'] != text:
                found.append(f'control {control_id}: '
                             + describe_text_difference(text, control['text']))
        for control_id, state in self.checks.items():
            control = window.control(control_id)
            if control is None:
                found.append(f'check box {control_id}: missing')
            elif control['check'] != state:
                found.append(f'check box {control_id}: expected {state}, got {control["check"]}')
        if self.texts is not None:
            labels = window.label_texts()
            if labels != self.texts:
                found.append(f'labels: expected {self.texts!r}, got {labels!r}')
        return found

    def answer(self, session, window):
        for action in self.actions:
            verb, arguments = action[0], action[1:]
            if verb == 'close':
                session.close_window()
            else:
                getattr(session, verb)(*arguments)


class Passing:
    """A window that may end itself before it can be seen, such as a page
    that closes from its own initialisation. A window of this caption gets
    its screenshot and nothing done in it; one that had ended before the
    driver could read it is only noted; any other window is left to the next
    step."""

    optional = True

    def __init__(self, caption, name='passing'):
        self.caption, self.name = caption, name

    def differences(self, window):
        if window.is_message_box:
            return [f'expected a passing window {self.caption!r}, got {window.summary()}']
        # Read while it is being made or taken down, a dialog has no
        # caption yet (or any more): it is still this window.
        if window.caption in (self.caption, '') or window.gone:
            return []
        return [f'caption: expected {self.caption!r}, got {window.caption!r}']

    def answer(self, session, window):
        pass


class WhileShown:
    """A step whose window stays on the screen while something else is done;
    then it is answered as the step says."""

    optional = False

    def __init__(self, step, meanwhile):
        self.step, self.meanwhile, self.name = step, meanwhile, step.name

    def differences(self, window):
        return self.step.differences(window)

    def answer(self, session, window):
        self.meanwhile()
        self.step.answer(session, window)


def describe_text_difference(expected, actual):
    if actual is None:
        return f'expected {expected!r}, got nothing'
    at = 0
    while at < min(len(expected), len(actual)) and expected[at] == actual[at]:
        at += 1
    return (f'differs at character {at}: expected {expected[at:at + 40]!r}..., '
            f'got {actual[at:at + 40]!r}... (expected {len(expected)} characters, '
            f'got {len(actual)}); whole text: {actual!r}')


# ------------------------------------------------------------------ session

class Session:
    """One prefix, one X server, one driver. Use as a context manager."""

    def __init__(self, name):
        self.paths = Paths()
        self.name = re.sub(r'[^A-Za-z0-9_.-]+', '_', name)
        self.out = os.path.join(self.paths.out_root, self.name)
        self.prefix = os.path.join(self.paths.prefixes, f'{self.name}-{os.getpid()}')
        self.marker = uuid.uuid4().hex
        self.transcript_path = os.path.join(self.out, 'transcript.txt')
        self.lines = []
        self.shots = 0
        self.xvfb = None
        self.driver = None
        self.env = None
        self.run_start = 0
        self._buffer = b''
        self.working_folder = 'C:\\ty-e2e'
        self.started = []

    # -- life

    def __enter__(self):
        try:
            self.open()
        except BaseException:
            self.close(check=False)
            raise
        return self

    def __exit__(self, kind, value, trace):
        self.close(check=kind is None)
        return False

    def open(self):
        if not os.path.exists(os.path.join(self.paths.template, TEMPLATE_READY)):
            raise HarnessError(f'no template prefix in {self.paths.template}: '
                               'the e2e_template test makes it')
        for needed in (self.paths.driver,):
            if not os.path.exists(needed):
                raise HarnessError(f'{needed} is missing: build the Windows tree')
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run(['cp', '-a', self.paths.template, self.prefix], check=True)
        os.makedirs(self.drive_c('ty-e2e'), exist_ok=True)
        self.env = wine_environment(self.paths, self.prefix, self.marker)
        self.xvfb = Xvfb(self.env, os.path.join(self.out, 'xvfb.log'))
        self.env['DISPLAY'] = f':{self.xvfb.display}'
        self.note(f'session {self.name}: prefix {self.prefix}, display :{self.xvfb.display}')
        self.start_driver()

    def start_driver(self):
        """Starts the driver; again after stop_driver, e.g. once Wine was
        ended to read the prefix from disk."""
        self._buffer = b''
        self.driver_log = open(os.path.join(self.out, 'driver-stderr.txt'), 'ab')
        self.driver = subprocess.Popen(['wine', self.paths.driver], env=self.env,
                                       cwd=self.prefix, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=self.driver_log)

    def stop_driver(self):
        """Ends the started program and the driver. False when the driver had
        to be killed."""
        if self.driver is None:
            return True
        ended = True
        if self.driver.poll() is None:
            try:
                self._order('kill', 10, quiet_errors=True)
                self._order('quit', 10, quiet_errors=True)
            except HarnessError:
                pass
        try:
            self.driver.stdin.close()
        except OSError:
            pass
        try:
            self.driver.wait(stretched(10))
        except subprocess.TimeoutExpired:
            ended = False
            self.driver.kill()
            self.driver.wait(stretched(5))
        self.driver.stdout.close()
        self.driver_log.close()
        self.driver = None
        return ended

    def close(self, check=True):
        """Ends everything of the session and removes its prefix. With check,
        raises HarnessError when anything of it had to be killed by force."""
        problems = []
        if not self.stop_driver():
            problems.append('the driver did not end when told to')
        if self.env is not None:
            try:
                kill_wineserver(self.env)
            except subprocess.TimeoutExpired:
                problems.append('wineserver -k did not return')
            xvfb_pid = self.xvfb.process.pid if self.xvfb else None
            left = wait_until_gone(self.marker, 5, keep_pid=xvfb_pid)
            if left:
                problems.append(f'left running after wineserver -k, killed: {left}')
                kill_all(left)
        if self.xvfb is not None:
            self.xvfb.stop()
            self.xvfb = None
        if self.env is not None:
            left = wait_until_gone(self.marker, 5)
            if left:
                problems.append(f'left running at the end, killed: {left}')
                kill_all(left)
                if wait_until_gone(self.marker, 5):
                    problems.append('processes survived SIGKILL')
        shutil.rmtree(self.prefix, ignore_errors=True)
        for problem in problems:
            self.note('teardown: ' + problem)
        if problems and check:
            raise HarnessError(self.report('teardown: ' + '; '.join(problems)))

    # -- transcript

    def note(self, line):
        stamp = time.strftime('%H:%M:%S')
        self.lines.append(f'{stamp} {line}')
        os.makedirs(self.out, exist_ok=True)
        with open(self.transcript_path, 'a', encoding='utf-8') as f:
            f.write(f'{stamp} {line}\n')

    def report(self, message):
        """The message with the transcript of the current run (the whole
        session's is in the transcript file)."""
        return (f'{message}\n--- transcript ({self.transcript_path}) ---\n'
                + '\n'.join(self.lines[self.run_start:])
                + f'\n--- screenshots in {self.out} ---')

    def fail(self, message):
        raise HarnessError(self.report(message))

    def shoot(self, run, number, step):
        """The screenshot of a run's step; named after the run and the step."""
        return self.screenshot(f'{run}-{number}-{step.name}')

    def screenshot(self, step):
        """Saves the X screen as NN-step.png in the session's folder."""
        self.shots += 1
        name = f'{self.shots:02d}-{re.sub(r"[^A-Za-z0-9_.-]+", "_", step)}.png'
        path = os.path.join(self.out, name)
        # What was painted reaches the X server a moment later.
        time.sleep(0.15)
        result = subprocess.run(['import', '-display', f':{self.xvfb.display}', '-window',
                                 'root', path], stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=stretched(30))
        if result.returncode != 0:
            self.note(f'screenshot {name} failed: '
                      + result.stderr.decode('utf-8', 'replace').strip())
        else:
            self.note(f'screenshot {name}')
        return path

    # -- driver orders

    def _read_line(self, end):
        fd = self.driver.stdout.fileno()
        while b'\n' not in self._buffer:
            remaining = end - time.monotonic()
            if remaining <= 0:
                return None
            ready, _, _ = select.select([fd], [], [], remaining)
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    self.fail('the driver ended unexpectedly')
                self._buffer += chunk
        line, _, self._buffer = self._buffer.partition(b'\n')
        return line.decode('utf-8', 'replace').rstrip('\r')

    def _order(self, order, wait_s, quiet_errors=False):
        if self.driver is None or self.driver.poll() is not None:
            self.fail(f'the driver is not running (order {order!r})')
        self.note(f'> {order}')
        try:
            self.driver.stdin.write(order.encode('utf-8') + b'\n')
            self.driver.stdin.flush()
        except BrokenPipeError:
            self.fail(f'the driver ended before order {order!r}')
        line = self._read_line(deadline(wait_s + DRIVER_MARGIN_S))
        if line is None:
            self.fail(f'the driver gave no answer to {order!r}')
        kind, _, rest = line.partition(' ')
        if kind in ('window', 'windows'):
            data = json.loads(rest)
            windows = [Window(d) for d in (data if kind == 'windows' else [data])]
            self.note('< ' + kind + ':' + ''.join('\n    ' + w.summary().replace('\n', '\n    ')
                                                  for w in windows))
        else:
            self.note(f'< {line}')
        if kind == 'error' and not quiet_errors:
            what, _, detail = rest.partition(' ')
            if what == 'window':
                window = Window(json.loads(detail))
                self.note(f'  (new window while waiting for the end: {window.summary()})')
                self.screenshot('unexpected-window')
            if what == 'timeout':
                self._order('windows', 10, quiet_errors=True)
                self.screenshot('timeout')
            self.fail(f'{order}: {what} {detail}')
        return kind, rest

    def start(self, command_line, cwd=None):
        """Starts a program in cwd (by default the session's working_folder)
        and gives its process id, which is also kept in started."""
        self._order(f'cwd {cwd or self.working_folder}', 5)
        kind, rest = self._order(f'start {command_line}', 10)
        self.started.append(int(rest.split()[1]))
        return self.started[-1]

    def wait_window(self, timeout=DEFAULT_TIMEOUT_S):
        _, rest = self._order(f'wait-window {int(stretched(timeout) * 1000)}', timeout)
        return Window(json.loads(rest))

    def describe(self):
        _, rest = self._order('describe', 5)
        return Window(json.loads(rest))

    def windows(self):
        _, rest = self._order('windows', 5)
        return [Window(d) for d in json.loads(rest)]

    def wait_exit(self, timeout=DEFAULT_TIMEOUT_S):
        _, rest = self._order(f'wait-exit {int(stretched(timeout) * 1000)}', timeout)
        return int(rest.split()[0])

    def click(self, control_id):
        self._order(f'click {control_id}', 5)

    def type(self, control_id, text):
        self._order(f'type {control_id} {text}', 5)

    def check(self, control_id, state):
        self._order(f'check {control_id} {int(state)}', 5)

    def key(self, name):
        self._order(f'key {name}', 5)

    def close_window(self):
        self._order('close', 5)

    def move(self, x, y):
        self._order(f'move {x} {y}', 5)

    def kill(self):
        self._order('kill', 10)

    def set_env(self, name, value=''):
        """An environment variable of the programs started from now on; ''
        removes it."""
        self._order(f'env {name}={value}', 5)

    def follow_descendants(self, on=True):
        """Whether the windows of the processes that the started program starts
        (an uninstaller, a help viewer, a folder window) count as its own."""
        self._order(f'descendants {"on" if on else "off"}', 5)

    # -- files

    def drive_c(self, *parts):
        return os.path.join(self.prefix, 'drive_c', *parts)

    def host_path(self, windows_path):
        """Where a C:\\ path of the session's prefix lies on this machine."""
        if not windows_path[:3].upper() == 'C:\\':
            raise HarnessError(f'not a path on drive C: {windows_path!r}')
        return self.drive_c(*[p for p in windows_path[3:].split('\\') if p])

    def command(self, *command, timeout=60):
        """Runs a command (e.g. 'wine', 'reg', ...) in the session's
        environment; gives its exit code, stdout and stderr, and writes all of
        it into the transcript."""
        self.note('$ ' + ' '.join(command))
        # Files, not pipes: a wineserver or a Wine service that this command
        # happens to start inherits them and outlives the command.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(list(command), env=self.env, cwd=self.prefix,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    timeout=stretched(timeout))
            out.seek(0)
            err.seek(0)
            output = out.read().decode('utf-8', 'replace').replace('\r\n', '\n')
            errors = err.read().decode('utf-8', 'replace').strip()
        for line in output.splitlines():
            self.note('  ' + line)
        if errors:
            self.note('  (stderr) ' + errors.replace('\n', '\n  (stderr) '))
        self.note(f'  (exit {result.returncode})')
        return result.returncode, output, errors

    def put_program(self, data_or_path, name):
        """Places a program into C:\\ty-e2e and gives its Windows path."""
        target = self.drive_c('ty-e2e', name)
        if isinstance(data_or_path, (bytes, bytearray)):
            with open(target, 'wb') as f:
                f.write(data_or_path)
        else:
            shutil.copyfile(data_or_path, target)
        return 'C:\\ty-e2e\\' + name

    # -- runs

    def play(self, command_line, steps, exit_code, timeout=DEFAULT_TIMEOUT_S, name='run',
             page=None):
        """Starts the program, expects each step's window in turn, answers it,
        and expects the program to end with exit_code (an unsigned number).
        page: the caption of a dialog that stays open behind the steps' boxes
        (the progress page): read once whenever it comes, never answered, and
        given back as seen (None when it never was)."""
        self.run_start = len(self.lines)
        self.note(f'=== {name}: {command_line}')
        self.start(command_line)
        seen = None

        def next_window(number, step):
            nonlocal seen
            unnamed = 0
            while True:
                try:
                    window = self.wait_window(timeout)
                except HarnessError as error:
                    raise HarnessError(f'{name}, step {number} ({step.name}): '
                                       f'the window did not come\n{error}') from None
                if page is None or window.is_message_box:
                    return window
                if window.gone:
                    self.note(f'{name}: a window had gone before it could be read')
                elif window.caption == '' and unnamed < 50:
                    # Read while it is made or taken down, a dialog has no
                    # caption yet: read it again once it has one.
                    unnamed += 1
                    time.sleep(0.1)
                    self._order('forget ', 5)
                elif window.caption == page and seen is None:
                    seen = window
                else:
                    return window

        try:
            window = None
            for number, step in enumerate(steps, 1):
                if window is None:
                    window = next_window(number, step)
                differences = step.differences(window)
                if step.optional and (differences or window.gone):
                    self.note(f'{name}, step {number} ({step.name}): '
                              + ('gone before it could be read' if window.gone else 'not seen'))
                    if window.gone:
                        window = None
                    continue
                self.shoot(name, number, step)
                if differences:
                    self.fail(f'{name}, step {number} ({step.name}): '
                              + '; '.join(differences))
                step.answer(self, window)
                window = None
            if window is not None:
                self.fail(f'{name}: a window that no step expects: {window.summary()}')
            try:
                code = self.wait_exit(timeout)
            except HarnessError as error:
                raise HarnessError(f'{name}: expected the end with exit code {exit_code}\n'
                                   f'{error}') from None
            if code != exit_code:
                self.fail(f'{name}: exit code: expected {exit_code}, got {code}')
            self.note(f'=== {name}: as expected')
        except HarnessError:
            # Nothing of a failed run may hold the lock or the screen for the next.
            try:
                self._order('kill', 10, quiet_errors=True)
            except HarnessError:
                pass
            raise
        return seen


class SessionCase(unittest.TestCase):
    """A test class with one session for all its tests: prepare(), a class
    method, sets the class up once the session is open; the session is
    closed again when it fails and after the last test."""

    maxDiff = None

    @classmethod
    def prepare(cls):
        pass

    @classmethod
    def setUpClass(cls):
        cls.session = Session(cls.__name__).__enter__()
        try:
            cls.prepare()
        except BaseException:
            cls.session.__exit__(None, None, None)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.__exit__(None, None, None)


# ------------------------------------------------------------------ installer images

def run_typack(*arguments):
    typack = Paths().typack
    if not typack or not os.path.exists(typack):
        raise HarnessError(f'the package tool is missing ({typack!r}): build the host tree')
    return subprocess.run([typack, *arguments], capture_output=True, text=True,
                          timeout=stretched(120))


if __name__ == '__main__':
    if sys.argv[1:] == ['make-template']:
        make_template()
    else:
        sys.exit(f'usage: {sys.argv[0]} make-template')
