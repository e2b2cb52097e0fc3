#!/usr/bin/env python3
"""Fails when a Qt signal declared in Sources has nobody listening to it.

A signal exists because something listens. For every signal declared in a `signals:` section of a
class in Sources/, some file of Sources/ other than by emitting it must name it as `&Class::name`
(the pointer-to-member form every connect here uses: `connect(...)`, `QObject::connect(...)`, a
signal forwarded to another signal). What counts:
  - a connection made in Sources, whichever class makes it; a signal connected only to forward it
    is connected, and the signal it feeds must then have its own receiver;
  - nothing else: there is no QML, so a property's change signal with no connection is unheard; a
    signal only a test watches (QSignalSpy, connect in Tests/) has no receiver in the program.
A signal that exists for tests alone (a hook the program itself never needs) would be named in
TEST_ONLY below with the reason; keep that list empty unless there is no better way. PENDING names
unheard signals whose removal is under way elsewhere; an entry that is no longer needed is reported
so that it is taken out.

Usage: tools/check-signals.py [repository root]; prints each unheard signal, exits 1 if any.
"""
import pathlib
import re
import sys

# "Class::signal": why only a test listens.
TEST_ONLY: dict[str, str] = {}
# "Class::signal": unheard, and going with the change that removes it.
PENDING: dict[str, str] = {}

ACCESS = re.compile(r'^\s*(public|private|protected)\s*(slots|Q_SLOTS)?\s*:|^\s*(signals|Q_SIGNALS)\s*:|^\s*};')
CLASS = re.compile(r'^\s*class\s+(?:\w+\s+)*?(\w+)\s+(?:final\s+)?:\s*public\s')
SIGNAL_DECL = re.compile(r'\bvoid\s+(\w+)\s*\(')


def declared_signals(path: pathlib.Path):
    """(class, signal, line) for each signal declared in the header."""
    current_class = None
    in_signals = False
    for number, line in enumerate(path.read_text(encoding='utf-8', errors='replace').splitlines(), 1):
        stripped = line.split('//', 1)[0]
        m = CLASS.match(stripped)
        if m:
            current_class, in_signals = m.group(1), False
            continue
        a = ACCESS.match(stripped)
        if a:
            in_signals = a.group(3) is not None
            continue
        if in_signals and current_class:
            for s in SIGNAL_DECL.finditer(stripped):
                yield current_class, s.group(1), number


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    sources = root / 'Sources'
    files = [p for p in sources.rglob('*') if p.suffix in ('.hpp', '.cpp', '.h')]
    text = '\n'.join(p.read_text(encoding='utf-8', errors='replace') for p in files)
    unheard = []
    seen = set()
    for header in sorted(p for p in files if p.suffix in ('.hpp', '.h')):
        for cls, name, line in declared_signals(header):
            key = f'{cls}::{name}'
            heard = re.search(r'&\s*(?:\w+::)*' + re.escape(cls) + r'::' + re.escape(name) + r'\b', text)
            if not heard:
                seen.add(key)
            if heard or key in TEST_ONLY or key in PENDING:
                continue
            unheard.append(f'{header.relative_to(root)}:{line}: signal {key} has no receiver in Sources')
    for key in sorted(set(TEST_ONLY) | set(PENDING)):
        if key not in seen:
            print(f'check-signals: {key} is connected or gone now: take it out of {pathlib.Path(__file__).name}',
                  file=sys.stderr)
    for u in unheard:
        print(u, file=sys.stderr)
    if unheard:
        print(f'check-signals: {len(unheard)} signal(s) without a receiver: connect them or delete them',
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
