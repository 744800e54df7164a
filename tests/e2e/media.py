"""Reading clips back with the ffprobe and ffmpeg command-line tools."""
import json
import math
import struct
import subprocess


def probe(path):
    """Streams and format of a media file, as ffprobe's JSON."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", str(path)],
        check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout
    return json.loads(out)


def video_stream(info):
    return next(s for s in info["streams"] if s["codec_type"] == "video")


def audio_streams(info):
    return [s for s in info["streams"] if s["codec_type"] == "audio"]


def describe(path):
    """One line: container, then each stream's codec and shape."""
    info = probe(path)
    parts = [info["format"]["format_name"], "%.2f s" % float(info["format"].get("duration", 0))]
    for s in info["streams"]:
        if s["codec_type"] == "video":
            parts.append("video %s %dx%d %s fps" % (s["codec_name"], s["width"], s["height"],
                                                    s.get("avg_frame_rate", "?")))
        elif s["codec_type"] == "audio":
            parts.append("audio %s %s Hz %s ch" % (s["codec_name"], s.get("sample_rate", "?"),
                                                  s.get("channels", "?")))
    return ", ".join(parts)


def video_frame_times(path):
    """Presentation times (s) of the decoded video frames, in decode-output order."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=pts_time",
         "-of", "csv=p=0", str(path)],
        check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout.decode()
    # Some ffprobe versions end each csv row with a separator for empty side data.
    values = (x.split(",")[0] for x in out.split())
    return [float(x) for x in values if x and x != "N/A"]


def keyframe_times(path):
    """Time stamps (s) of the video keyframes, in file order."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time,flags",
         "-of", "json", str(path)],
        check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout
    return [float(p["pts_time"]) for p in json.loads(out).get("packets", [])
            if "K" in p.get("flags", "") and p.get("pts_time") not in (None, "N/A")]


def gray_frames(path, width, height, limit=None, crop=None):
    """Yields each decoded picture as 8-bit luma bytes of width x height (scaled by ffmpeg).
    crop: (x, y, w, h) in the clip's pixels, taken before scaling."""
    filters = "scale=%d:%d:flags=area" % (width, height)
    if crop:
        filters = "crop=%d:%d:%d:%d," % (crop[2], crop[3], crop[0], crop[1]) + filters
    # Passing every picture through keeps time stamps that can share a tick of the raw
    # muxer's time base; ffmpeg complains about that, harmlessly, so only fatal errors show.
    cmd = ["ffmpeg", "-v", "fatal", "-nostdin", "-i", str(path), "-map", "0:v:0",
           "-fps_mode", "passthrough", "-vf", filters,
           "-pix_fmt", "gray", "-f", "rawvideo", "-"]
    if limit:
        cmd[5:5] = ["-frames:v", str(limit)]
    size = width * height
    with subprocess.Popen(cmd, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL) as proc:
        try:
            while True:
                buf = proc.stdout.read(size)
                if len(buf) < size:
                    break
                yield buf
        finally:
            proc.stdout.close()
            proc.kill()


def audio_samples(path, stream_index=0, rate=48000, on_timeline=False):
    """Mono float samples of one audio stream. With on_timeline the samples follow the packets'
    time stamps from the file's time 0: a gap between packets becomes silence."""
    filters = ["-af", "aresample=async=1:min_hard_comp=0.001:first_pts=0"] if on_timeline else []
    out = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:a:%d" % stream_index,
         *filters, "-ac", "1", "-ar", str(rate), "-f", "f32le", "-"],
        check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout
    return struct.unpack("<%df" % (len(out) // 4), out)


def rms(samples):
    return math.sqrt(sum(x * x for x in samples) / len(samples)) if samples else 0.0


def dominant_frequency(samples, rate, low=100, high=2000, step=10):
    """Frequency with the largest Goertzel power in [low, high], on a 1/step Hz grid of step Hz."""
    n = min(len(samples), rate // 2)
    window = samples[:n]
    best, best_power = 0, -1.0
    for f in range(low, high + 1, step):
        k = 2 * math.cos(2 * math.pi * f / rate)
        s1 = s2 = 0.0
        for x in window:
            s1, s2 = x + k * s1 - s2, s1
        power = s1 * s1 + s2 * s2 - k * s1 * s2
        if power > best_power:
            best, best_power = f, power
    return best
