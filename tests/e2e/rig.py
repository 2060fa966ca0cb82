"""Test rig: runs the real intro under a private Xvfb and looks at it from outside.

Everything here talks to a real X server: Xvfb started on a free display number
(-displayfd), xdotool for keys, xwininfo and xprop for what the window manager
would see, and a WM_DELETE_WINDOW client message sent through Xlib.
"""
import contextlib
import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import time

INTRO = os.environ.get("INTRO", os.path.join(os.getcwd(), "bin", "intro"))
TITLE = "Quillrun - Skylet2 Factory Image"
SCREEN_W, SCREEN_H = 1280, 1024


@contextlib.contextmanager
def xvfb(width=SCREEN_W, height=SCREEN_H, glx=True):
    """A private X server; yields its display name (":N")."""
    read_fd, write_fd = os.pipe()
    args = ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
            "-nolisten", "tcp", "-noreset"]
    if not glx:
        args += ["-extension", "GLX"]
    server = subprocess.Popen(args, pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_fd)
    try:
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not report a display")
                number += chunk
        yield ":" + number.decode().strip()
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def x_env(display, **extra):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    env.update(extra)
    return env


class Intro:
    """The real program, with its output captured."""

    def __init__(self, display, env=None):
        self.display = display
        self.proc = subprocess.Popen([INTRO], env=env or x_env(display),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.window = None

    def wait_window(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"intro ended early with status {self.proc.returncode}")
            found = xdotool(self.display, "search", "--name", f"^{re.escape(TITLE)}$",
                            check=False)
            ids = found.split()
            if ids:
                self.window = ids[0]
                return self.window
            time.sleep(0.1)
        raise AssertionError("the intro's window did not appear")

    def finish(self, timeout=20.0):
        """Waits for the exit; returns (status, stdout, stderr)."""
        try:
            out, err = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
            raise AssertionError("the intro did not end")
        return self.proc.returncode, out, err

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.communicate()


def run(display, *args, check=True):
    result = subprocess.run(list(args), env=x_env(display), capture_output=True, text=True,
                            timeout=30)
    if check and result.returncode != 0:
        raise AssertionError(f"{args[0]} failed: {result.stderr.strip()}")
    return result.stdout


def xdotool(display, *args, check=True):
    return run(display, "xdotool", *args, check=check)


def key(display, name):
    xdotool(display, "key", name)


def geometry(display, window):
    """(x, y, width, height) of the window's client area on the screen."""
    info = run(display, "xwininfo", "-id", window)
    values = {}
    for label, field in (("Absolute upper-left X", "x"), ("Absolute upper-left Y", "y"),
                         ("Width", "w"), ("Height", "h")):
        values[field] = int(re.search(rf"{label}:\s+(-?\d+)", info).group(1))
    return values["x"], values["y"], values["w"], values["h"]


def wait_geometry(display, window, wanted, timeout=10.0):
    """Polls until the geometry equals `wanted`; returns the last one seen."""
    deadline = time.monotonic() + timeout
    seen = geometry(display, window)
    while seen != wanted and time.monotonic() < deadline:
        time.sleep(0.1)
        seen = geometry(display, window)
    return seen


def size_hints(display, window):
    """The WM_NORMAL_HINTS minimum and maximum sizes as ((w, h), (w, h))."""
    text = run(display, "xprop", "-id", window, "WM_NORMAL_HINTS")
    minimum = re.search(r"minimum size: (\d+) by (\d+)", text)
    maximum = re.search(r"maximum size: (\d+) by (\d+)", text)
    as_pair = lambda m: (int(m.group(1)), int(m.group(2))) if m else None
    return as_pair(minimum), as_pair(maximum)


def window_name(display, window):
    text = run(display, "xprop", "-id", window, "WM_NAME")
    match = re.search(r'= "(.*)"', text)
    return match.group(1) if match else None


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def request_close(display, window):
    """Sends WM_DELETE_WINDOW, as a window manager's close button does."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.POINTER(_XEvent)]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = xlib.XOpenDisplay(display.encode())
    if not dpy:
        raise AssertionError("cannot open the test display")
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = xlib.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        xlib.XSendEvent(dpy, int(window), 0, 0, ctypes.byref(event))
        xlib.XFlush(dpy)
    finally:
        xlib.XCloseDisplay(dpy)


def have(tool):
    return shutil.which(tool) is not None
