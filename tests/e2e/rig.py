# SPDX-License-Identifier: GPL-2.0-or-later
"""Test rig: runs the real intro under a private Xvfb and looks at it from outside.

Everything here talks to a real X server: Xvfb started on a free display number
(-displayfd), xdotool for keys, xwininfo and xprop for what the window manager
would see, xwd for its pixels, and a WM_DELETE_WINDOW client message sent
through Xlib. Sound goes to a real jackd started under a private server name (or to a
private PipeWire session, pipewire.py); jack_lsp shows the connections and
jack_rec records what the intro plays.
"""
import array
import contextlib
import ctypes
import ctypes.util
import hashlib
import os
import re
import shlex
import shutil
import signal
import struct
import subprocess
import time

INTRO = os.environ.get("INTRO", os.path.join(os.getcwd(), "bin", "intro"))
# What runs INTRO when it is not built for this machine, as a command prefix:
# "qemu-aarch64 -L /" for the Arm build.
INTRO_RUNNER = shlex.split(os.environ.get("INTRO_RUNNER", ""))
# How long a poll waits for what should follow at once on an idle machine. A
# loaded CI runner (ctest -j2 on two cores, software OpenGL) can be far slower;
# a poll that succeeds returns as soon as it sees the result.
PATIENCE = 60.0
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
        end(server)


def end(proc, sig=signal.SIGTERM, timeout=15):
    """Signals a process to end and waits for it; kills it if it lingers."""
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def x_env(display, **extra):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    env.update(extra)
    return env


class Intro:
    """The real program, with its output captured."""

    def __init__(self, display, env=None, program=None, runner=None):
        self.display = display
        command = [*(INTRO_RUNNER if runner is None else runner), program or INTRO]
        self.proc = subprocess.Popen(command, env=env or x_env(display),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.window = None

    def wait_window(self, timeout=PATIENCE):
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

    def finish(self, timeout=PATIENCE):
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


def wait_geometry(display, window, wanted, timeout=PATIENCE):
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


# ------------------------------------------------------------------ JACK

JACK_RATE = 48000
JACK_PERIOD = 1024
# The server waits this long for every client to finish a cycle before it
# counts an xrun and moves on without it.
JACK_CLIENT_TIMEOUT_MS = 2000
JACK_CLIENT = "miniaudio"  # the audio library's default client name
INTRO_PORTS = (f"{JACK_CLIENT}:playback0", f"{JACK_CLIENT}:playback1")
_jack_servers = 0


def jack_server_name():
    """A server name nobody else uses: each test talks only to its own jackd."""
    global _jack_servers
    _jack_servers += 1
    return f"quillrun-{os.getpid()}-{_jack_servers}"


class JackGraph:
    """What a JACK client sees of a server: its ports and their connections,
    and recordings of ports. The JACK tools run under `tools` (a command
    prefix) with `env()`; the server's physical playback ports are
    `sink_ports`."""

    tools = []
    sink_ports = ()

    def env(self, base=None):
        raise NotImplementedError

    def jack_tool(self, *args, timeout=30):
        return subprocess.run([*self.tools, *args], env=self.env(), capture_output=True,
                              text=True, timeout=timeout)

    def connections(self):
        """{port: [connected ports]} as jack_lsp -c shows them."""
        text = self.jack_tool("jack_lsp", "-c").stdout
        ports, current = {}, None
        for line in text.splitlines():
            if line.startswith((" ", "\t")):
                if current is not None:
                    ports[current].append(line.strip())
            else:
                current = line.strip()
                ports[current] = []
        return ports

    def wait_playing(self, timeout=PATIENCE):
        """Waits until the intro's client is active: its ports are connected."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ports = self.connections()
            if all(ports.get(port) for port in INTRO_PORTS):
                return
            time.sleep(0.1)
        raise AssertionError(f"the intro's ports never got connected: {self.connections()}")

    def record(self, path, seconds, ports=INTRO_PORTS):
        """Records the ports with jack_rec as 32-bit WAV; fails on overruns."""
        result = self.jack_tool("jack_rec", "-f", path, "-d", str(seconds), "-b", "32", *ports,
                                timeout=seconds + 30)
        if result.returncode != 0 or "overrun" in result.stderr.lower():
            raise RecordingOverrun(f"jack_rec failed: {result.stderr.strip()}")


class RecordingOverrun(AssertionError):
    """jack_rec could not keep up: what it wrote is not a measurement."""


class JackServer(JackGraph):
    """A private jackd: dummy driver, 48000 Hz (or `rate`), 1024-frame periods.

    Synchronous: each cycle waits for every client, so a client that the
    scheduler holds back on a loaded machine delays the cycle instead of
    losing it (an asynchronous server drops that client's period, and the
    recording skips ahead).

    Clients find it through JACK_DEFAULT_SERVER (see env()). The server's own
    output goes to a log, shown by log() when a test needs to explain itself.
    """

    sink_ports = ("system:playback_1", "system:playback_2")

    def __init__(self, workdir, name=None, rate=JACK_RATE):
        self.name = name or jack_server_name()
        self.log_path = os.path.join(workdir, f"{self.name}.log")
        self._workdir = workdir
        self._shm_before = _jack_shm_entries()
        with open(self.log_path, "ab") as log:
            self.proc = subprocess.Popen(
                ["jackd", "--no-realtime", "--sync", "-t", str(JACK_CLIENT_TIMEOUT_MS),
                 "-n", self.name, "-d", "dummy",
                 "-r", str(rate), "-p", str(JACK_PERIOD)],
                stdout=log, stderr=subprocess.STDOUT)
        waited = self.jack_tool("jack_wait", "-w", "-t", str(int(PATIENCE)), timeout=PATIENCE + 30)
        if waited.returncode != 0 or self.proc.poll() is not None:
            self.stop()
            raise AssertionError(f"jackd did not come up:\n{self.log()}")

    def env(self, base=None):
        env = dict(base if base is not None else os.environ)
        env["JACK_DEFAULT_SERVER"] = self.name
        return env

    def log(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def xruns(self):
        """The server's complaints about clients that missed a cycle."""
        return [line for line in self.log().splitlines() if "was not finished" in line]

    def stop(self, sig=signal.SIGTERM):
        end(self.proc, sig)
        if self.proc.returncode == -signal.SIGKILL:
            # A killed server stays in libjack's server registry (which holds
            # eight) until a server of the same name starts and ends cleanly.
            JackServer(self._workdir, self.name).stop()
        # ...and leaves its shared memory behind: the files that appeared
        # while it ran are its own.
        for entry in _jack_shm_entries() - self._shm_before:
            if entry != "jack-shm-registry":
                shutil.rmtree(os.path.join(SHM_DIR, entry), ignore_errors=True)
                with contextlib.suppress(OSError):
                    os.remove(os.path.join(SHM_DIR, entry))

    def kill_server(self, sig=signal.SIGKILL):
        self.stop(sig)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


SHM_DIR = "/dev/shm"


def _jack_shm_entries():
    try:
        return {e for e in os.listdir(SHM_DIR) if e.startswith("jack")}
    except OSError:
        return set()


# ------------------------------------------------------------------ WAV

_WAVE_PCM, _WAVE_FLOAT, _WAVE_EXTENSIBLE = 1, 3, 0xFFFE


def read_wav(path):
    """(rate, channels, interleaved samples as floats, quantisation step).

    Reads integer PCM of 16, 24 or 32 bits and 32-bit float, plain or
    WAVE_FORMAT_EXTENSIBLE. Integer samples are scaled by 2^-(bits-1).
    """
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise AssertionError(f"{path} is not a WAV file")
    fmt = body = None
    pos = 12
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        if chunk == b"fmt ":
            fmt = data[pos + 8:pos + 8 + size]
        elif chunk == b"data":
            body = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    if fmt is None or body is None:
        raise AssertionError(f"{path} has no fmt or data chunk")
    tag, channels, rate = struct.unpack_from("<HHI", fmt, 0)
    bits = struct.unpack_from("<H", fmt, 14)[0]
    if tag == _WAVE_EXTENSIBLE:
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if tag == _WAVE_FLOAT and bits == 32:
        samples = array.array("f")
        samples.frombytes(body[:len(body) // 4 * 4])
        return rate, channels, list(samples), 0.0
    if tag != _WAVE_PCM or bits not in (16, 24, 32):
        raise AssertionError(f"{path}: unsupported WAV format {tag}/{bits} bits")
    if bits == 24:
        ints = [int.from_bytes(body[i:i + 3], "little", signed=True)
                for i in range(0, len(body) - 2, 3)]
    else:
        typed = array.array("h" if bits == 16 else "i")
        typed.frombytes(body[:len(body) // typed.itemsize * typed.itemsize])
        ints = typed
    scale = 1.0 / (1 << (bits - 1))
    return rate, channels, [v * scale for v in ints], scale


# ------------------------------------------------------------------ screen

def window_digest(display, window, timeout=PATIENCE):
    """A digest of the window's pixels as xwd dumps them: equal digests, same
    picture. Waits for the window to become viewable (xwd refuses it before)."""
    deadline = time.monotonic() + timeout
    while True:
        result = subprocess.run(["xwd", "-silent", "-id", window], env=x_env(display),
                                capture_output=True, timeout=30)
        if result.returncode == 0:
            return hashlib.sha256(result.stdout).hexdigest()
        if time.monotonic() > deadline:
            raise AssertionError(f"xwd failed: {result.stderr.decode(errors='replace').strip()}")
        time.sleep(0.2)


def wait_frames(display, window, count=2, timeout=PATIENCE):
    """Waits until the window's picture has changed `count` times.

    The intro polls its events between two frames, so once two new frames
    have been shown, every key sent before this call has been handled and
    whatever it changed is visible: a check made then does not depend on how
    fast a loaded machine runs the intro.
    """
    deadline = time.monotonic() + timeout
    seen = window_digest(display, window)
    changes = 0
    while changes < count:
        if time.monotonic() > deadline:
            raise AssertionError(f"the picture changed {changes} times in {timeout} s, "
                                 f"not {count}: the intro stopped drawing")
        time.sleep(0.05)
        now = window_digest(display, window)
        if now != seen:
            changes, seen = changes + 1, now
