"""The manifest the built installer carries (resource type 24, id 1), read
back out of the program and parsed: what the platform's loader and the
elevation prompt see.

Usage: check_manifest.py PROGRAM.exe; prints "N passed, N failed"."""

import subprocess
import sys
import xml.etree.ElementTree as ElementTree

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V2 = '{urn:schemas-microsoft-com:asm.v2}'
COMPATIBILITY = '{urn:schemas-microsoft-com:compatibility.v1}'
# The documented identifiers of Windows Vista, 7, 8, 8.1 and 10/11.
SUPPORTED = {'{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
             '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}', '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
             '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}


def attributes(element, *names):
    return None if element is None else tuple(element.get(name) for name in names)


def main(program):
    text = subprocess.run(['wrestool', '-x', '--raw', '-t', '24', '-n', '1', program], check=True,
                          capture_output=True).stdout
    root = ElementTree.fromstring(text)
    checks = [
        ('identity', attributes(root.find(ASM_V1 + 'assemblyIdentity'), 'name', 'version',
                                'processorArchitecture', 'type'),
         ('TYInstaller.exe', '1.0.0.0', 'X86', 'win32')),
        ('description', getattr(root.find(ASM_V1 + 'description'), 'text', None),
         'Tessaly Installer'),
        ('common controls', attributes(root.find(
            f'{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity'),
            'name', 'version', 'processorArchitecture', 'publicKeyToken', 'type'),
         ('Microsoft.Windows.Common-Controls', '6.0.0.0', 'X86', '6595b64144ccf1df', 'win32')),
        # The namespace older loaders accept, declared once on trustInfo.
        ('execution level', attributes(root.find(
            f'{ASM_V2}trustInfo/{ASM_V2}security/{ASM_V2}requestedPrivileges/'
            f'{ASM_V2}requestedExecutionLevel'), 'level', 'uiAccess'),
         ('requireAdministrator', 'false')),
        ('trustInfo namespace declarations', text.count(b'<trustInfo xmlns="'), 1),
        ('supported systems', {e.get('Id') for e in root.iter(COMPATIBILITY + 'supportedOS')},
         SUPPORTED),
    ]
    failed = 0
    for name, got, expected in checks:
        if got != expected:
            failed += 1
            print(f'FAILED {name}: got {got!r}, expected {expected!r}')
    print(f'{len(checks) - failed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
