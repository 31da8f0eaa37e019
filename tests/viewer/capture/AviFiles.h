// Reading back the AVI files the viewer writes, independently of the writer:
// the RIFF structure walked from the format's layout, and what ffprobe and
// GStreamer make of a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qdx::viewer::test {

inline std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Little-endian fields; 0 past the end, so that a short file fails the checks.
inline uint64_t le(const std::vector<uint8_t>& b, std::size_t at, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
    return v;
}
inline uint32_t u32(const std::vector<uint8_t>& b, std::size_t at)
{
    return static_cast<uint32_t>(le(b, at, 4));
}
inline std::string fourcc(const std::vector<uint8_t>& b, std::size_t at)
{
    return at + 4 <= b.size() ? std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4)
                              : std::string();
}

// The "00db" chunks of every RIFF segment's movi list, in order: each
// chunk's padded data. Walks the lists by their sizes; no index is used.
inline std::vector<std::vector<uint8_t>> movieChunks(const std::vector<uint8_t>& b)
{
    std::vector<std::vector<uint8_t>> chunks;
    std::size_t riff = 0;
    while (fourcc(b, riff) == "RIFF") {
        const std::size_t riffEnd = riff + 8 + u32(b, riff + 4);
        std::size_t at = riff + 12;
        while (at + 8 <= riffEnd && at + 8 <= b.size()) {
            const std::size_t size = u32(b, at + 4);
            if (fourcc(b, at) == "LIST" && fourcc(b, at + 8) == "movi") {
                const std::size_t end = at + 8 + size;
                for (std::size_t c = at + 12; c + 8 <= end && c + 8 <= b.size();) {
                    const std::size_t n = u32(b, c + 4);
                    if (fourcc(b, c) == "00db" && c + 8 + n <= b.size())
                        chunks.emplace_back(b.begin() + static_cast<long>(c + 8),
                                            b.begin() + static_cast<long>(c + 8 + n));
                    c += 8 + n + (n & 1);
                }
            }
            at += 8 + size + (size & 1);
        }
        riff = riffEnd + (riffEnd & 1);
    }
    return chunks;
}

inline std::string commandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// ffprobe's view of the video stream, decoding every frame: width, height,
// r_frame_rate, duration (from the header), nb_read_frames. useOdml false:
// only the idx1 index is read.
inline std::map<std::string, std::string> ffprobe(const std::string& path, bool useOdml = true)
{
    const std::string out = commandOutput(
        "ffprobe -v error -use_odml " + std::string(useOdml ? "1" : "0") +
        " -count_frames -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate,duration,nb_read_frames"
        " -of default=noprint_wrappers=1 '" + path + "' 2>&1");
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        if (const std::size_t eq = line.find('='); eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        else if (!line.empty())
            fields["error"] += line;
        start = end + 1;
    }
    return fields;
}

// GStreamer's discoverer output (empty when it fails to read the file).
inline std::string gstDiscover(const std::string& path)
{
    const std::string out = commandOutput("gst-discoverer-1.0 -v '" + path + "' 2>&1; echo \"exit=$?\"");
    return out.find("exit=0") != std::string::npos ? out : std::string();
}

// The frames GStreamer's demuxer (the AVI one, or another such as
// matroskademux) hands on over the whole file; -1 when the pipeline fails.
inline int gstFrameCount(const std::string& path, const std::string& demuxer = "avidemux")
{
    const std::string out = commandOutput("gst-launch-1.0 -v filesrc location='" + path + "' ! " + demuxer +
                                          " ! fakesink silent=false 2>&1; echo \"exit=$?\"");
    if (out.find("exit=0") == std::string::npos)
        return -1;
    int frames = 0;
    for (std::size_t at = out.find("last-message = chain"); at != std::string::npos;
         at = out.find("last-message = chain", at + 1))
        ++frames;
    return frames;
}

// Per frame of the file as ffmpeg decodes it: whether it is grey (R = G = B
// throughout, within the JPEG's rounding).
inline std::vector<bool> greyFrames(const std::string& path, int side)
{
    const std::string raw = commandOutput("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    const auto* px = reinterpret_cast<const uint8_t*>(raw.data());
    const std::size_t frameBytes = static_cast<std::size_t>(side) * side * 3;
    std::vector<bool> grey;
    for (std::size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        int spread = 0;
        for (std::size_t p = at; p < at + frameBytes; p += 3)
            spread = std::max({spread, std::abs(px[p] - px[p + 1]), std::abs(px[p + 1] - px[p + 2])});
        grey.push_back(spread <= 2);
    }
    return grey;
}

}  // namespace qdx::viewer::test
