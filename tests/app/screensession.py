# SPDX-License-Identifier: GPL-3.0-or-later
"""What the window's screen-reader tests share: their tools, a D-Bus session, runtime folder and
home of their own (so that runs beside each other, and the user's own settings, do not meet),
the X11 platform and a plain UTF-8 locale whatever the caller exported, their own Xvfb, and the
keyboard through xdotool."""
import atexit, importlib.util, os, shutil, subprocess, sys, tempfile, time


def require(tools, modules=()):
    """Exits 77, saying what is missing, where a tool or Python module is not installed."""
    missing = [tool for tool in tools if not shutil.which(tool)]
    missing += [module for module in modules if not importlib.util.find_spec(module)]
    if missing:
        print('skipped, missing:', *missing)
        sys.exit(77)


def own_session():
    """Runs the calling script again inside a D-Bus session of its own and exits with its status;
    inside, returns the runtime folder, which is also HOME."""
    if 'KELVORA_TEST_RUNTIME' in os.environ:
        return os.environ['KELVORA_TEST_RUNTIME']
    runtime = tempfile.mkdtemp()
    env = dict(os.environ, KELVORA_TEST_RUNTIME=runtime, XDG_RUNTIME_DIR=runtime, HOME=runtime,
               XDG_CONFIG_HOME=os.path.join(runtime, 'config'),
               XDG_DATA_HOME=os.path.join(runtime, 'data'), LANG='C.UTF-8', LC_ALL='C.UTF-8',
               QT_QPA_PLATFORM='xcb')
    status = subprocess.call(['dbus-run-session', '--', sys.executable, *sys.argv], env=env)
    shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(status)


def start_display():
    """Its own Xvfb on a display number the server picks, which no run beside it can take."""
    ready, told = os.pipe()
    screen = subprocess.Popen(['Xvfb', '-displayfd', str(told), '-screen', '0', '1024x768x24',
                               '-nolisten', 'tcp'], pass_fds=[told])
    os.close(told)
    os.environ['DISPLAY'] = ':' + os.read(ready, 16).decode().strip()
    atexit.register(lambda: (screen.terminate(), screen.wait()))


def wait_for(what, probe, seconds=20):
    """What `probe` returns once it is true; ends the test, naming `what`, after `seconds`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    sys.exit('not seen: ' + what)


def focus(title):
    """Gives a window the keyboard: without a window manager no window takes it by itself."""
    subprocess.run(['xdotool', 'search', '--sync', '--name', f'^{title}$', 'windowfocus', '--sync'],
                   check=True)


def keys(*names, settle=0.0):
    subprocess.run(['xdotool', 'key', '--delay', '100', *names], check=True)
    time.sleep(settle)
