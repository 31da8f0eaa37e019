// The defect-pixel and FPN table files: exactly the table's bytes as the
// camera holds them (256 and 82,416), nothing before or after. Qt-free.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qdx::viewer {

// A file's bytes as the table: false with why ("10 bytes, a table file holds
// 256") for any other size, and then table is unchanged.
bool tableFromBytes(std::string_view bytes, std::span<uint8_t> table, std::string& why);

// The file at path, a regular file (never waited on, never read past one
// byte more than the table: "PATH: larger than 256 bytes"); false with why
// naming the path.
bool readTableFile(const std::string& path, std::span<uint8_t> table, std::string& why);

// Writes the file whole or not at all (AtomicFile).
bool writeTableFile(const std::string& path, std::span<const uint8_t> table, std::string& why);

}  // namespace qdx::viewer
