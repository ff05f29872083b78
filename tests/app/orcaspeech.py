#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What Orca says while the window is worked with the keyboard alone: each list's entry when it
takes the focus and on every move, the first arrow press in the file list included, both
ratings' captions and values, the chosen file's line, and the message after a save:
orcaspeech.py PROGRAM. Orca's speech is read from its debug output, written to a terminal so
that each line comes at once. Exits 77 where Orca or a tool is missing."""
import atexit, os, re, shutil, subprocess, sys, tempfile, threading, tty
from screensession import focus, keys, own_session, require, start_display, wait_for

require(['orca', 'Xvfb', 'dbus-run-session', 'xdotool'])
runtime = own_session()
program = sys.argv[1]
start_display()

# Orca opens its debug file line-buffered only when it is a terminal.
reader, writer = os.openpty()
tty.setraw(writer)
lines = []
def read_debug_output():
    pending = b''
    while chunk := os.read(reader, 65536):
        *complete, pending = (pending + chunk).split(b'\n')
        lines.extend(line.decode(errors='replace') for line in complete)
threading.Thread(target=read_debug_output, daemon=True).start()
errors = open(os.path.join(runtime, 'orca.err'), 'w')
orca = subprocess.Popen(['orca', '--debug-file=' + os.ttyname(writer)], stdout=errors,
                        stderr=errors)
atexit.register(lambda: (orca.kill(), orca.wait())) # it keeps nothing to be saved

SPOKEN = re.compile(r" - SPEECH OUTPUT: '(.*)")
END = re.compile(r"(.*)'(?: voice=\w+)? ?\{.*\}$", re.DOTALL)
def utterances():
    """Everything Orca said so far, one string an utterance, key echoes included."""
    said, current = [], None
    for line in list(lines):
        if (start := SPOKEN.search(line)):
            current = start.group(1)
        elif current is not None and line.startswith(' ' * 18):
            current += '\n' + line.strip()
        else:
            continue
        if (end := END.match(current)):
            said.append(end.group(1).strip())
            current = None
    return said

heard = 0 # utterances already matched
def hear(*expected):
    """Waits until Orca has said each of `expected` in turn (an exact utterance, or a pattern)."""
    global heard
    def said_all():
        global heard
        said, at = utterances(), heard
        for want in expected:
            at = next((i + 1 for i in range(at, len(said))
                       if (re.fullmatch(want, said[i]) if isinstance(want, re.Pattern)
                           else said[i] == want)), None)
            if at is None:
                return False
        heard = at
        return True
    wait_for(f'Orca saying {expected}; it said {utterances()[heard:]}', said_all)

hear('Screen reader on.')
folder = tempfile.mkdtemp()
for name, content in [('a_sp.cfg', b'01STRENGTH 3000\r\n01MAXSTRENGTH 5000\r\n'),
                      ('b_sp.cfg', b'01STRENGTH 1000\r\n02STRENGTH 2000\r\n01MAXSTRENGTH 0\r\n'),
                      ('c_sp.cfg', b'')]:
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(content)
os.mkdir(os.path.join(folder, 'unter'))
window = subprocess.Popen([program, folder])
atexit.register(lambda: (window.kill(), window.wait(), shutil.rmtree(folder)))

focus('Kelvora Stärkeneditor')
hear('Laufwerk combo box.', re.compile(r'/.* \(.*\)')) # the drive: its mount point (device)
keys('Tab')
hear('Ordner tree', os.path.basename(folder) + ' expanded.')
keys('Tab')
hear('Datei.', 'List with 3 items.')
keys('Down')
hear('a_sp.cfg.', 'notification Start: 1.5 Sterne in 1 Zeile.\nMax.: 2.5 Sterne in 1 Zeile.')
keys('Down')
hear('b_sp.cfg.', 'notification Start: gemischt in 2 Zeilen.\nMax.: 0.0 Sterne in 1 Zeile.')
keys('Tab')
hear('Startsterne: combo box.', '0.0 Sterne.')
keys('shift+Tab') # back into the file list: the chosen file
hear('Datei.', 'b_sp.cfg.')
keys('Tab')
hear('Startsterne: combo box.', '0.0 Sterne.')
keys('Down')
hear('0.5 Sterne.')
keys('4') # the first entry starting with 4
hear('4.0 Sterne.')
keys('Tab')
hear('Max.-sterne: combo box.', '4.0 Sterne.') # raised to the start
keys('Down')
hear('4.5 Sterne.')
keys('shift+Tab', 'Up', 'Tab') # the choice is 3.5 at the start, 4.5 at most
hear('Max.-sterne: combo box.', '4.5 Sterne.')
keys('Tab')
hear('Speichern push button.')
keys('Return')
hear('Speichern erfolgreich.')
keys('Return')
wait_for('the message closed', lambda: subprocess.run(
    ['xdotool', 'search', '--onlyvisible', '--name', '^Speichern$'],
    stdout=subprocess.DEVNULL).returncode != 0)
with open(os.path.join(folder, 'b_sp.cfg.new'), 'rb') as f:
    saved = f.read()
assert saved.count(b' 7000 \r\n') == 2 and saved.endswith(b' 9000 \r\n'), saved
focus('Kelvora Stärkeneditor')
keys('ctrl+q')
assert window.wait(20) == 0, window.returncode
print('orca: captions, entries, moves, the chosen file and the save message spoken')
