// Reference renderings stored as PNG, read with libpng's simplified API.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a PNG into top-down red-green-blue triplets (8 bits a sample); any
// alpha channel is dropped, not blended. False when libpng cannot read it.
bool ReadPngReference(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb);
