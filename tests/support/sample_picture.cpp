#include "support/sample_picture.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace brelvix {

namespace {

struct Color {
    int r;
    int g;
    int b;
};

Color Mix(Color a, Color b, std::int64_t t, std::int64_t range)
{
    if (range <= 0) {
        return a;
    }
    auto mix = [&](int x, int y) { return static_cast<int>(x + (y - x) * t / range); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

}  // namespace

SamplePicture RenderSamplePicture(int width, int height)
{
    SamplePicture picture;
    picture.width = std::max(width, 1);
    picture.height = std::max(height, 1);
    const std::int64_t w = picture.width;
    const std::int64_t h = picture.height;
    picture.rgb.resize(static_cast<std::size_t>(w * h * 3));

    const std::int64_t horizon = h * 3 / 5;
    const std::int64_t sunX = w * 2 / 3;
    const std::int64_t sunY = horizon - h / 10;
    const std::int64_t sunRadius = std::max<std::int64_t>(1, std::min(w, h) / 7);
    const std::int64_t marker = std::max<std::int64_t>(1, std::min(w, h) / 10);
    const Color night{20, 24, 90};
    const Color dawn{250, 150, 60};
    const Color sun{255, 230, 80};
    const Color hillNear{40, 140, 50};
    const Color hillFar{90, 120, 160};
    const Color lake{30, 90, 170};

    for (std::int64_t y = 0; y < h; ++y) {
        for (std::int64_t x = 0; x < w; ++x) {
            Color c = Mix(night, dawn, y, horizon);
            const std::int64_t dx = x - sunX;
            const std::int64_t dy = y - sunY;
            const std::int64_t distance2 = dx * dx + dy * dy;
            if (distance2 <= sunRadius * sunRadius) {
                c = sun;
            } else if (distance2 <= 4 * sunRadius * sunRadius) {
                c = Mix(c, sun, 4 * sunRadius * sunRadius - distance2, 6 * sunRadius * sunRadius);  // glow
            }
            // Far hills: a zigzag ridge above the horizon.
            const std::int64_t period = std::max<std::int64_t>(2, w / 5);
            const std::int64_t phase = x % period;
            const std::int64_t ridge =
                horizon - h / 8 + std::abs(phase - period / 2) * (h / 8) / std::max<std::int64_t>(1, period / 2);
            if (y >= ridge && y < horizon) {
                c = Mix(hillFar, hillNear, y - ridge, std::max<std::int64_t>(1, horizon - ridge));
            }
            if (y >= horizon) {
                // Ground in front, a lake on the left with ripples.
                c = Mix(hillNear, Color{20, 70, 25}, y - horizon, h - horizon);
                if (x < w * 2 / 5 && y > horizon + (h - horizon) / 4) {
                    c = ((y / std::max<std::int64_t>(1, h / 40)) % 3 == 0) ? Color{90, 150, 220} : lake;
                }
            }
            // A flag with three stripes on a pole, right of centre.
            const std::int64_t flagX = w * 3 / 4;
            const std::int64_t flagY = horizon + (h - horizon) / 5;
            const std::int64_t flagW = std::max<std::int64_t>(3, w / 8);
            const std::int64_t flagH = std::max<std::int64_t>(3, h / 10);
            if (x >= flagX && x < flagX + flagW && y >= flagY && y < flagY + flagH) {
                const std::int64_t stripe = (y - flagY) * 3 / flagH;
                c = stripe == 0 ? Color{220, 40, 160} : stripe == 1 ? Color{250, 250, 250} : Color{20, 170, 170};
            }
            if (x >= flagX - std::max<std::int64_t>(1, w / 200) && x < flagX && y >= flagY && y < h - h / 10) {
                c = Color{110, 80, 50};
            }
            // Corner markers.
            const bool left = x < marker;
            const bool right = x >= w - marker;
            const bool top = y < marker;
            const bool bottom = y >= h - marker;
            if (top && left) {
                c = {255, 0, 0};
            } else if (top && right) {
                c = {0, 255, 0};
            } else if (bottom && left) {
                c = {0, 0, 255};
            } else if (bottom && right) {
                c = {255, 255, 255};
            }
            std::uint8_t* p = picture.rgb.data() + 3 * (y * w + x);
            p[0] = static_cast<std::uint8_t>(std::clamp(c.r, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(c.g, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(c.b, 0, 255));
        }
    }
    return picture;
}

}  // namespace brelvix
