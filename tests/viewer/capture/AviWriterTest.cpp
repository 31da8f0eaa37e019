// The AVI writer against the file layout, read back by an independent walk of
// the bytes, by ffprobe (through each index on its own) and by GStreamer; and
// the repair of cut files, which rebuilds them through the writer.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "TempDir.h"
#include "capture/AviRepair.h"
#include "capture/AviWriter.h"
#include "capture/JpegEncoder.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::viewer::test {
namespace {

constexpr int kSide = 64;

// Real JPEGs, different from each other; frame i is lengthened by a few bytes
// after its end marker so that the lengths run through every remainder mod 4.
std::vector<std::vector<uint8_t>> makeFrames(int count)
{
    JpegEncoder encoder(kSide);
    std::vector<uint8_t> picture(kSide * kSide * 3);
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        for (std::size_t p = 0; p < picture.size(); ++p)
            picture[p] = static_cast<uint8_t>(p * (i + 1) + (p / 192) * 7);
        const uint32_t length = encoder.encodeJpegToStream(picture.data());
        EXPECT_GT(length, 0u);
        std::vector<uint8_t> jpeg(encoder.jpeg().begin(), encoder.jpeg().end());
        while (jpeg.size() % 4 != static_cast<std::size_t>(i % 4))
            jpeg.push_back(0);
        frames.push_back(std::move(jpeg));
    }
    return frames;
}

uint32_t padded(std::size_t length)
{
    return static_cast<uint32_t>((length + 3) & ~std::size_t{3});
}

// The chunk as the format stores it: the data, then 0xFF up to 4 bytes.
std::vector<uint8_t> chunkOf(const std::vector<uint8_t>& frame)
{
    std::vector<uint8_t> chunk = frame;
    chunk.resize(padded(frame.size()), 0xFF);
    return chunk;
}

// The first `size` bytes of b as the file path.
void writeFile(const std::string& path, const std::vector<uint8_t>& b, std::size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(size));
}

// A file of kSide x kSide frames at 30 frames a second, its header written.
void openAt30(AviWriter& writer, const std::string& path, int segments)
{
    ASSERT_EQ(writer.open(path, segments), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameSize(kSide, kSide), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameRate(3000, 100), AviWriter::kOk);
}

void writeAll(AviWriter& writer, const std::vector<std::vector<uint8_t>>& frames)
{
    for (const auto& f : frames)
        ASSERT_EQ(writer.writeFrame(f.data(), static_cast<uint32_t>(f.size())), AviWriter::kOk);
}

class AviWriterTest : public ::testing::Test {
protected:
    qdx::test::TempDir dir;
    std::string path = dir.file("f.avi");
};

// Every field of a three-frame file at the offset the layout gives it.
TEST_F(AviWriterTest, ThreeFramesHaveTheExactLayout)
{
    const auto frames = makeFrames(3);
    AviWriter writer;
    ASSERT_EQ(writer.open(path), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameSize(kSide, kSide), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameRate(120, 1), AviWriter::kOk);
    writeAll(writer, frames);
    ASSERT_EQ(writer.setFrameRate(3000, 100), AviWriter::kOk);
    ASSERT_EQ(writer.close(), AviWriter::kOk);

    const auto b = readBytes(path);
    const uint32_t p0 = padded(frames[0].size()), p1 = padded(frames[1].size()), p2 = padded(frames[2].size());
    const uint32_t ix = 1324 + (8 + p0) + (8 + p1) + (8 + p2);
    const uint32_t idx1 = ix + 32 + 3 * 8;
    const uint32_t maxChunk = std::max({p0, p1, p2});
    ASSERT_EQ(b.size(), idx1 + 8 + 3 * 16);

    const std::vector<std::pair<uint32_t, std::string>> tags = {
        {0, "RIFF"}, {8, "AVI "}, {12, "LIST"}, {20, "hdrl"}, {24, "avih"}, {88, "LIST"}, {96, "strl"},
        {100, "strh"}, {108, "vids"}, {112, "MJPG"}, {164, "strf"}, {188, "MJPG"}, {212, "indx"},
        {228, "00db"}, {260, "LIST"}, {268, "odml"}, {272, "dmlh"}, {284, "JUNK"}, {292, "Made"},
        {1312, "LIST"}, {1320, "movi"}, {1324, "00db"}, {ix, "ix00"}, {ix + 16, "00db"}, {idx1, "idx1"},
        {idx1 + 8, "00db"}, {idx1 + 24, "00db"}, {idx1 + 40, "00db"}};
    for (const auto& [at, tag] : tags)
        EXPECT_EQ(fourcc(b, at), tag) << "at " << at;
    EXPECT_EQ(std::string(b.begin() + 292, b.begin() + 312), std::string("Made by RWK AVI 2.0\0", 20));

    const std::vector<std::pair<uint32_t, uint64_t>> u32s = {
        {4, b.size() - 8}, {16, 264}, {28, 56},
        // avih: µs per frame, bytes a second, granularity, flags, total, initial, streams, buffer, size
        {32, 33333}, {36, maxChunk * 30}, {40, 4}, {44, 0x810}, {48, 3}, {52, 0}, {56, 1}, {60, maxChunk},
        {64, kSide}, {68, kSide}, {72, 0}, {84, 0},
        {92, 164}, {104, 56},
        // strh: flags, priority+language, initial, scale, rate, start, length, buffer, quality, sample, rcFrame
        {116, 0}, {120, 0}, {124, 0}, {128, 100}, {132, 3000}, {136, 0}, {140, 3}, {144, maxChunk}, {148, 0},
        {152, 0}, {156, 0}, {160, kSide | kSide << 16},
        // strf: size, width, height, planes+bits, image size, the rest
        {168, 40}, {172, 40}, {176, kSide}, {180, kSide}, {184, 1 | 24 << 16}, {192, (3 * kSide + 3) / 4 * 4 * kSide},
        {196, 0}, {208, 0},
        // super index: size, longs+types, entries in use, reserved, entry 0
        {216, 40}, {220, 4}, {224, 1}, {232, 0}, {240, 0}, {244, ix}, {248, 0}, {252, 56}, {256, 3},
        {264, 16}, {276, 4}, {280, 3}, {288, 1020}, {1316, ix + 32 + 24 - 1320},
        // frame chunks
        {1328, p0}, {1324 + 8 + p0 + 4, p1}, {1324 + 16 + p0 + p1 + 4, p2},
        // ix00: size, longs+subtype+type, entries, base (64 bits), reserved, entries
        {ix + 4, 48}, {ix + 8, 2 | 1 << 24}, {ix + 12, 3}, {ix + 20, 1324}, {ix + 24, 0}, {ix + 28, 0},
        {ix + 32, 8}, {ix + 36, p0}, {ix + 40, 16 + p0}, {ix + 44, p1}, {ix + 48, 24 + p0 + p1}, {ix + 52, p2},
        // idx1: size, then (flags, offset from "movi", size) per frame
        {idx1 + 4, 48}, {idx1 + 12, 0x10}, {idx1 + 16, 4}, {idx1 + 20, p0}, {idx1 + 28, 0x10},
        {idx1 + 32, 12 + p0}, {idx1 + 36, p1}, {idx1 + 44, 0x10}, {idx1 + 48, 20 + p0 + p1}, {idx1 + 52, p2}};
    for (const auto& [at, value] : u32s)
        EXPECT_EQ(u32(b, at), value) << "at " << at;
    EXPECT_EQ(le(b, 244, 8), ix);

    const auto chunks = movieChunks(b);
    ASSERT_EQ(chunks.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(chunks[i], chunkOf(frames[i])) << "frame " << i;

    for (const bool odml : {true, false}) {
        auto probe = ffprobe(path, odml);
        EXPECT_EQ(probe["codec_name"], "mjpeg") << probe["error"];
        EXPECT_EQ(probe["width"], std::to_string(kSide));
        EXPECT_EQ(probe["r_frame_rate"], "30/1");
        EXPECT_EQ(probe["nb_read_frames"], "3") << (odml ? "ix00" : "idx1");
    }
    const std::string gst = gstDiscover(path);
    EXPECT_NE(gst.find("image/jpeg"), std::string::npos) << gst;
    EXPECT_NE(gst.find("Duration: 0:00:00.1"), std::string::npos) << gst;
}

// A full writer stays full: later frames are refused without a byte written,
// and the header, the odml list and the index stay whole.
TEST_F(AviWriterTest, FullWriterWritesNothingMore)
{
    for (const AviWriter::Limits limits : {AviWriter::Limits{20000, 65536}, AviWriter::Limits{0x7E000000, 5}}) {
        const auto frames = makeFrames(8);
        AviWriter writer(limits);
        openAt30(writer, path, 1);
        const auto header = readBytes(path);
        std::size_t accepted = 0;
        int result = AviWriter::kOk;
        for (int round = 0; round < 100 && result != AviWriter::kFull; ++round) {
            const auto& f = frames[static_cast<std::size_t>(round) % frames.size()];
            result = writer.writeFrame(f.data(), static_cast<uint32_t>(f.size()));
            accepted += result == AviWriter::kOk ? 1 : 0;
        }
        ASSERT_EQ(result, AviWriter::kFull);
        const uint64_t sizeWhenFull = writer.fileSize();
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(writer.writeFrame(frames[0].data(), static_cast<uint32_t>(frames[0].size())), AviWriter::kFull);
        EXPECT_EQ(writer.fileSize(), sizeWhenFull);
        ASSERT_EQ(writer.close(), AviWriter::kOk);

        const auto b = readBytes(path);
        EXPECT_EQ(b.size(), sizeWhenFull);
        EXPECT_TRUE(std::equal(b.begin() + 260, b.begin() + 280, header.begin() + 260));
        EXPECT_TRUE(std::equal(b.begin() + 284, b.begin() + 1316, header.begin() + 284));  // JUNK, "LIST"
        EXPECT_EQ(fourcc(b, 1320), "movi");
        EXPECT_EQ(u32(b, 224), 1u);
        EXPECT_EQ(u32(b, 256), accepted);
        EXPECT_EQ(u32(b, 4), b.size() - 8);
        EXPECT_EQ(movieChunks(b).size(), accepted);
        EXPECT_EQ(ffprobe(path)["nb_read_frames"], std::to_string(accepted));
    }
}

// A frame whose data can only be written in part (file size limit) is cut
// away; the frames before and after it are intact and indexed.
TEST_F(AviWriterTest, FrameWrittenInPartIsCutAway)
{
    const auto frames = makeFrames(4);
    AviWriter writer;
    openAt30(writer, path, 1);
    writeAll(writer, {frames[0], frames[1]});

    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = writer.fileSize() + 8 + frames[2].size() / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    const int failed = writer.writeFrame(frames[2].data(), static_cast<uint32_t>(frames[2].size()));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(failed, AviWriter::kWriteFailed);
    writeAll(writer, {frames[3]});
    ASSERT_EQ(writer.close(), AviWriter::kOk);

    const auto chunks = movieChunks(readBytes(path));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0], chunkOf(frames[0]));
    EXPECT_EQ(chunks[1], chunkOf(frames[1]));
    EXPECT_EQ(chunks[2], chunkOf(frames[3]));
    for (const bool odml : {true, false})
        EXPECT_EQ(ffprobe(path, odml)["nb_read_frames"], "3");
}

// With two reserved entries the second segment is a RIFF AVIX of its own,
// indexed by its ix00 and super index entry 1; idx1 covers the first only.
TEST_F(AviWriterTest, SecondSegmentIsReadable)
{
    const auto frames = makeFrames(6);
    AviWriter writer(AviWriter::Limits{0x7E000000, 4});
    openAt30(writer, path, 2);
    writeAll(writer, frames);
    ASSERT_EQ(writer.close(), AviWriter::kOk);

    const auto b = readBytes(path);
    const std::size_t avix = 8 + u32(b, 4);
    EXPECT_EQ(fourcc(b, avix), "RIFF");
    EXPECT_EQ(fourcc(b, avix + 8), "AVIX");
    EXPECT_EQ(avix + 8 + u32(b, avix + 4), b.size());
    const uint64_t ix1 = le(b, 260, 8);
    EXPECT_EQ(fourcc(b, ix1), "ix00");
    EXPECT_EQ(u32(b, 268), 32u + 8 * 2);
    EXPECT_EQ(u32(b, 272), 2u);
    EXPECT_EQ(u32(b, 224), 2u);
    EXPECT_EQ(u32(b, 48), 4u);            // avih: the first segment
    EXPECT_EQ(u32(b, 140), 6u);           // strh: all
    EXPECT_EQ(u32(b, 264 + 32), 6u);      // dmlh: all
    const std::size_t idx1 = 1336 + u32(b, 1332);  // after the movi list
    EXPECT_EQ(fourcc(b, idx1), "idx1");
    EXPECT_EQ(u32(b, idx1 + 4), 4u * 16);
    EXPECT_EQ(movieChunks(b).size(), 6u);
    EXPECT_EQ(ffprobe(path)["nb_read_frames"], "6");
    EXPECT_FALSE(gstDiscover(path).empty());
}

// A writer used again keeps nothing of the file before: an empty recording
// is well formed and says 0 frames. Rates of 0 are refused.
TEST_F(AviWriterTest, EmptyFileAfterAnotherIsWellFormed)
{
    AviWriter writer;
    ASSERT_EQ(writer.open(dir.file("first.avi")), AviWriter::kOk);
    writeAll(writer, makeFrames(3));
    ASSERT_EQ(writer.close(), AviWriter::kOk);
    EXPECT_EQ(writer.writeFrame(nullptr, 0), AviWriter::kNotOpen);
    EXPECT_EQ(writer.close(), AviWriter::kNotOpen);

    ASSERT_EQ(writer.open(path), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameSize(kSide, kSide), AviWriter::kOk);
    ASSERT_EQ(writer.setFrameRate(120, 1), AviWriter::kOk);
    EXPECT_EQ(writer.setFrameRate(0, 100), AviWriter::kNotOpen);
    EXPECT_EQ(writer.setFrameRate(30, 0), AviWriter::kNotOpen);
    ASSERT_EQ(writer.close(), AviWriter::kOk);

    const auto b = readBytes(path);
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_EQ(u32(b, 1316), 4u + 32);  // "movi" and an empty ix00
    EXPECT_EQ(fourcc(b, 1356), "idx1");
    EXPECT_EQ(u32(b, 1360), 0u);
    for (const uint32_t at : {48u, 140u, 280u, 256u})
        EXPECT_EQ(u32(b, at), 0u) << "at " << at;
    EXPECT_EQ(u32(b, 32), 8333u);
    EXPECT_EQ(u32(b, 224), 1u);
    EXPECT_EQ(writer.open(dir.file("no/such/folder.avi")), AviWriter::kNotOpen);
}

// Guards against a recording killed outright being unreadable: the RIFF and
// movi sizes and the frame counts stayed 0 until close. A copy of the open
// file as a kill (or a power cut inside the next frame) leaves it holds
// consistent headers for the frames up to the last refresh, in the first
// segment and in a later one; and refreshes change nothing of the finished file.
TEST_F(AviWriterTest, KilledFileReadsUpToTheLastRefresh)
{
    const auto frames = makeFrames(9);
    for (const int segments : {1, 2}) {
        SCOPED_TRACE(segments);
        const AviWriter::Limits limits{0x7E000000, 4};
        AviWriter plain(limits), refreshed(limits);
        const std::string plainPath = dir.file("plain.avi");
        openAt30(plain, plainPath, segments);
        openAt30(refreshed, path, segments);
        // A segment holds 4 frames: the last refresh counts 3 frames of the
        // first segment, or 6 (4 and 2) of two; one frame more follows it.
        const std::size_t counted = segments == 1 ? 3 : 6;
        for (std::size_t i = 0; i <= counted; ++i) {
            if (i + 1 == counted || i == counted) {  // the second refresh overtakes the first
                ASSERT_EQ(refreshed.refresh(), AviWriter::kOk);
            }
            writeAll(plain, {frames[i]});
            writeAll(refreshed, {frames[i]});
        }
        const auto killed = readBytes(path);
        std::vector<std::vector<uint8_t>> expected(counted);
        std::transform(frames.begin(), frames.begin() + static_cast<long>(counted), expected.begin(), chunkOf);
        for (const std::size_t cut : {killed.size(), killed.size() - frames[counted].size() / 2}) {
            SCOPED_TRACE(cut);
            const std::string copy = dir.file("killed.avi");
            writeFile(copy, killed, cut);
            const auto b = readBytes(copy);
            EXPECT_TRUE(movieChunks(b) == expected) << movieChunks(b).size() << " frames";
            EXPECT_EQ(u32(b, 140), counted);                           // strh: every frame
            EXPECT_EQ(u32(b, 48), std::min<std::size_t>(counted, 4));  // avih: the first segment's
            EXPECT_EQ(fourcc(b, 264 + 16 * segments), "CUNT");         // dmlh: still unfinished
            auto probe = ffprobe(copy);
            EXPECT_GE(std::stoi("0" + probe["nb_read_frames"]), static_cast<int>(counted)) << probe["error"];
            EXPECT_EQ(probe["duration"], counted == 3 ? "0.100000" : "0.200000");
            EXPECT_GE(gstFrameCount(copy), static_cast<int>(counted));
        }
        ASSERT_EQ(plain.close(), AviWriter::kOk);
        ASSERT_EQ(refreshed.close(), AviWriter::kOk);
        EXPECT_EQ(readBytes(path), readBytes(plainPath));
    }
}

// Guards against a cut recording staying unreadable or being rebuilt wrong:
// a file of two segments cut anywhere (in the header, a chunk's header or
// data, an index, the second RIFF) is rebuilt into exactly the file the
// writer makes of the frames before the cut, which ffprobe and GStreamer
// read whole; without a whole frame nothing is written. A frame whose data
// never reached the disk (zeros) is passed over.
TEST_F(AviWriterTest, RepairRebuildsTheFramesBeforeAnyCut)
{
    const AviWriter::Limits limits{0x7E000000, 4};
    const auto frames = makeFrames(7);
    std::vector<std::vector<uint8_t>> written;  // the writer's file of the first k frames
    for (std::size_t k = 0; k <= frames.size(); ++k) {
        AviWriter writer(limits);
        openAt30(writer, path, 2);
        writeAll(writer, {frames.begin(), frames.begin() + static_cast<long>(k)});
        ASSERT_EQ(writer.close(), AviWriter::kOk);
        written.push_back(readBytes(path));
    }
    const auto& whole = written.back();
    // Cuts in the header, then around every chunk and list; a frame counts
    // once its chunk is whole.
    std::vector<std::size_t> cuts = {0, 11, 100, 1000, 1330, 1340};
    std::vector<std::size_t> frameEnds;
    for (std::size_t at = 1340; at + 8 <= whole.size(); at += 4) {
        const std::string tag = fourcc(whole, at);
        if (tag != "00db" && tag != "ix00" && tag != "idx1" && tag != "RIFF")
            continue;
        cuts.insert(cuts.end(), {at, at + 5, at + 8 + u32(whole, at + 4) / 2});
        if (tag == "00db")
            frameEnds.push_back(at + 8 + u32(whole, at + 4));
        at += tag == "RIFF" ? 8 : 4 + u32(whole, at + 4);
    }
    ASSERT_EQ(frameEnds.size(), frames.size());
    cuts.push_back(whole.size());

    const std::string cut = dir.file("cut.avi"), repaired = dir.file("repaired.avi");
    std::size_t probed = 0;
    for (const std::size_t at : cuts) {
        SCOPED_TRACE(at);
        writeFile(cut, whole, at);
        const auto k = static_cast<std::size_t>(std::count_if(frameEnds.begin(), frameEnds.end(),
                                                              [&](std::size_t end) { return end <= at; }));
        AviRepairReport report;
        std::string why;
        std::filesystem::remove(repaired);
        ASSERT_EQ(repairAvi(cut, repaired, report, why, limits), k > 0) << why;
        if (k == 0) {
            EXPECT_FALSE(std::filesystem::exists(repaired));
            continue;
        }
        EXPECT_EQ(report.frames, k);
        EXPECT_TRUE(readBytes(repaired) == written[k]) << k << " frames";
        if (k > probed) {  // each count once through the independent readers
            probed = k;
            EXPECT_EQ(ffprobe(repaired)["nb_read_frames"], std::to_string(k));
            EXPECT_EQ(gstFrameCount(repaired), static_cast<int>(k));
        }
    }

    auto holed = whole;  // frame 2's data zeros
    std::fill(holed.begin() + static_cast<long>(frameEnds[1] + 8), holed.begin() + static_cast<long>(frameEnds[2]), 0);
    writeFile(cut, holed, holed.size());
    AviRepairReport report;
    std::string why;
    ASSERT_TRUE(repairAvi(cut, repaired, report, why, limits)) << why;
    auto chunks = movieChunks(whole);
    chunks.erase(chunks.begin() + 2);
    EXPECT_TRUE(movieChunks(readBytes(repaired)) == chunks);
}

}  // namespace
}  // namespace qdx::viewer::test
