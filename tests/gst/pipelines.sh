#!/bin/sh
# The README's GStreamer pipelines against the simulated camera: a lossless
# recording and an H.264/MP4 one (where an H.264 encoder is installed) that
# ffprobe reads back whole, the viewing pipeline (into a fakesink: no display
# here) and the Python appsink example. $1: the example, $2: the
# python3 with the GStreamer bindings.
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export GST_REGISTRY="$dir/registry.bin"  # a registry of its own, built with the plugin in it

gst-launch-1.0 -q -e qdxsrc num-buffers=30 ! avenc_ffv1 ! matroskamux ! filesink location="$dir/camera.mkv"
probe=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames,pix_fmt,width,height -of csv=p=0 "$dir/camera.mkv")
[ "$probe" = "400,400,yuv422p12le,30" ] || { echo "recording: $probe"; exit 1; }

if gst-inspect-1.0 --exists x264enc; then
    gst-launch-1.0 -q -e qdxsrc num-buffers=30 ! videoconvert ! x264enc ! mp4mux ! filesink location="$dir/camera.mp4"
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$dir/camera.mp4")
    [ "$probe" = "h264,400,400,30" ] || { echo "H.264 recording: $probe"; exit 1; }
else
    echo "H.264 recording skipped: no x264enc (Debian's gstreamer1.0-plugins-ugly)"
fi

gst-launch-1.0 -q qdxsrc num-buffers=30 ! videoconvert ! fakesink

out=$("$2" "$1" 5)
[ "$(echo "$out" | grep -c '^frame ')" = 5 ] || { echo "python: $out"; exit 1; }
echo ok
