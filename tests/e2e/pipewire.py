# SPDX-License-Identifier: GPL-2.0-or-later
"""A private PipeWire session, as a tablet's desktop runs one: its own runtime
and configuration folders and D-Bus session bus, pipewire and wireplumber, and
a null audio sink as the only (so the default) output.

JACK clients reach it through pipewire-jack's libjack: the test tools run
under `pw-jack`, which puts that library on their path. The intro is started
without it: it must find the PipeWire server by itself.
"""
import os
import signal
import subprocess
import time

import rig

SINK = "quillrun-sink"
SINK_PORTS = (f"{SINK}:playback_FL", f"{SINK}:playback_FR")
PW_JACK = ["pw-jack"]

# pipewire.conf.d drop-in: the graph's rate and the null sink, made when the
# server starts. The sink's ports count as physical ones, so a JACK client
# that connects to the default playback ports reaches it.
_CONFIG = """context.properties = {{
    default.clock.rate = {rate}
    default.clock.allowed-rates = [ {rate} ]
}}
context.objects = [
    {{ factory = adapter
       args = {{
           factory.name = support.null-audio-sink
           node.name = "{sink}"
           media.class = Audio/Sink
           audio.position = [ FL FR ]
           object.linger = true
       }}
    }}
]
"""


class PipeWireSession(rig.JackGraph):
    """pipewire and wireplumber on a private bus, the graph at `rate` Hz."""

    def __init__(self, workdir, rate=rig.JACK_RATE):
        self.rate = rate
        self.tools = PW_JACK
        self.sink_ports = SINK_PORTS
        self.runtime = os.path.join(workdir, "runtime")
        config = os.path.join(workdir, "config")
        os.makedirs(self.runtime, mode=0o700)
        os.makedirs(os.path.join(config, "pipewire", "pipewire.conf.d"))
        with open(os.path.join(config, "pipewire", "pipewire.conf.d", "quillrun.conf"), "w") as f:
            f.write(_CONFIG.format(rate=rate, sink=SINK))
        self.log_path = os.path.join(workdir, "pipewire.log")
        self._env = {"XDG_RUNTIME_DIR": self.runtime, "XDG_CONFIG_HOME": config}
        self._procs = []
        try:
            bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE)
            self._env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
            self.server = self._start(["pipewire"])
            self._start(["wireplumber"])
            self._wait_for_sink()
        except BaseException:
            self.stop()
            raise

    def _start(self, command, stdout=None):
        with open(self.log_path, "ab") as log:
            proc = subprocess.Popen(command, env=self.env(), stdout=stdout or log,
                                    stderr=log)
        self._procs.append(proc)
        return proc

    def _wait_for_sink(self):
        deadline = time.monotonic() + rig.PATIENCE
        while time.monotonic() < deadline:
            if all(port in self.connections() for port in SINK_PORTS):
                return
            if self.server.poll() is not None:
                break
            time.sleep(0.1)
        raise AssertionError(f"PipeWire did not come up with its sink:\n{self.log()}")

    def env(self, base=None):
        env = dict(base if base is not None else os.environ)
        for name in ("JACK_DEFAULT_SERVER", "PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR",
                     "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(name, None)
        env.update(self._env)
        return env

    def log(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def xruns(self):
        return []  # jack_rec's own overrun report is the measure here

    def stop(self, sig=signal.SIGTERM):
        """Ends the server first (as a crash would, with SIGKILL), then the
        session manager and the bus."""
        for proc in self._procs[1:] + self._procs[:1]:
            rig.end(proc, sig)
            if proc.stdout:
                proc.stdout.close()

    def kill_server(self, sig=signal.SIGKILL):
        """PipeWire ends (or dies); wireplumber and the bus stay."""
        rig.end(self.server, sig)
