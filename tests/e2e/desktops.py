# SPDX-License-Identifier: GPL-2.0-or-later
"""The display stacks the intro is checked on, beside the bare Xvfb of rig.py:
openbox (a reparenting window manager) on Xvfb, and Weston (a Wayland
compositor, headless, software-rendered) running the intro through XWayland,
with its desktop shell or its kiosk shell.

Each stack is a context manager yielding a `Desktop`: the X display to start
the intro on, the screen size, and the environment the intro needs there.
"""
import contextlib
import ctypes
import os
import re
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

import rig


@dataclass
class Desktop:
    display: str
    screen: tuple  # (width, height) of the X screen or the compositor's output
    env: dict = field(default_factory=dict)


@contextlib.contextmanager
def bare_xvfb(screen=(rig.SCREEN_W, rig.SCREEN_H)):
    """Xvfb with no window manager: the windows are where their clients put them."""
    with rig.xvfb(*screen) as display:
        yield Desktop(display, screen)


@contextlib.contextmanager
def openbox(screen=(rig.SCREEN_W, rig.SCREEN_H)):
    with rig.xvfb(*screen) as display, tempfile.TemporaryDirectory() as home:
        # A home of its own: no user configuration changes what is tested.
        wm = subprocess.Popen(["openbox"], env=rig.x_env(display, HOME=home),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            _wait_for(lambda: "window id #" in rig.run(display, "xprop", "-root",
                                                       "_NET_SUPPORTING_WM_CHECK", check=False),
                      "openbox did not take the screen")
            yield Desktop(display, screen)
        finally:
            rig.end(wm)


WESTON_SCREEN = (1280, 800)
KIOSK_SCREEN = (1920, 1200)


@contextlib.contextmanager
def weston(shell="desktop-shell.so", screen=WESTON_SCREEN):
    """Weston headless with XWayland, pixman rendering, in a runtime folder of
    its own. XWayland starts on the first X client; its display number is in
    Weston's log."""
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        log = os.path.join(runtime, "weston.log")
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("DISPLAY", None)
        compositor = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--xwayland", "--use-pixman",
             f"--shell={shell}", f"--width={screen[0]}", f"--height={screen[1]}",
             "--socket=quillrun-wayland", f"--log={log}", "--idle-time=0"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            listening = []

            def display_announced():
                if compositor.poll() is not None:
                    raise AssertionError(f"weston ended:\n{_read(log)}")
                listening[:] = re.findall(r"xserver listening on display (:\d+)", _read(log))
                return bool(listening)

            _wait_for(display_announced, "weston started no XWayland")
            # Mesa's software rasteriser: XWayland on pixman offers no
            # accelerated GLX.
            yield Desktop(listening[0], screen, {"LIBGL_ALWAYS_SOFTWARE": "1"})
        finally:
            rig.end(compositor)


def kiosk():
    return weston("kiosk-shell.so", KIOSK_SCREEN)


def _read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def _wait_for(condition, failure):
    deadline = time.monotonic() + rig.PATIENCE
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise AssertionError(failure)


# ------------------------------------------------------------------ Xlib

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


_libs = None


def _libraries():
    global _libs
    if _libs is None:
        x11 = ctypes.CDLL("libX11.so.6")
        xtst = ctypes.CDLL("libXtst.so.6")
        composite = ctypes.CDLL("libXcomposite.so.1")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XFree.argtypes = [ctypes.c_void_p]
        x11.XFreePixmap.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_int, ctypes.c_ulong]
        composite.XCompositeNameWindowPixmap.restype = ctypes.c_ulong
        composite.XCompositeNameWindowPixmap.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        _libs = (x11, xtst, composite)
    return _libs


@contextlib.contextmanager
def _open(display):
    x11 = _libraries()[0]
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise AssertionError(f"cannot open {display}")
    try:
        yield dpy
    finally:
        x11.XCloseDisplay(dpy)


def move_pointer(display, x, y):
    """Moves the pointer with XTEST motion. (xdotool mousemove warps it
    instead, which XWayland cannot do without a pointer of its own: it
    aborts.)"""
    x11, xtst, _ = _libraries()
    with _open(display) as dpy:
        xtst.XTestFakeMotionEvent(dpy, -1, x, y, 0)
        x11.XSync(dpy, 0)


_Z_PIXMAP = 2
_ALL_PLANES = 0xFFFFFFFF


def redirected_window_pixels(display, window):
    """(width, height, 32-bit pixels) of a window that the X server keeps in
    a pixmap of its own, as rootless XWayland keeps every window: whole even
    where the window lies off the X screen, which xwd would cut off. (A kiosk
    shell leaves XWayland's idea of the window's place far from where it
    shows it.)"""
    x11, _, composite = _libraries()
    with _open(display) as dpy:
        pixmap = composite.XCompositeNameWindowPixmap(dpy, int(window, 0))
        try:
            _, _, width, height = rig.geometry(display, window)
            image = x11.XGetImage(dpy, pixmap, 0, 0, width, height, _ALL_PLANES, _Z_PIXMAP)
            if not image:
                raise AssertionError("the window's pixmap cannot be read")
            try:
                ximage = image.contents
                if ximage.bits_per_pixel != 32 or ximage.byte_order != 0:
                    raise AssertionError("unexpected pixmap layout")
                rows = ctypes.string_at(ximage.data, ximage.bytes_per_line * height)
                pixels = b"".join(rows[y * ximage.bytes_per_line:y * ximage.bytes_per_line + 4 * width]
                                  for y in range(height))
            finally:
                x11.XFree(ximage.data)
                x11.XFree(image)
        finally:
            x11.XFreePixmap(dpy, pixmap)
    return width, height, pixels


def tap(display, window, count, interval_ms=100):
    """`count` presses of the primary button in the middle of the window, as
    a touch screen's taps reach an X11 program."""
    x, y, w, h = rig.geometry(display, window)
    move_pointer(display, x + w // 2, y + h // 2)
    rig.xdotool(display, "click", "--repeat", str(count), "--delay", str(interval_ms), "1")
