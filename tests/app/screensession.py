# SPDX-License-Identifier: GPL-3.0-or-later
"""What the screen-reader tests share: a D-Bus session, runtime folder and home of their own (so
that runs beside each other, and the user's settings, do not meet), the X11 platform and a
UTF-8 locale whatever the caller exported, their own Xvfb, and the keyboard through xdotool."""
import atexit, importlib.util, os, shutil, subprocess, sys, tempfile, time

def require(tools, modules=()):
    missing = [t for t in tools if not shutil.which(t)]
    missing += [m for m in modules if not importlib.util.find_spec(m)]
    if missing:
        print('skipped, missing:', *missing)
        sys.exit(77)

def own_session():
    """Runs the calling script again in a session of its own and exits with its status."""
    if 'KELVORA_TEST_RUNTIME' in os.environ:
        return
    runtime = tempfile.mkdtemp()
    status = subprocess.call(['dbus-run-session', '--', sys.executable, *sys.argv], env=dict(
        os.environ, KELVORA_TEST_RUNTIME=runtime, XDG_RUNTIME_DIR=runtime, HOME=runtime,
        XDG_CONFIG_HOME=runtime + '/config', XDG_DATA_HOME=runtime + '/data', LANG='C.UTF-8',
        LC_ALL='C.UTF-8', QT_QPA_PLATFORM='xcb'))
    shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(status)

def start_display():
    """Xvfb on a display number the server picks, which no run beside it can take."""
    ready, told = os.pipe()
    screen = subprocess.Popen(['Xvfb', '-displayfd', str(told), '-screen', '0', '1024x768x24',
                               '-nolisten', 'tcp'], pass_fds=[told])
    os.close(told)
    os.environ['DISPLAY'] = ':' + os.read(ready, 16).decode().strip()
    atexit.register(lambda: (screen.terminate(), screen.wait()))

def wait_for(what, probe, seconds=20):
    """What `probe` returns once true; else ends the test with `what` (a text, or its maker)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if found := probe():
            return found
        time.sleep(0.1)
    sys.exit('not seen: ' + (what() if callable(what) else what))

def focus(title):
    """Without a window manager no window takes the keyboard by itself."""
    subprocess.run(['xdotool', 'search', '--sync', '--name', f'^{title}$', 'windowfocus', '--sync'],
                   check=True)

def keys(*names, settle=0.0):
    subprocess.run(['xdotool', 'key', '--delay', '100', *names], check=True)
    time.sleep(settle)
