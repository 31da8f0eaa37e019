// Reads the 24-bit uncompressed BMP files the viewer and qdxctl save, from the
// format's own definition (not with the writer's code), for tests to check.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qdx::test {

struct BmpPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // red-green-blue, top row first

    // Every pixel has three equal channels.
    bool grey() const
    {
        for (std::size_t i = 0; i < rgb.size(); i += 3)
            if (rgb[i] != rgb[i + 1] || rgb[i] != rgb[i + 2])
                return false;
        return true;
    }
};

// Nothing when the file is not a whole bottom-up 24-bit BMP whose rows need
// no padding.
inline std::optional<BmpPicture> readBmp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto u = [&](std::size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<std::size_t>(i)]);
        return v;
    };
    if (b.size() < 54 || b.compare(0, 2, "BM") != 0 || u(2, 4) != b.size() || u(10, 4) != 54 || u(14, 4) != 40 ||
        u(26, 2) != 1 || u(28, 2) != 24 || u(30, 4) != 0)
        return std::nullopt;
    BmpPicture picture;
    picture.width = static_cast<int>(u(18, 4));
    picture.height = static_cast<int>(u(22, 4));  // positive: bottom-up
    const std::size_t row = static_cast<std::size_t>(picture.width) * 3;
    if (picture.width <= 0 || picture.height <= 0 || row % 4 != 0 || b.size() != 54 + row * picture.height)
        return std::nullopt;
    for (int y = picture.height - 1; y >= 0; --y)
        for (std::size_t i = 54 + row * static_cast<std::size_t>(y), end = i + row; i < end; i += 3)
            for (std::size_t c : {2u, 1u, 0u})
                picture.rgb.push_back(static_cast<uint8_t>(b[i + c]));
    return picture;
}

}  // namespace qdx::test
