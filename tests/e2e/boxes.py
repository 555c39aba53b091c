"""What the harness's own tests share: command lines for ty_boxes.exe, a
small program of ours that shows the boxes and the form it is told to."""

import subprocess

MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION = 0x10, 0x20, 0x30, 0x40
MB_YESNOCANCEL = 0x3


def escaped(text):
    return text.replace('\\', '\\\\').replace('\n', '\\n').replace('\t', '\\t')


def boxes(session, *orders):
    """The command line that runs ty_boxes.exe with the given orders."""
    program = session.put_program(session.paths.boxes, 'ty_boxes.exe')
    return subprocess.list2cmdline([program, *orders])


def box(caption, text, style):
    return ['box', caption, escaped(text), hex(style)]
