"""qdx-rtsp on the simulated camera, received by gst-launch-1.0 and ffplay as
a user runs them. Frames are counted; the 60 s limits only stop a hang.
QDX_RTSP names the program; the GStreamer registry is one of the test's own."""

import os
import signal
import subprocess
import threading

import pytest

SERVER = os.environ["QDX_RTSP"]
HANG = 60
# Those taken by every client in a test: a whole second of the camera.
FRAMES = 30


@pytest.fixture(scope="module", autouse=True)
def own_registry(tmp_path_factory):
    os.environ["GST_REGISTRY"] = str(tmp_path_factory.mktemp("gst") / "registry.bin")


class Server:
    """qdx-rtsp on a free loopback port; a stop is Ctrl+C, which must end it cleanly."""

    def __init__(self, *args, env=None):
        self.proc = subprocess.Popen([SERVER, "--port", "0", *args], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, env=env)
        self.url = self.proc.stdout.readline().strip()  # printed once it listens
        assert self.url, self.proc.communicate(timeout=HANG)[1]

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.proc.send_signal(signal.SIGINT)
        _, err = self.proc.communicate(timeout=HANG)
        assert (self.proc.returncode, err.splitlines()[-1:]) == (0, ["qdx-rtsp: stopped"]), err


class Client:
    """gst-launch-1.0 receiving the stream into a fakesink that names each
    frame it takes on a line of its own (-v); the lines are counted as they come."""

    def __init__(self, url, *rtspsrc_props):
        self.proc = subprocess.Popen(
            ["gst-launch-1.0", "-v", "rtspsrc", "location=" + url, *rtspsrc_props, "!", "rtpjpegdepay", "!",
             "fakesink", "silent=false"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.frames = 0
        self.ended = False
        self.other = []  # everything but the frames, for the failure's message
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.cond:
                if "last-message = chain" in line:
                    self.frames += 1
                    self.cond.notify_all()
                else:
                    self.other.append(line)
        with self.cond:
            self.ended = True
            self.cond.notify_all()

    def wait_frames(self, count):
        with self.cond:
            self.cond.wait_for(lambda: self.frames >= count or self.ended, HANG)
            assert self.frames >= count, "%d frames; %s" % (self.frames, "".join(l[:200] for l in self.other[-10:]))
            return self.frames

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(HANG)

    def assert_refused(self):
        """Ends on its own with an error, having taken no frame."""
        with self.cond:
            ended = self.cond.wait_for(lambda: self.ended, HANG)
        self.kill()
        assert ended and self.proc.returncode != 0 and self.frames == 0, "%d frames" % self.frames


def test_clients_keep_receiving_when_another_is_killed():
    # Guards against a client that vanishes without a TEARDOWN holding up the
    # shared pipeline, and so the camera, for the clients that stay.
    with Server() as server:
        clients = [Client(server.url), Client(server.url, "protocols=tcp"), Client(server.url, "protocols=tcp")]
        try:
            for client in clients:
                client.wait_frames(FRAMES)
            clients[2].kill()
            before = [client.frames for client in clients[:2]]
            for client, count in zip(clients[:2], before):
                client.wait_frames(count + 3 * FRAMES)
        finally:
            for client in clients:
                client.kill()


def server_send_queue(url):
    """The most bytes the server holds for any one of its TCP connections (/proc/net/tcp)."""
    port = int(url.rsplit(":", 1)[1].split("/")[0])
    most = 0
    with open("/proc/net/tcp") as f:
        for line in list(f)[1:]:
            fields = line.split()
            if int(fields[1].split(":")[1], 16) == port and fields[3] == "01":  # established
                most = max(most, int(fields[4].split(":")[0], 16))
    return most


def test_stalled_client_holds_up_no_one():
    # Guards against a client that stops reading its TCP connection filling the
    # server's send queue and so stopping the stream for every other client.
    with Server() as server:
        stalled, other = Client(server.url, "protocols=tcp"), Client(server.url, "protocols=tcp")
        try:
            stalled.wait_frames(FRAMES)
            stalled.proc.send_signal(signal.SIGSTOP)
            # Until the bytes the server holds for the stalled client stop
            # growing: its connection is full (or dropped), all the kernel takes.
            held = [None]
            while len(held) < 120 and (len(held) < 3 or held[-1] != held[-2]):
                other.wait_frames(other.frames + FRAMES)
                held.append(server_send_queue(server.url))
            assert held[-1] == held[-2], held
            other.wait_frames(other.frames + 3 * FRAMES)
        finally:
            stalled.proc.send_signal(signal.SIGCONT)
            stalled.kill()
            other.kill()


def test_only_users_with_the_right_password_receive(tmp_path):
    # Guards against a client let in without credentials or with a wrong password.
    credentials = tmp_path / "users"
    credentials.write_text("# who may watch\nalice:s3cret:with colon\n\nbob:other\n")
    credentials.chmod(0o600)
    with Server("--credentials", str(credentials)) as server:
        refused = [Client(server.url), Client(server.url, "user-id=alice", "user-pw=wrong")]
        for client in refused:
            client.assert_refused()
            assert "Unauthorized" in "".join(client.other)
        admitted = Client(server.url, "user-id=alice", "user-pw=s3cret:with colon")
        try:
            admitted.wait_frames(FRAMES)
        finally:
            admitted.kill()


def test_rtsps_with_a_self_signed_certificate(tmp_path):
    # Guards against rtsps that does not serve the certificate given (the
    # client checks the name in it) or sends the video outside TLS.
    cert, key = tmp_path / "cert.pem", tmp_path / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=qdx-test", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    key.chmod(0o600)
    # Guards against a certificate without its key taken (GLib accepts it),
    # so that the server would start and fail every client's handshake.
    cert.chmod(0o600)
    run = subprocess.run([SERVER, "--port", "0", "--cert", str(cert)], capture_output=True, text=True, timeout=HANG)
    assert (run.returncode, run.stdout, run.stderr) == (1, "", "qdx-rtsp: %s: no PEM private key\n" % cert)
    # Everything checked but the issuer, which no authority vouches for here.
    trust = "tls-validation-flags=bad-identity+not-activated+expired+revoked+insecure+generic-error"
    with Server("--cert", str(cert), "--key", str(key)) as server:
        assert server.url.startswith("rtsps://127.0.0.1:")
        client = Client(server.url, trust)
        try:
            client.wait_frames(FRAMES)
        finally:
            client.kill()
        for refused in (Client(server.url.replace("rtsps:", "rtsp:", 1)), Client(server.url, trust, "protocols=udp")):
            refused.assert_refused()


def make_file(path, mode, text="alice:s3cret\n"):
    path.write_text(text)
    path.chmod(mode)
    return path


@pytest.mark.parametrize("args, setup, status, message", [
    (["--bind", "0.0.0.0"], None, 2, "refusing to serve beyond loopback without --credentials"),
    (["--bind", "::"], None, 2, "refusing to serve beyond loopback without --credentials"),
    (["--bind", "0.0.0.0", "--credentials", "{f}"], lambda p: make_file(p, 0o640), 1, "run: chmod 600 {f}"),
    (["--credentials", "{f}"], lambda p: make_file(p, 0o604), 1, "run: chmod 600 {f}"),
    (["--credentials", "{f}"], os.mkfifo, 1, "{f}: not a regular file"),
    (["--credentials", "{f}"], lambda p: make_file(p, 0o600, "alice\n"), 1, "{f}:1: expected user:password"),
    (["--cert", "{f}"], lambda p: make_file(p, 0o644), 1, "run: chmod 600 {f}"),
    (["--password", "x"], None, 2, "--password: unknown option"),
    (["--port", "65536"], None, 2, "--port 65536: not a port number"),
    (["--encoder", "vp9"], None, 2, "--encoder vp9: not mjpeg or h264"),
    (["--encoder", "h264"], "no plugins", 1, "needs the GStreamer element x264enc (Debian package gstreamer1.0-plugins-ugly)"),
])
def test_refused(tmp_path, args, setup, status, message):
    # Guards against a server that opens to a network without credentials,
    # reads a secret others can read, or starts on options it cannot honour.
    path = tmp_path / "file"
    env = dict(os.environ)
    if setup == "no plugins":
        env.update(GST_PLUGIN_SYSTEM_PATH_1_0=str(tmp_path), GST_REGISTRY=str(tmp_path / "registry.bin"))
    elif setup:
        setup(path)
    run = subprocess.run([SERVER, *(a.format(f=path) for a in args)], capture_output=True, text=True,
                         env=env, timeout=HANG)
    assert (run.returncode, run.stdout) == (status, "")
    assert message.format(f=path) in run.stderr


@pytest.mark.parametrize("encoder", ["mjpeg", "h264"])
def test_readme_receivers(encoder):
    # Guards against the README's receiving commands not working as written
    # (the display replaced: a fakesink, SDL's dummy driver; each ends after 30 frames).
    with Server("--encoder", encoder) as server:
        gst = subprocess.run(["gst-launch-1.0", "-q", "rtspsrc", "location=" + server.url, "!", "decodebin", "!",
                              "videoconvert", "!", "fakesink", "num-buffers=%d" % FRAMES],
                             capture_output=True, text=True, timeout=HANG)
        assert gst.returncode == 0, gst.stdout + gst.stderr
        ffplay = subprocess.run(["ffplay", "-loglevel", "error", "-nostats", "-autoexit",
                                 "-vf", "trim=end_frame=%d" % FRAMES, server.url],
                                capture_output=True, text=True, timeout=HANG,
                                env=dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy"))
        assert ffplay.returncode == 0, ffplay.stderr
