"""A sound server of a test's own, which the test can kill and start again: PulseAudio, or PipeWire
with its PulseAudio server when VD_SOUND_SERVER=pipewire (as scripts/virtual-desktop chooses).
It carries the virtual desktop's devices: speakers "halvex_out" and a microphone "halvex_mic_in"
that hears whatever plays into "halvex_mic"."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

SINK, MIC_SINK, MIC_SOURCE = "halvex_out", "halvex_mic", "halvex_mic_in"


def write_tone(path, hz, seconds, rate=48000):
    """A 16-bit stereo WAV file of a sine at a quarter of full scale."""
    import array
    import math
    import wave
    samples = array.array("h")
    for i in range(int(seconds * rate)):
        v = int(8192 * math.sin(2 * math.pi * hz * i / rate))
        samples.extend((v, v))
    with wave.open(path, "wb") as f:
        f.setnchannels(2)
        f.setsampwidth(2)
        f.setframerate(rate)
        f.writeframes(samples.tobytes())
    return path


def _wait(check, timeout, interval=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if check():
            return True
        time.sleep(interval)
    return check()


class SoundServer:
    def __init__(self, kind=None):
        self.kind = kind or os.environ.get("VD_SOUND_SERVER", "pulseaudio")
        self.dir = tempfile.mkdtemp(prefix="halvex-sound-")
        self.runtime = os.path.join(self.dir, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.socket = os.path.join(self.runtime, "pulse", "native")
        self.address = "unix:" + self.socket
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, PULSE_SERVER=self.address,
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_STATE_HOME=os.path.join(self.dir, "state"),
                        DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(self.dir, "bus"))
        self.bus = None
        self.procs = []   # the server's processes, in start order

    def _spawn(self, args, name):
        log = open(os.path.join(self.dir, name + ".log"), "ab")
        proc = subprocess.Popen(args, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL)
        log.close()
        return proc

    def pactl(self, *args, check=True):
        return subprocess.run(["pactl", *args], env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, check=check,
                              timeout=30, text=True).stdout

    def answers(self):
        return subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                              timeout=30).returncode == 0

    def log(self):
        text = ""
        for name in sorted(os.listdir(self.dir)):
            if name.endswith(".log"):
                with open(os.path.join(self.dir, name), errors="replace") as f:
                    text += "--- %s\n%s" % (name, f.read()[-3000:])
        return text

    def start(self):
        if self.kind == "pipewire":
            self._start_pipewire()
        else:
            self._start_pulseaudio()
        if not _wait(self.answers, 15):
            raise RuntimeError("el servidor de sonido no responde\n" + self.log())
        # The defaults are kept by PipeWire's session manager, which may still be starting.
        def defaults_set():
            self.pactl("set-default-sink", SINK, check=False)
            self.pactl("set-default-source", MIC_SOURCE, check=False)
            return (self.pactl("get-default-sink", check=False).strip() == SINK and
                    self.pactl("get-default-source", check=False).strip() == MIC_SOURCE)
        ok = _wait(defaults_set, 15, 0.2)
        if not ok:
            raise RuntimeError("el servidor de sonido no acepto los dispositivos\n" + self.log())
        return self

    def _start_pulseaudio(self):
        self.procs = [self._spawn([
            "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
            "--load=module-native-protocol-unix auth-anonymous=1 socket=" + self.socket,
            "--load=module-null-sink sink_name=%s rate=48000" % SINK,
            "--load=module-null-sink sink_name=%s rate=48000" % MIC_SINK,
            "--load=module-remap-source master=%s.monitor source_name=%s" % (MIC_SINK, MIC_SOURCE),
        ], "pulseaudio")]

    def _start_pipewire(self):
        if self.bus is None:
            self.bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                    "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]], "dbus")
            _wait(lambda: os.path.exists(os.path.join(self.dir, "bus")), 5)
        self.procs = [self._spawn(["pipewire"], "pipewire")]
        _wait(lambda: os.path.exists(os.path.join(self.runtime, "pipewire-0")), 5)
        self.procs.append(self._spawn(["wireplumber"], "wireplumber"))
        self.procs.append(self._spawn(["pipewire-pulse"], "pipewire-pulse"))
        if not _wait(self.answers, 15):
            raise RuntimeError("PipeWire no responde\n" + self.log())
        self.pactl("load-module", "module-null-sink", "sink_name=" + SINK, "rate=48000")
        self.pactl("load-module", "module-null-sink", "sink_name=" + MIC_SINK, "rate=48000")
        self.pactl("load-module", "module-remap-source", "master=%s.monitor" % MIC_SINK,
                   "source_name=" + MIC_SOURCE)

    def kill(self):
        """Ends the server the hard way, as a crash would."""
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGKILL)
            proc.wait()
        self.procs = []
        _wait(lambda: not self.answers(), 10)

    def stop(self):
        self.kill()
        if self.bus is not None:
            self.bus.terminate()
            try:
                self.bus.wait(10)
            except subprocess.TimeoutExpired:
                self.bus.kill()
                self.bus.wait()
            self.bus = None
        shutil.rmtree(self.dir, ignore_errors=True)

    def play(self, path, sink=SINK):
        """paplay of a sound file on this server."""
        return subprocess.Popen(["paplay", "-d", sink, path], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
