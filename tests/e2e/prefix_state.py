"""The whole state of a Wine prefix as a test compares it: every registry key
and value of the registry files and every file, folder and link under
drive_c, read from disk while no Wine process runs (the server writes the
registry out when it ends).

A Snapshot is taken with snapshot(); difference(before, after) gives what
changed as Change records, with Wine's own churn left out (see NOISE_*). A
test states the changes it expects and compares the rest with nothing."""

import hashlib
import os
import re

# Registry files of a prefix and the root under which their keys are shown.
REGISTRY_FILES = (('system.reg', 'HKLM'), ('user.reg', 'HKCU'), ('userdef.reg', 'HKU\\.Default'))

# What Wine itself changes whenever programs run, whatever they do: keys
# (with everything below them) as lower-case full paths, and folders under
# drive_c as lower-case paths relative to drive_c with forward slashes.
# Nothing of the installer's keys or folders may ever be among them.
NOISE_KEYS = (
    # The display adapter and the monitor, described anew whenever a program
    # opens a window on the X server.
    'hklm\\system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}',
    'hklm\\system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}',
    # Wine's debugger and its console, when a process of Wine's own crashes
    # as it ends (seen now and then in uxtheme during the simulated restart,
    # when no program of the test runs). A crash of the installer is its exit
    # code, which every run checks.
    'hkcu\\console',
    'hkcu\\software\\wine\\winedbg',
)
NOISE_FOLDERS = (
    'ty-e2e',                       # the test's own programs
)


def _unescape_key(raw):
    return raw.replace('\\\\', '\\')


def read_registry_file(path, root):
    """{lower-case key path: (key path, {value name: data text})} of one
    registry file; the time stamps of the keys are left out."""
    keys = {}
    if not os.path.exists(path):
        return keys
    with open(path, encoding='utf-8', errors='surrogateescape') as f:
        lines = f.read().split('\n')
    current = None
    pending = None
    for line in lines:
        if pending is not None:
            pending[1] += '\n' + line
            if not line.endswith('\\'):
                current[1][pending[0]] = pending[1]
                pending = None
            continue
        if line.startswith('['):
            match = re.match(r'^\[(.*)\](?: \d+)?$', line)
            if not match:
                raise ValueError(f'{path}: unreadable key line {line!r}')
            name = root + '\\' + _unescape_key(match.group(1))
            current = keys.setdefault(name.lower(), (name, {}))
            continue
        if current is None or not line or line.startswith(';') or line.startswith('#time='):
            continue
        if line.startswith('#'):
            # #link and the like describe the key itself.
            current[1][line] = ''
            continue
        if line.startswith('@='):
            name, data = '@', line[2:]
        else:
            match = re.match(r'^("(?:[^"\\]|\\.)*")=(.*)$', line)
            if not match:
                raise ValueError(f'{path}: unreadable value line {line!r}')
            name, data = match.group(1), match.group(2)
        if data.endswith('\\'):
            pending = [name, data]
        else:
            current[1][name] = data
    return keys


class Snapshot:
    """registry: {lower-case key: (key, {value: data})};
    files: {lower-case relative path: (relative path, description)}."""

    def __init__(self, registry, files):
        self.registry, self.files = registry, files


class Change:
    """One difference: kind is 'key', 'value' or 'file'; where names it;
    before and after are its descriptions (None when it did not exist)."""

    def __init__(self, kind, where, before, after):
        self.kind, self.where, self.before, self.after = kind, where, before, after

    def key(self):
        return (self.kind, self.where.lower())

    def __repr__(self):
        if self.before is None:
            return f'{self.kind} added: {self.where} = {self.after}'
        if self.after is None:
            return f'{self.kind} removed: {self.where} (was {self.before})'
        return f'{self.kind} changed: {self.where}: {self.before} -> {self.after}'


class Hasher:
    """Digests of files, kept by inode, size and modification time, so that a
    session hashes its 600 MB prefix once and later only what changed."""

    def __init__(self):
        self.known = {}

    def digest(self, path, status):
        key = (path, status.st_ino, status.st_size, status.st_mtime_ns)
        found = self.known.get(key)
        if found is None:
            hashed = hashlib.md5()
            with open(path, 'rb') as f:
                for block in iter(lambda: f.read(1 << 20), b''):
                    hashed.update(block)
            found = self.known[key] = hashed.hexdigest()
        return found


def _noise_folder(relative):
    lower = relative.lower()
    return any(lower == n or lower.startswith(n + '/') for n in NOISE_FOLDERS)


def read_files(drive_c, hasher):
    files = {}
    for folder, subfolders, names in os.walk(drive_c):
        relative_folder = os.path.relpath(folder, drive_c).replace(os.sep, '/')
        if relative_folder == '.':
            relative_folder = ''
        kept = []
        for name in subfolders:
            relative = f'{relative_folder}/{name}'.lstrip('/')
            path = os.path.join(folder, name)
            if _noise_folder(relative):
                continue
            if os.path.islink(path):
                files[relative.lower()] = (relative, 'link to ' + os.readlink(path))
                continue
            files[relative.lower()] = (relative, 'folder')
            kept.append(name)
        subfolders[:] = kept
        for name in names:
            relative = f'{relative_folder}/{name}'.lstrip('/')
            path = os.path.join(folder, name)
            status = os.lstat(path)
            if os.path.islink(path):
                files[relative.lower()] = (relative, 'link to ' + os.readlink(path))
            else:
                files[relative.lower()] = (
                    relative, f'file of {status.st_size} bytes, md5 {hasher.digest(path, status)}')
    return files


def with_ancestors(keys):
    """The keys with every key above them: Wine writes out only the keys
    that hold values or have no subkeys, the others are implied by their
    subkeys' paths."""
    complete = dict(keys)
    for lower, (name, _) in keys.items():
        parts = name.split('\\')
        for end in range(len(parts) - 1, 0, -1):
            above = '\\'.join(parts[:end])
            if above.lower() in complete:
                break
            complete[above.lower()] = (above, {})
    return complete


def snapshot(prefix, hasher):
    """The prefix as it is on disk. Wine must not be running."""
    registry = {}
    for name, root in REGISTRY_FILES:
        registry.update(read_registry_file(os.path.join(prefix, name), root))
    return Snapshot(with_ancestors(registry),
                    read_files(os.path.join(prefix, 'drive_c'), hasher))


def _noise_key(lower):
    return any(lower == n or lower.startswith(n + '\\') for n in NOISE_KEYS)


def difference(before, after):
    """The changes from before to after, Wine's churn left out, in a stable
    order."""
    changes = []
    for lower in sorted(set(before.registry) | set(after.registry)):
        if _noise_key(lower):
            continue
        old, new = before.registry.get(lower), after.registry.get(lower)
        name = (new or old)[0]
        if old is None or new is None:
            changes.append(Change('key', name, None if old is None else 'key',
                                  None if new is None else 'key'))
        old_values = old[1] if old else {}
        new_values = new[1] if new else {}
        for value in sorted(set(old_values) | set(new_values)):
            where = f'{name}\\\\{value}'
            if old_values.get(value) != new_values.get(value):
                changes.append(Change('value', where, old_values.get(value),
                                      new_values.get(value)))
    for lower in sorted(set(before.files) | set(after.files)):
        old, new = before.files.get(lower), after.files.get(lower)
        if (old and old[1]) != (new and new[1]):
            changes.append(Change('file', (new or old)[0], old and old[1], new and new[1]))
    return changes
