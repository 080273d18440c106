# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the real Pelmora window through the accessibility bus.

A Session starts a private X server (Xvfb, 1024x768), an accessibility bus on the private
session bus this process runs in (see run_e2e.py), and the program with a throw-away home
folder. Everything is found by role and caption, the way a screen-reader user or a tester
finds it, and acted on with real mouse and key events, so focus, tab order and modal
dialogs behave as they do for a user.

Every wait has a deadline and fails with a message that says what was awaited and what the
screen showed instead.
"""

import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DEFAULT_TIMEOUT = 15.0
SCREEN = (1024, 768)
BUS_LAUNCHER_PATHS = (
    "/usr/libexec/at-spi-bus-launcher",
    "/usr/lib/at-spi2-core/at-spi-bus-launcher",
)

pyatspi = None  # imported once the accessibility bus runs


class E2EFailure(AssertionError):
    pass


def fail(message):
    raise E2EFailure(message)


def check(condition, message):
    if not condition:
        fail(message)


def plain(caption):
    """A caption as the accessibility bus reports it: the mnemonic ampersand removed."""
    return caption.replace("&", "") if caption is not None else None


def require_tool(name):
    path = shutil.which(name)
    if not path:
        fail(f"required tool '{name}' is not installed (scripts/install-deps.sh --test)")
    return path


def bus_launcher():
    for p in BUS_LAUNCHER_PATHS:
        if os.access(p, os.X_OK):
            return p
    fail("at-spi-bus-launcher not found (package at-spi2-core)")


def wait_until(predicate, timeout, what, describe=None):
    """Polls predicate until it returns something true; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except E2EFailure:
            raise
        except Exception as e:  # the tree changes under us while windows open and close
            last_error = e
        if time.monotonic() > deadline:
            extra = ""
            if describe:
                try:
                    extra = "\n" + describe()
                except Exception as e:
                    extra = f"\n(could not describe the screen: {e})"
            if last_error:
                extra += f"\nlast error: {last_error!r}"
            fail(f"timed out after {timeout:.0f} s waiting for {what}{extra}")
        time.sleep(0.1)


class TestHome:
    """A temporary home folder holding the documents a scenario works on."""

    def __init__(self, files):
        self.root = tempfile.mkdtemp(prefix="pelmora-e2e-")
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)
        for rel, content in files.items():
            path = os.path.join(self.home, rel)
            if rel.endswith("/"):
                os.makedirs(path, exist_ok=True)
                continue
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content if isinstance(content, bytes) else content.encode())

    def path(self, rel=""):
        return os.path.join(self.home, rel)

    def folder(self, rel=""):
        """A folder as the program shows it: absolute, ending with '/'."""
        p = os.path.join(self.home, rel)
        return p if p.endswith("/") else p + "/"

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def exists(self, rel):
        return os.path.exists(self.path(rel))

    def trash_files(self):
        d = os.path.join(self.home, ".local/share/Trash/files")
        return sorted(os.listdir(d)) if os.path.isdir(d) else []

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Session:
    """The program running on its own display and buses, with a test home."""

    def __init__(self, program, files, timeout=DEFAULT_TIMEOUT, tools=None, screen=SCREEN,
                 scale=None):
        """tools: stand-in programs put first on the program's PATH, name -> sh script body;
        screen: the X screen in pixels; scale: the program's QT_SCALE_FACTOR."""
        self.program = program
        self.screen = screen
        self.scale = scale
        self.timeout = timeout
        self.tools = tools or {}
        self.home = TestHome(files)
        self.procs = []
        self.app = None
        self.display = None

    # -- start and stop --------------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        check(os.environ.get("PELMORA_E2E_PRIVATE_BUS") == "1",
              "the harness must run inside its own session bus (use run_e2e.py)")
        check(os.access(self.program, os.X_OK), f"program not found: {self.program}")
        xvfb = require_tool("Xvfb")
        self.env = self.make_env()
        self.start_x(xvfb)
        self.start_accessibility_bus()
        global pyatspi
        try:
            import pyatspi as module
        except ImportError as e:
            fail(f"python3-pyatspi is not installed for {sys.executable}: {e}")
        pyatspi = module
        self.start_program()

    def make_env(self):
        h = self.home.home
        env = dict(os.environ)
        for var in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "XAUTHORITY",
                    "SESSION_MANAGER", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"):
            env.pop(var, None)
        env.update({
            "HOME": h,
            "XDG_CONFIG_HOME": os.path.join(h, ".config"),
            "XDG_DATA_HOME": os.path.join(h, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(h, ".cache"),
            "XDG_STATE_HOME": os.path.join(h, ".local/state"),
            "XDG_RUNTIME_DIR": os.path.join(self.home.root, "run"),
            "TMPDIR": os.path.join(self.home.root, "tmp"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        })
        if self.scale:
            env["QT_SCALE_FACTOR"] = str(self.scale)
        for key in ("XDG_RUNTIME_DIR", "TMPDIR"):
            os.makedirs(env[key], mode=0o700, exist_ok=True)
        if self.tools:
            bin_dir = os.path.join(self.home.root, "bin")
            os.makedirs(bin_dir, exist_ok=True)
            for name, body in self.tools.items():
                path = os.path.join(bin_dir, name)
                with open(path, "w") as f:
                    f.write("#!/bin/sh\n" + body + "\n")
                os.chmod(path, 0o755)
            env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
        return env

    def spawn(self, args, env, name):
        log = open(os.path.join(self.home.root, name + ".log"), "wb")
        p = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=log,
                             stderr=subprocess.STDOUT, start_new_session=True)
        self.procs.append((name, p, log))
        return p

    def start_x(self, xvfb):
        r, w = os.pipe()
        args = [xvfb, "-displayfd", str(w), "-screen", "0", f"{self.screen[0]}x{self.screen[1]}x24",
                "-nolisten", "tcp", "+extension", "XTEST"]
        log = open(os.path.join(self.home.root, "Xvfb.log"), "wb")
        p = subprocess.Popen(args, pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=log,
                             stderr=subprocess.STDOUT, start_new_session=True)
        os.close(w)
        self.procs.append(("Xvfb", p, log))
        data = b""
        deadline = time.monotonic() + self.timeout
        os.set_blocking(r, False)
        while not data.endswith(b"\n"):
            if p.poll() is not None:
                fail(f"Xvfb ended at start-up (code {p.returncode}); see {log.name}")
            if time.monotonic() > deadline:
                fail("Xvfb did not report its display number")
            try:
                chunk = os.read(r, 64)
                data += chunk
            except BlockingIOError:
                time.sleep(0.05)
        os.close(r)
        self.display = ":" + data.decode().strip()
        socket = "/tmp/.X11-unix/X" + data.decode().strip()
        wait_until(lambda: os.path.exists(socket) and p.poll() is None, self.timeout,
                   f"the X server's socket {socket}")
        # Only local clients reach the server (no TCP); the harness talks to it as well.
        self.env["DISPLAY"] = self.display
        os.environ["DISPLAY"] = self.display
        os.environ.pop("XAUTHORITY", None)

    def start_accessibility_bus(self):
        launcher = bus_launcher()
        self.spawn([launcher, "--launch-immediately"], self.env, "at-spi-bus-launcher")
        # The launcher answers on the session bus once the accessibility bus runs. Asking
        # before it owns its name would start a second launcher through bus activation, and
        # the program and the harness could end up on different buses.
        def owned():
            out = subprocess.run(
                ["dbus-send", "--session", "--print-reply=literal",
                 "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                 "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"],
                capture_output=True, text=True, timeout=5)
            return out.returncode == 0 and "true" in out.stdout

        def address():
            out = subprocess.run(
                ["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                capture_output=True, text=True, timeout=5)
            return out.stdout.strip() if out.returncode == 0 else None
        require_tool("dbus-send")
        wait_until(owned, self.timeout, "at-spi-bus-launcher to own org.a11y.Bus")
        addr = wait_until(address, self.timeout, "the accessibility bus")
        os.environ["AT_SPI_BUS_ADDRESS"] = addr
        # The program finds the bus the way every application does (X root property, session bus).

    def start_program(self):
        self.proc = self.spawn([self.program], self.env, "pelmora")

        def application():
            if self.proc.poll() is not None:
                fail(f"the program ended at start-up (code {self.proc.returncode}):\n"
                     + self.log("pelmora"))
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                a = desktop.getChildAtIndex(i)
                if a is None:
                    continue
                try:
                    if a.get_process_id() == self.proc.pid:
                        return a
                except Exception:
                    continue
            return None
        self.app = wait_until(application, self.timeout * 2,
                              "the program on the accessibility bus")

    def log(self, name):
        try:
            with open(os.path.join(self.home.root, name + ".log"), "rb") as f:
                return f.read().decode(errors="replace")[-4000:]
        except OSError:
            return ""

    def stop(self):
        for name, p, log in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    try:
                        os.killpg(p.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                    p.wait(timeout=5)
            log.close()
        self.procs = []
        if os.environ.get("PELMORA_E2E_KEEP") != "1":
            self.home.remove()
        else:
            print(f"kept test home: {self.home.root}", file=sys.stderr)

    def check_alive(self):
        if self.proc.poll() is not None:
            fail(f"the program ended unexpectedly (code {self.proc.returncode}):\n"
                 + self.log("pelmora"))

    # -- finding ---------------------------------------------------------------------

    @staticmethod
    def role(acc):
        return acc.getRoleName()

    @staticmethod
    def name(acc):
        return acc.name or ""

    @staticmethod
    def showing(acc):
        return acc.getState().contains(pyatspi.STATE_SHOWING)

    @staticmethod
    def enabled(acc):
        return acc.getState().contains(pyatspi.STATE_ENABLED)

    @staticmethod
    def checked(acc):
        return acc.getState().contains(pyatspi.STATE_CHECKED)

    @staticmethod
    def focused(acc):
        return acc.getState().contains(pyatspi.STATE_FOCUSED)

    def walk(self, root=None, depth=0, max_depth=40, skip_cells=True):
        root = root or self.app
        yield root
        if depth >= max_depth:
            return
        n = root.childCount
        # A table with many rows: its cells are reached through the table interface.
        if skip_cells and root.getRoleName() in ("table", "tree table") and n > 400:
            return
        for i in range(n):
            try:
                child = root.getChildAtIndex(i)
            except Exception:
                continue
            if child is not None:
                yield from self.walk(child, depth + 1, max_depth, skip_cells)

    def matches(self, acc, role, name, contains):
        if role is not None and self.role(acc) != role:
            return False
        n = self.name(acc)
        if name is not None and n != plain(name):
            return False
        if contains is not None and plain(contains) not in n:
            return False
        return True

    def find_all(self, role=None, name=None, root=None, contains=None, showing=True):
        found = []
        for acc in self.walk(root):
            try:
                if self.matches(acc, role, name, contains) and (not showing or self.showing(acc)):
                    found.append(acc)
            except Exception:
                continue
        return found

    def find(self, role=None, name=None, root=None, contains=None, showing=True, timeout=None):
        """The one accessible of that role and caption; waits for it to appear."""
        def one():
            self.check_alive()
            hits = self.find_all(role, name, root, contains, showing)
            return hits[0] if hits else None
        what = f"{role or 'any'} named {name!r}" if contains is None else \
               f"{role or 'any'} containing {contains!r}"
        return wait_until(one, timeout or self.timeout, what, self.describe)

    def describe(self, root=None, limit=200):
        lines = []
        for acc in self.walk(root):
            if len(lines) >= limit:
                lines.append("...")
                break
            try:
                if not self.showing(acc):
                    continue
                lines.append(f"{self.role(acc)}: {self.name(acc)!r}")
            except Exception:
                continue
        return "screen shows:\n  " + "\n  ".join(lines)

    def windows(self):
        out = []
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None:
                out.append(w)
        return out

    def wait_window(self, name, role=None, timeout=None, exclude=()):
        """A top-level window (frame, dialog or message box) that is showing; windows in
        exclude (already open ones with the same title) do not count."""
        def window():
            self.check_alive()
            for w in self.windows():
                if self.name(w) == plain(name) and (role is None or self.role(w) == role) \
                        and self.showing(w) and not any(w == x for x in exclude):
                    return w
            return None
        return wait_until(window, timeout or self.timeout, f"window {name!r}", self.describe)

    def wait_closed(self, acc, what, timeout=None):
        def gone():
            self.check_alive()
            try:
                return not self.showing(acc)
            except Exception:
                return True
        wait_until(gone, timeout or self.timeout, f"{what} to close", self.describe)

    def main_window(self):
        return self.wait_window("PelmoraVer1.1", role="frame")

    # -- acting ----------------------------------------------------------------------

    def extents(self, acc):
        return acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)

    def click(self, acc, double=False):
        """A left click in the middle of the control, as the mouse does it."""
        self.check_alive()
        e = self.extents(acc)
        check(e.width > 0 and e.height > 0,
              f"{self.role(acc)} {self.name(acc)!r} has no area on screen")
        x, y = e.x + e.width // 2, e.y + e.height // 2
        check(0 <= x < self.screen[0] and 0 <= y < self.screen[1],
              f"{self.role(acc)} {self.name(acc)!r} is off-screen at ({x}, {y})")
        # Press and release apart, as a hand does: a control that reacts to the focus it gets
        # on the press must see the press handled before the release arrives.
        for _ in range(2 if double else 1):
            pyatspi.Registry.generateMouseEvent(x, y, "abs")
            pyatspi.Registry.generateMouseEvent(x, y, "b1p")
            time.sleep(0.08)
            pyatspi.Registry.generateMouseEvent(x, y, "b1r")
            time.sleep(0.05)
        time.sleep(0.15)

    def click_named(self, role, name, root=None):
        acc = self.find(role, name, root)
        wait_until(lambda: self.enabled(acc), self.timeout, f"{role} {name!r} to be enabled")
        self.click(acc)
        return acc

    KEYSYMS = {
        "Tab": 0xff09, "Return": 0xff0d, "Enter": 0xff0d, "Escape": 0xff1b, "space": 0x20,
        "Space": 0x20, "Up": 0xff52, "Down": 0xff54, "Left": 0xff51, "Right": 0xff53,
        "Home": 0xff50, "End": 0xff57, "BackSpace": 0xff08, "Delete": 0xffff,
        "Alt": 0xffe9, "Shift": 0xffe1, "Control": 0xffe3, "F10": 0xffc7,
    }

    def keysym(self, name):
        if name in self.KEYSYMS:
            return self.KEYSYMS[name]
        if len(name) == 1:
            return ord(name.lower()) if name.isalpha() else ord(name)
        fail(f"unknown key {name!r}")

    # Key codes of the modifiers on the X server's default key map.
    MODIFIER_CODES = {"Alt": 64, "Shift": 50, "Control": 37}

    def key(self, *combos):
        """Presses keys: key('Tab'), key('Alt+I'), key('Down', 'Down', 'space')."""
        self.check_alive()
        for combo in combos:
            parts = combo.split("+")
            self._press(parts[:-1], parts[-1])
            time.sleep(0.12)

    def _press(self, mods, last):
        for m in mods:
            pyatspi.Registry.generateKeyboardEvent(self.MODIFIER_CODES[m], None,
                                                   pyatspi.KEY_PRESS)
        pyatspi.Registry.generateKeyboardEvent(self.keysym(last), None, pyatspi.KEY_SYM)
        for m in reversed(mods):
            pyatspi.Registry.generateKeyboardEvent(self.MODIFIER_CODES[m], None,
                                                   pyatspi.KEY_RELEASE)

    def type_text(self, text):
        """Types plain ASCII text key by key."""
        for ch in text:
            self._press(["Shift"] if ch.isupper() else [], ch)
            time.sleep(0.04)
        time.sleep(0.1)

    def focus_owner(self):
        """The control with the keyboard focus. A grid's cells keep a focused state after the
        grid lost the focus (a list's items too), so they count only through their grid or list."""
        for acc in self.walk():
            try:
                if self.role(acc) not in ("table cell", "list item") and self.focused(acc) \
                        and self.showing(acc):
                    return acc
            except Exception:
                continue
        return None

    def wait_focus(self, role, name=None, contains=None, timeout=None):
        def focused():
            acc = self.focus_owner()
            if acc is not None and self.matches(acc, role, name, contains):
                return acc
            return None

        def describe():
            acc = self.focus_owner()
            return "focus is on " + (f"{self.role(acc)} {self.name(acc)!r}" if acc else "nothing")
        return wait_until(focused, timeout or self.timeout,
                          f"focus on {role} {name or contains!r}", describe)

    def tab_to(self, role, name=None, contains=None, limit=40, back=False):
        """Presses Tab (or Shift+Tab) until the named control has the focus."""
        for _ in range(limit):
            acc = self.focus_owner()
            if acc is not None and self.matches(acc, role, name, contains):
                return acc
            self.key("Shift+Tab" if back else "Tab")
        fail(f"{role} {name or contains!r} not reached with {limit} Tab presses")

    # -- menus, message boxes, grids -----------------------------------------------

    def menu(self, *path):
        """Opens a menu path by captions with the mouse: menu('編集(&I)', '選択ファイル...')."""
        main = self.main_window()
        bar = self.find("menu bar", root=main)
        item = self.find("menu item", path[0], root=bar)
        self.click(item)
        for caption in path[1:]:
            entry = self.find("menu item", caption)
            wait_until(lambda: self.enabled(entry), self.timeout,
                       f"menu item {caption!r} to be enabled")
            self.click(entry)

    def menu_item_enabled(self, menu_caption, caption):
        """Whether a menu item is enabled; opens the menu to look and closes it again."""
        main = self.main_window()
        bar = self.find("menu bar", root=main)
        self.click(self.find("menu item", menu_caption, root=bar))
        entry = self.find("menu item", caption)
        result = self.enabled(entry)
        self.key("Escape")
        self.wait_closed(entry, f"menu {menu_caption!r}")
        return result

    def wait_message(self, contains=None, timeout=None):
        """A message box captioned PelmoraVer1.1; returns (window, text)."""
        def box():
            self.check_alive()
            for w in self.windows():
                try:
                    if self.role(w) != "alert" or not self.showing(w):
                        continue
                except Exception:
                    continue
                text = self.message_text(w)
                if contains is None or plain(contains) in text:
                    return (w, text)
            return None
        return wait_until(box, timeout or self.timeout,
                          f"a message box saying {contains!r}", self.describe)

    def message_text(self, box):
        labels = [self.name(a) for a in self.find_all("label", root=box)]
        return "\n".join(t for t in labels if t)

    def answer(self, box, button):
        """Clicks a button of a message box and waits for the box to close."""
        self.click(self.find("push button", button, root=box))
        self.wait_closed(box, "the message box")

    def expect_message(self, text, button="OK", exact=True):
        box, shown = self.wait_message(text)
        if exact:
            check(shown.replace("\r\n", "\n") == text.replace("\r\n", "\n"),
                  f"message reads {shown!r}, expected {text!r}")
        check(self.name(box) == "PelmoraVer1.1",
              f"message box captioned {self.name(box)!r}")
        self.answer(box, button)
        return shown

    def table(self, name, root=None):
        return self.find("table", name, root=root)

    def table_rows(self, table):
        t = table.queryTable()
        rows = []
        for r in range(t.nRows):
            row = []
            for c in range(t.nColumns):
                cell = t.getAccessibleAt(r, c)
                row.append(self.name(cell) if cell is not None else "")
            rows.append(tuple(row))
        return rows

    def table_cell(self, table, row, col):
        return table.queryTable().getAccessibleAt(row, col)

    def find_row(self, table, col, text):
        for i, row in enumerate(self.table_rows(table)):
            if row[col] == text:
                return i
        fail(f"no row with {text!r} in column {col}; rows: {self.table_rows(table)}")

    def click_row(self, table, row, col=0):
        self.click(self.table_cell(table, row, col))


class _XAttributes(ctypes.Structure):
    """XWindowAttributes of libX11."""
    _fields_ = [(n, t) for n, t in (
        ("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
        ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("c_class", ctypes.c_int),
        ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p))]


def x_top_levels():
    """(title, shown, x, y, width, height) of every top-level window of the X server: the
    title a window manager would show (_NET_WM_NAME), whether it is mapped, and its place in
    the server's own pixels (whatever the accessibility bus reports at a scale factor); read
    with libX11 through ctypes."""
    x = ctypes.CDLL("libX11.so.6")
    vp, ul = ctypes.c_void_p, ctypes.c_ulong
    x.XOpenDisplay.restype = vp
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ul
    x.XDefaultRootWindow.argtypes = [vp]
    x.XInternAtom.restype = ul
    x.XInternAtom.argtypes = [vp, ctypes.c_char_p, ctypes.c_int]
    x.XQueryTree.argtypes = [vp, ul, ctypes.POINTER(ul), ctypes.POINTER(ul),
                             ctypes.POINTER(ctypes.POINTER(ul)), ctypes.POINTER(ctypes.c_uint)]
    x.XGetWindowProperty.argtypes = [vp, ul, ul, ctypes.c_long, ctypes.c_long, ctypes.c_int, ul,
                                     ctypes.POINTER(ul), ctypes.POINTER(ctypes.c_int),
                                     ctypes.POINTER(ul), ctypes.POINTER(ul), ctypes.POINTER(vp)]
    x.XGetWindowAttributes.argtypes = [vp, ul, ctypes.POINTER(_XAttributes)]
    x.XFree.argtypes = [vp]
    x.XCloseDisplay.argtypes = [vp]
    display = x.XOpenDisplay(os.environ["DISPLAY"].encode())
    check(display, "cannot open the X display to read its windows")
    viewable = 2
    try:
        root, parent = ul(), ul()
        children, count = ctypes.POINTER(ul)(), ctypes.c_uint()
        x.XQueryTree(display, x.XDefaultRootWindow(display), ctypes.byref(root),
                     ctypes.byref(parent), ctypes.byref(children), ctypes.byref(count))
        name = x.XInternAtom(display, b"_NET_WM_NAME", 0)
        utf8 = x.XInternAtom(display, b"UTF8_STRING", 0)
        windows = []
        for i in range(count.value):
            kind, fmt, items, rest, data = ul(), ctypes.c_int(), ul(), ul(), vp()
            title = None
            if x.XGetWindowProperty(display, children[i], name, 0, 4096, 0, utf8,
                                    ctypes.byref(kind), ctypes.byref(fmt), ctypes.byref(items),
                                    ctypes.byref(rest), ctypes.byref(data)) == 0 and data.value:
                title = ctypes.string_at(data, items.value).decode()
                x.XFree(data)
            a = _XAttributes()
            if x.XGetWindowAttributes(display, children[i], ctypes.byref(a)):
                windows.append((title, a.map_state == viewable, a.x, a.y, a.width, a.height))
        if children:
            x.XFree(children)
        return windows
    finally:
        x.XCloseDisplay(display)


def x_window_titles():
    """The titles the X server holds for its top-level windows."""
    return [w[0] for w in x_top_levels() if w[0] is not None]


def history_rows(session):
    """Opens the history window, reads its rows and closes it with OK."""
    session.menu("履歴(&J)", "操作履歴を見る(&K)")
    window = session.wait_window("操作履歴", role="dialog")
    rows = session.table_rows(session.table("操作履歴", root=window))
    session.click_named("push button", "OK(&O)", root=window)
    session.wait_closed(window, "the history window")
    return rows


STAMP = re.compile(r"^\d\d年\d\d月\d\d日 \d\d時\d\d分\d\d秒$")
