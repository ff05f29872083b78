#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The window as a screen reader reads it through AT-SPI (what Orca sees), then a save with the
keyboard alone, Enter on Save. Run on a display with a D-Bus session: xvfb-run -a
dbus-run-session -- atspi.py PROGRAM."""
import atexit, os, shutil, subprocess, sys, tempfile, time
import pyatspi

program = sys.argv[1]
folder = tempfile.mkdtemp()
chosen = os.path.join(folder, 'team_sp.cfg')
with open(chosen, 'wb') as f:
    f.write(b'01STRENGTH 0\r\n01MAXSTRENGTH 0\r\n')
window = subprocess.Popen([program, chosen], env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'))
atexit.register(lambda: (window.kill(), window.wait(), shutil.rmtree(folder)))

def wait_for(what, probe):
    for _ in range(100):
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    sys.exit('not seen: ' + what)

def named(role, name=None, root=None):
    return pyatspi.findAllDescendants(root or app, lambda o: o.getRoleName() == role
                                      and (name is None or o.name == name))

def one(role, name):
    return wait_for(f'one {role} "{name}"', lambda: (lambda f: len(f) == 1 and f[0])(named(role, name)))

def has(o, state):
    return o.getState().contains(state)

def keys(*names):
    subprocess.run(['xdotool', 'key', '--delay', '100', *names], check=True)
    time.sleep(0.5)

app = wait_for('the program', lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                            if a and a.name == 'Kelvora Stärkeneditor'), None))
for role, name in [('combo box', 'Laufwerk'), ('tree', 'Ordner'), ('list', 'Datei')]:
    one(role, name)
start, maximum = one('combo box', 'Startsterne'), one('combo box', 'Max.-sterne')
for box, caption in [(start, 'Startsterne:'), (maximum, 'Max.-sterne:')]:
    labels = [r.getTarget(0).name for r in box.getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    assert labels == [caption], labels
chosen_rows = [o.name for o in one('list', 'Datei') if has(o, pyatspi.STATE_SELECTED)]
assert chosen_rows == ['team_sp.cfg'], chosen_rows
assert has(one('push button', 'Speichern'), pyatspi.STATE_SENSITIVE)
progress = one('progress bar', 'Fortschritt').queryValue()
assert (progress.currentValue, progress.minimumValue, progress.maximumValue) == (0, 0, 100)
rows = lambda: sorted((o.description, o.name) for o in named('image') if o.description)
assert rows() == [('Max.-sterne', '0 von 6 Sternen'), ('Startsterne', '0 von 6 Sternen')], rows()
assert [o.name for o in named('image') if not o.description] == ['Kelvora Stärkeneditor']

subprocess.run(['xdotool', 'search', '--sync', '--name', 'Kelvora Stärkeneditor', 'windowfocus',
                '--sync'], check=True)
keys('Tab', 'Tab', 'Tab')
wait_for('the start list focused', lambda: has(start, pyatspi.STATE_FOCUSED))
keys(*['Down'] * 7)
wait_for('3.5 stars in both rows', lambda: rows() == [('Max.-sterne', '3,5 von 6 Sternen'),
                                                      ('Startsterne', '3,5 von 6 Sternen')])
keys('Tab', 'Down', 'Tab')
wait_for('Save focused', lambda: has(one('push button', 'Speichern'), pyatspi.STATE_FOCUSED))
keys('Return')
wait_for('the message', lambda: named('label', 'Speichern erfolgreich'))
keys('Return')
with open(chosen + '.new', 'rb') as f:
    saved = f.read()
assert saved == b'01STRENG' + b' ' * 25 + b' 7000 \r\n01MAXSTRENGT' + b' ' * 21 + b' 8000 \r\n', saved
print('atspi: names, roles, values and the keyboard save as expected')
