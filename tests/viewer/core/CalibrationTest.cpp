// The calibration algorithms and formats on frames and files made to order:
// defect-pixel and FPN detection, the two table texts, the gamma file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TempDir.h"
#include "core/calibration/Calibration.h"
#include "core/files/GammaFile.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

// Sets the luma word of pixel (x, y) to a 12-bit value.
void setLuma(std::vector<uint8_t>& frame, int x, int y, int value12)
{
    setWord(frame, static_cast<std::size_t>(y) * kCameraSide * 2 + 2 * static_cast<std::size_t>(x) + 1,
            static_cast<uint16_t>(value12 << 4));
}

std::vector<std::pair<int, int>> entries(const DpTable& table)
{
    std::vector<std::pair<int, int>> list;
    for (int i = 0; i < table.validCount(); ++i)
        list.emplace_back(table.x(i), table.y(i));
    return list;
}

// Guards the scan: its order and the first-64 cut, the inclusive threshold in
// both directions, the 2-pixel border never reported whatever it holds, and a
// shorter result leaving no entries of a longer one behind (they would be
// uploaded as defects).
TEST(DefectDetection, ScanOrderThresholdBorderAndNoStaleEntries)
{
    auto frame = makeFrame(0x0800);  // 8-bit luma 8
    DpTable table;
    EXPECT_EQ(detectDefectPixels(frame.data(), 0, DefectKind::Bright, table), 64);
    std::vector<std::pair<int, int>> firstRow;
    for (int x = 2; x < 66; ++x)
        firstRow.emplace_back(x, 2);
    EXPECT_EQ(entries(table), firstRow);
    EXPECT_EQ(dpText(table, DefectKind::Bright).substr(0, 45),
              "Bright (64)\r\n--------------------\r\n2,2\r\n3,2\r\n");
    EXPECT_EQ(detectDefectPixels(frame.data(), 255, DefectKind::Dark, table), 64);
    EXPECT_EQ(detectDefectPixels(frame.data(), 7, DefectKind::Dark, table), 0);
    EXPECT_EQ(detectDefectPixels(frame.data(), 8, DefectKind::Dark, table), 64);

    // The border at both extremes, three defects inside it.
    for (int i = 0; i < kCameraSide; ++i)
        for (int b : {0, 1, kCameraSide - 2, kCameraSide - 1}) {
            setLuma(frame, i, b, (i + b) % 2 ? 0 : 4095);
            setLuma(frame, b, i, (i + b) % 2 ? 4095 : 0);
        }
    setLuma(frame, 401, 2, 4095);
    setLuma(frame, 2, 300, 4095);
    setLuma(frame, 200, 401, 0);
    EXPECT_EQ(detectDefectPixels(frame.data(), 255, DefectKind::Bright, table), 2);
    EXPECT_EQ(entries(table), (std::vector<std::pair<int, int>>{{401, 2}, {2, 300}}));
    EXPECT_EQ(detectDefectPixels(frame.data(), 0, DefectKind::Dark, table), 1);
    EXPECT_EQ(entries(table), (std::vector<std::pair<int, int>>{{200, 401}}));
    EXPECT_EQ(dpText(table, DefectKind::Dark), "Dark (1)\r\n--------------------\r\n200,401\r\n");
    for (int i = 1; i < DpTable::kEntries; ++i)
        EXPECT_EQ(std::vector<uint8_t>(table.bytes().begin() + 4 * i, table.bytes().begin() + 4 * i + 4),
                  (std::vector<uint8_t>{0x01, 0xFF, 0x01, 0xFF}))
            << "entry " << i;
}

// Guards the FPN steps: rounding down (not to zero) after the clamp.
TEST(FpnDetection, QuantisesDeviationsDownInStepsOf32)
{
    const std::pair<int, int> cases[] = {{31, 0},  {32, 1},   {300, 7},  {255, 7},   {-1, -1},
                                         {-32, -1}, {-33, -2}, {-256, -8}, {-300, -8}, {0, 0}};
    for (auto [deviation, step] : cases)
        EXPECT_EQ(quantiseFpn(deviation), step) << deviation;
}

// Guards the packing: the mean over every pixel (border included), each
// pixel's nibble at its place in the byte pair, and pair 101 left 0.
TEST(FpnDetection, PacksEachPixelAtItsPlace)
{
    auto frame = makeFrame(0x8000);  // 12-bit 2048 everywhere
    // The marker words are the luma of the first and the last pixel (8 and
    // 9): with them the mean is 2047. Deviations from it that cancel.
    const int row = 7, deviations[4] = {32, 300, -33, -300};
    for (int j = 0; j < 4; ++j) {
        setLuma(frame, 400 + j, row, 2047 + deviations[j]);
        setLuma(frame, 100 + j, 0, 2047 - deviations[j]);
    }
    FpnTable table;
    detectFixedPattern(frame.data(), table);
    EXPECT_EQ(table.mean, 2047);
    EXPECT_EQ((std::vector<int>{table.correction(400, row), table.correction(401, row), table.correction(402, row),
                                table.correction(403, row)}),
              (std::vector<int>{1, 7, -2, -8}));
    EXPECT_EQ((std::vector<int>{table.correction(100, 0), table.correction(101, 0), table.correction(102, 0),
                                table.correction(103, 0)}),
              (std::vector<int>{-1, -8, 1, 7}));
    // Bytes as the camera takes them: pair 100 of row 7 is 0x8E, 0x71.
    EXPECT_EQ(table.bytes()[row * 204 + 200], 0x8E);
    EXPECT_EQ(table.bytes()[row * 204 + 201], 0x71);
    for (int r = 0; r < FpnTable::kRows; ++r)
        ASSERT_EQ(table.bytes()[r * 204 + 202] | table.bytes()[r * 204 + 203], 0) << r;
}

// The FPN text as a second, plain formulation writes it: one printf per
// group of four values.
std::string fpnTextByPrintf(const FpnTable& table)
{
    auto value = [](int nibble) { return nibble >= 8 ? nibble - 16 : nibble; };
    std::string text = "Avarage " + std::to_string(table.mean) + "\r\n--------------------\r\n";
    const auto& b = table.bytes();
    for (std::size_t i = 0; i < b.size() / 2; ++i) {
        char group[32];
        std::snprintf(group, sizeof group, "%3d,%3d,%3d,%3d", value(b[2 * i + 1] & 15), value(b[2 * i + 1] >> 4),
                      value(b[2 * i] & 15), value(b[2 * i] >> 4));
        text += group;
        text += (i + 1) % 102 == 0 ? "\r\n" : ",";
    }
    return text;
}

// Guards the FPN text: its exact size when all zero, and every value of a
// random table in its column with the right sign.
TEST(FpnText, MatchesAPlainRenderingByteForByte)
{
    FpnTable table;
    const std::string zero = fpnText(table);
    EXPECT_EQ(zero.size(), 659765u);
    EXPECT_EQ(zero, fpnTextByPrintf(table));
    EXPECT_EQ(zero.substr(0, 44), "Avarage 0\r\n--------------------\r\n  0,  0,  0");

    std::mt19937 random(7);
    for (auto& byte : table.bytes())
        byte = static_cast<uint8_t>(random());
    table.mean = -1234;
    EXPECT_EQ(fpnText(table), fpnTextByPrintf(table));
}

// ---- gamma file

std::string lines(int count, const std::string& end = "\r\n")
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(i) + "," + std::to_string(i + 1) + "," + std::to_string(i + 2) + end;
    return text;
}

int entry(const GammaTables& tables, int table, int i)
{
    const auto& t = tables[static_cast<std::size_t>(table)];
    return t[static_cast<std::size_t>(2 * i)] << 8 | t[static_cast<std::size_t>(2 * i + 1)];
}

struct GammaCase {
    const char* name;
    std::string text;
    bool usable;
    int entry0 = 0;       // table 0 entry 0 when usable
    int entry4095 = 4095; // table 0 entry 4095 when usable
};

// Guards the reader's rules: comments, the short-line rule with its line end
// counted, blanks before but not after an integer, the 4,096-entry stop and
// requirement, low 16 bits, integers beyond 32 bits, NUL bytes, lines split
// after 255 characters, CR LF and LF alike.
TEST(GammaFile, ReaderRules)
{
    const std::string rest = lines(4095).substr(lines(1).size()) + lines(4096).substr(lines(4095).size());
    const GammaCase cases[] = {
        {"crlf", lines(4096), true},
        {"lf", lines(4096, "\n"), true},
        {"comments between", "#c\r\n/c,1,2\r\n" + lines(2048) + ";1,2,3\r\n" + lines(4096).substr(lines(2048).size()),
         true},
        {"4095 entries", lines(4095), false},
        {"5000 entries take the first 4096", lines(5000), true},
        {"blanks after commas", " 7, 8, 9\r\n" + rest, true, 7},
        {"blank before a comma is no entry", "7 ,8,9\r\n" + lines(4096), true},
        {"signs and low 16 bits", "70000,-1,+3\r\n" + rest, true, 4464},
        {"beyond 32 bits is no entry", "99999999999,1,1\r\n" + lines(4096), true},
        {"six characters with the line end is an entry", "1,2,3\r\n" + lines(4096), true, 1, 4094},
        {"last 0,0,0 without line end skipped", lines(4095) + "0,0,0", false},
        {"last 0,0,0 with line end taken", lines(4095) + "0,0,0\n", true, 0, 0},
        {"NUL ends a line's text", std::string("1,2\0,3\r\n", 8) + lines(4096), true},
        {"long line read as several", std::string(252, ' ') + "1,2,3\r\n" + lines(4096), true},
        {"trailing text ignored", "5,6,7 and more\r\n" + rest, true, 5},
        {"empty", "", false},
    };
    for (const GammaCase& c : cases) {
        GammaTables tables{};
        EXPECT_EQ(parseGammaText(c.text, tables), c.usable) << c.name;
        if (c.usable) {
            EXPECT_EQ(entry(tables, 0, 0), c.entry0) << c.name;
            EXPECT_EQ(entry(tables, 0, 4095), c.entry4095) << c.name;
        }
        // The file reader's pieces, however small, read as the whole text.
        GammaTables pieces{};
        GammaParser parser(pieces);
        for (std::size_t at = 0; at < c.text.size(); at += 3)
            parser.feed(std::string_view(c.text).substr(at, 3));
        EXPECT_EQ(parser.finish(), c.usable) << c.name;
        EXPECT_EQ(pieces, tables) << c.name;
    }
    GammaTables tables{};
    ASSERT_TRUE(parseGammaText("70000,-1,+3\r\n" + rest, tables));
    EXPECT_EQ(entry(tables, 1, 0), 65535);
    EXPECT_EQ(entry(tables, 2, 0), 3);
    EXPECT_EQ(entry(tables, 2, 4095), 4097);
}

// Guards the reader against any mixture of lines: from random lines whose
// kind the generator knows, the entries it must take, in order.
TEST(GammaFile, RandomLinesGiveTheEntriesTheRulesSay)
{
    std::mt19937 random(2026);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 40; ++round) {
        std::string text;
        std::vector<std::array<int, 3>> expected;
        const int lineCount = 3800 + pick(600);
        for (int l = 0; l < lineCount; ++l) {
            const char* end = pick(4) ? "\r\n" : "\n";
            switch (pick(8)) {
            case 0:
                text += std::string(1, "#/;"[pick(3)]) + "12,13,14" + end;
                break;
            case 1:
                text += std::to_string(pick(10)) + "," + std::to_string(pick(10)) + end;  // short or no third
                break;
            case 2:
                text += "x" + std::to_string(pick(1000)) + ",1,2" + end;
                break;
            default: {
                std::array<int, 3> v{pick(200000) - 100000, pick(70000), pick(1 << 30)};
                std::string line;
                for (std::size_t i = 0; i < 3; ++i)
                    line += std::string(static_cast<std::size_t>(pick(3)), pick(2) ? ' ' : '\t') +
                            (pick(5) == 0 && v[i] >= 0 ? "+" : "") + std::to_string(v[i]) + (i < 2 ? "," : "");
                if (line.size() + 1 < 6)
                    continue;
                text += line + end;
                expected.push_back(v);
            }
            }
        }
        GammaTables tables{};
        const bool usable = parseGammaText(text, tables);
        ASSERT_EQ(usable, expected.size() >= 4096) << "round " << round;
        if (!usable)
            continue;
        for (int i = 0; i < kGammaEntries; ++i)
            for (int t = 0; t < 3; ++t)
                ASSERT_EQ(entry(tables, t, i), expected[static_cast<std::size_t>(i)][static_cast<std::size_t>(t)] & 0xFFFF)
                    << "round " << round << " entry " << i;
    }
}

// Guards against a gamma file read whole or without end: a FIFO (whose open
// blocked the worker for good) and a device are refused, a file is read up
// to its 4,096th entry whatever follows, and no further than 1 MiB before it.
TEST(GammaFile, FilesAreRegularAndReadOnlyAsFarAsNeeded)
{
    qdx::test::TempDir dir;
    const std::string fifo = dir.file("fifo.txt"), device = dir.file("zero.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;  // root only
    GammaTables tables{};
    std::string why;
    for (const std::string& path : {fifo, haveDevice ? device : fifo}) {
        EXPECT_FALSE(readGammaFile(path, tables, why));
        EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    }
    const std::string junk(2 * kMaxGammaFileBytes, '#');
    std::ofstream(dir.file("long.txt"), std::ios::binary) << lines(4096) << junk;
    std::ofstream(dir.file("late.txt"), std::ios::binary) << junk << "\r\n" << lines(4096);
    EXPECT_TRUE(readGammaFile(dir.file("long.txt"), tables, why)) << why;
    EXPECT_FALSE(readGammaFile(dir.file("late.txt"), tables, why));
    EXPECT_NE(why.find("0 entries in its first 1048576 bytes"), std::string::npos) << why;
}

// Guards the writer: 4,096 lines "a,b,c" with CR LF and nothing else, read
// back the same, and no file at all when it cannot be written.
TEST(GammaFile, WriterRoundTripAndNoPartialFile)
{
    GammaTables tables = identityGamma();
    tables[2][0] = 0xFF;
    tables[2][1] = 0xFE;
    const std::string text = gammaText(tables);
    EXPECT_EQ(text.substr(0, 14), "0,0,65534\r\n1,1");
    EXPECT_EQ(text.substr(text.size() - 16), "4095,4095,4095\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4096);

    qdx::test::TempDir dir;
    std::string why;
    ASSERT_TRUE(writeGammaFile(dir.file("g.txt"), tables, why)) << why;
    GammaTables back{};
    ASSERT_TRUE(readGammaFile(dir.file("g.txt"), back, why));
    EXPECT_EQ(back, tables);
    EXPECT_FALSE(writeGammaFile(dir.file("missing/g.txt"), tables, why));
    EXPECT_FALSE(readGammaFile(dir.file("missing/g.txt"), back, why));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"g.txt"});
}

}  // namespace
}  // namespace qdx::viewer::test
