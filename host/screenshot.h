#pragma once
// Screenshots: a rectangle of the screen as a 24-bit image, written as a PNG
// file that opens in any viewer.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace shots {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel

    uint32_t Pixel(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
};

// What the screen shows in area (screen coordinates).
Image Capture(const RECT& area);

bool WritePng(const std::wstring& path, const Image& image);

}  // namespace shots
