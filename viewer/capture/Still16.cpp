#include "Still16.h"

#include <png.h>
#include <strings.h>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "Codecs.h"
#include "FrameTimes.h"
#include "core/commands/ProgramVersion.h"
#include "core/model/Settings.h"
#include "live/FullPrecision.h"

namespace qdx::viewer {
namespace {

using Json = nlohmann::ordered_json;

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// The text every file carries, in this order.
std::vector<std::pair<std::string, std::string>> textEntries(const StillFacts& facts)
{
    Json settings = Json::object();
    for (const auto& [name, value] : facts.settings)
        settings[name] = value;
    return {{"Software", facts.software},
            {"Creation Time", isoUtc(facts.wallNs)},
            {"QDX frame index", std::to_string(facts.frameIndex)},
            {"QDX monotonic ns", std::to_string(facts.monotonicNs)},
            {"QDX settings", settings.dump()}};
}

// The channels the file stores for a picture.
int fileChannels(Still16Kind kind, bool grey)
{
    return kind == Still16Kind::Pgm || (grey && kind != Still16Kind::Ppm) ? 1 : 3;
}

// Row y of the file: big-endian samples, scaled (PNG, TIFF keeps host order)
// or the 12-bit value itself (PGM, PPM).
void fileRow(uint8_t* out, const uint16_t* samples, int side, bool grey, int channels, bool scaled, bool bigEndian)
{
    const int in = grey ? 1 : 3;
    for (int x = 0; x < side; ++x) {
        for (int c = 0; c < channels; ++c) {
            const uint16_t v = samples[static_cast<std::size_t>(x) * in + (in == 1 ? 0 : c)];
            const uint16_t s = scaled ? scale12To16(v) : v;
            if (bigEndian) {
                *out++ = static_cast<uint8_t>(s >> 8);
                *out++ = static_cast<uint8_t>(s);
            } else {
                std::memcpy(out, &s, 2);
                out += 2;
            }
        }
    }
}

std::vector<uint8_t> fileSamples(const uint16_t* samples, int side, bool grey, int channels, bool scaled,
                                 bool bigEndian)
{
    const std::size_t rowBytes = static_cast<std::size_t>(side) * channels * 2;
    const std::size_t in = static_cast<std::size_t>(side) * (grey ? 1 : 3);
    std::vector<uint8_t> bytes(rowBytes * side);
    for (int y = 0; y < side; ++y)
        fileRow(&bytes[y * rowBytes], samples + y * in, side, grey, channels, scaled, bigEndian);
    return bytes;
}

bool writeNetpbm(std::FILE* stream, Still16Kind kind, const uint16_t* samples, int side, bool grey,
                 const StillFacts& facts, std::string& why)
{
    const int channels = fileChannels(kind, grey);
    std::string header = channels == 1 ? "P5\n" : "P6\n";
    for (const auto& [key, value] : textEntries(facts))
        header += "# " + key + ": " + value + "\n";
    header += std::to_string(side) + " " + std::to_string(side) + "\n4095\n";
    const std::vector<uint8_t> bytes = fileSamples(samples, side, grey, channels, false, true);
    if (std::fwrite(header.data(), 1, header.size(), stream) != header.size() ||
        std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        why = systemError("writing the picture");
        return false;
    }
    return true;
}

// ---- PNG through libpng's own interface (the simplified one writes no text
// or sBIT). Its errors jump back here: nothing with a destructor lives in
// pngRows.
struct PngError {
    char message[256];
};

[[noreturn]] void pngFailed(png_structp png, png_const_charp message)
{
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool pngRows(std::FILE* stream, png_bytep* rows, int side, int channels, png_text* text, int texts,
             PngError& error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, pngFailed, pngWarning);
    if (!png) {
        std::snprintf(error.message, sizeof error.message, "no memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const auto s = static_cast<png_uint_32>(side);
    png_init_io(png, stream);
    png_set_IHDR(png, info, s, s, 16, channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color_8 significant{};
    significant.red = significant.green = significant.blue = significant.gray = 12;
    png_set_sBIT(png, info, &significant);
    png_set_text(png, info, text, texts);
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writePng(std::FILE* stream, const uint16_t* samples, int side, bool grey, const StillFacts& facts,
              std::string& why)
{
    const int channels = fileChannels(Still16Kind::Png, grey);
    std::vector<uint8_t> bytes = fileSamples(samples, side, grey, channels, true, true);
    std::vector<png_bytep> rows(static_cast<std::size_t>(side));
    for (int y = 0; y < side; ++y)
        rows[y] = &bytes[static_cast<std::size_t>(y) * side * channels * 2];
    auto entries = textEntries(facts);
    std::vector<png_text> text(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        text[i].compression = PNG_TEXT_COMPRESSION_NONE;
        text[i].key = entries[i].first.data();
        text[i].text = entries[i].second.data();
        text[i].text_length = entries[i].second.size();
    }
    PngError error{};
    if (!pngRows(stream, rows.data(), side, channels, text.data(), static_cast<int>(text.size()), error)) {
        // A failed write says why itself ("File too large"); libpng only "Write Error".
        why = std::ferror(stream) ? systemError("writing the picture") : std::string("PNG: ") + error.message;
        return false;
    }
    return true;
}

bool writeTiff(std::FILE* stream, const uint16_t* samples, int side, bool grey, const StillFacts& facts,
               std::string& why)
{
    const CodecTable* table = codecs(why);
    if (!table)
        return false;
    const int channels = fileChannels(Still16Kind::Tiff, grey);
    const std::vector<uint8_t> bytes = fileSamples(samples, side, grey, channels, true, false);
    TiffPicture picture;
    picture.bytes = bytes.data();
    picture.length = bytes.size();
    picture.side = side;
    picture.channels = channels;
    picture.description = stillDescription(facts);
    picture.software = facts.software;
    char dateTime[20] = "";  // "YYYY:MM:DD HH:MM:SS", here in UTC
    const std::time_t seconds = static_cast<std::time_t>(facts.wallNs / 1000000000);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc))
        std::strftime(dateTime, sizeof dateTime, "%Y:%m:%d %H:%M:%S", &utc);
    picture.dateTime = dateTime;
    return table->writeTiff(stream, picture, why);
}

}  // namespace

std::optional<Still16Kind> still16KindOf(std::string_view path)
{
    const std::string extension = std::filesystem::path(path).extension().string();
    const struct {
        const char* extension;
        Still16Kind kind;
    } kinds[] = {{".png", Still16Kind::Png},
                 {".tif", Still16Kind::Tiff},
                 {".tiff", Still16Kind::Tiff},
                 {".pgm", Still16Kind::Pgm},
                 {".ppm", Still16Kind::Ppm}};
    for (const auto& k : kinds)
        if (strcasecmp(extension.c_str(), k.extension) == 0)
            return k.kind;
    return std::nullopt;
}

std::vector<std::pair<std::string, int>> readCameraSettings()
{
    std::vector<std::pair<std::string, int>> values;
    for (const Setting& s : settings())
        if (int value = 0; s.read(&value) == 0)
            values.emplace_back(s.name, value);
    return values;
}

StillFacts frameFacts(const QDX_FRAME_INFO& info, const std::string& program)
{
    const ProgramVersion version = programVersion();
    StillFacts facts;
    facts.frameIndex = info.index;
    facts.monotonicNs = info.monotonicNs;
    facts.wallNs = info.wallNs;
    facts.software = program + " " + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                     std::to_string(version.build);
    facts.settings = readCameraSettings();
    return facts;
}

std::string stillDescription(const StillFacts& facts)
{
    Json settings = Json::object();
    for (const auto& [name, value] : facts.settings)
        settings[name] = value;
    const Json description{{"software", facts.software},
                           {"frame index", facts.frameIndex},
                           {"arrival", isoUtc(facts.wallNs)},
                           {"monotonic ns", facts.monotonicNs},
                           {"significant bits", 12},
                           {"samples", "12-bit value v stored as v << 4 | v >> 8: v = sample >> 4"},
                           {"settings", settings}};
    return description.dump();
}

bool writeStill16(AtomicFile& file, Still16Kind kind, const uint8_t* frame, bool grey, int side,
                  const StillFacts& facts, std::string& why)
{
    std::vector<uint16_t> picture(fullPrecisionSamples(grey, side));
    convertFullPrecision(picture.data(), frame, grey, side);
    const uint16_t* samples = picture.data();
    switch (kind) {
    case Still16Kind::Png:
        return writePng(file.stream(), samples, side, grey, facts, why);
    case Still16Kind::Tiff:
        return writeTiff(file.stream(), samples, side, grey, facts, why);
    case Still16Kind::Pgm:
        if (!grey) {
            why = "a PGM file holds a grey picture";
            return false;
        }
        return writeNetpbm(file.stream(), kind, samples, side, grey, facts, why);
    case Still16Kind::Ppm:
        return writeNetpbm(file.stream(), kind, samples, side, grey, facts, why);
    }
    why = "not a 16-bit picture file";
    return false;
}

bool saveStill16(const std::string& path, Still16Kind kind, const uint8_t* frame, bool grey, int side,
                 const StillFacts& facts, std::string& why)
{
    AtomicFile file;
    return file.open(path, why) && writeStill16(file, kind, frame, grey, side, facts, why) && file.commit(why);
}

}  // namespace qdx::viewer
