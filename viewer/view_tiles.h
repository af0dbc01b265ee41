// The parts of the working copy that are on screen, kept in square tiles of
// a fixed grid. Scrolling makes only the tiles that come into view; the ones
// that stay are drawn from memory. Rounding the visible area out to whole
// tiles gives a margin around it, so that short scrolls often find their
// strip made already. Tiles are kept up to a bound that follows the window,
// not the zoom, and are forgotten when the working copy changes; their
// memory then serves the next working copy's tiles, as fresh memory costs
// more to fault in and clear than the tile costs to make.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "viewer/image_document.h"

namespace brelvix {

class ViewTiles {
public:
    // Tiles are this many pixels square (those at the right and bottom edges
    // of the working copy are cut to it).
    static constexpr std::int32_t kTileSize = 256;

    // Draws the part left <= x < right, top <= y < bottom of the working copy
    // with the working copy's (0, 0) at (originX, originY) of `target`,
    // making the tiles it needs that are not there yet (spread over the
    // processor's cores). A tile that cannot be made draws nothing.
    // Transparent pixels show `backdrop`; tiles made over another one are
    // made again.
    void Draw(const ImageDocument& document, PxDrawTarget& target, std::int32_t originX, std::int32_t originY,
              std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
              const ImageDocument::Backdrop& backdrop = {});

    // Forgets every tile and frees their memory.
    void Clear();

    // How many tiles are in memory.
    std::size_t Count() const { return tiles.size() + spares.size(); }

private:
    struct Tile {
        std::int32_t column = 0;
        std::int32_t row = 0;
        // Its part of the working copy: kTileSize square but at the edges.
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::uint64_t lastUse = 0;
        bool made = false;
        PxBitmap pixels;
    };

    // Takes a spare tile whose store has the size given, else a new tile.
    std::unique_ptr<Tile> NewTile(std::int32_t width, std::int32_t height);

    std::vector<std::unique_ptr<Tile>> tiles;
    // Tiles of older working copies, kept for their stores.
    std::vector<std::unique_ptr<Tile>> spares;
    // One per worker: the steps between scaling and a turned tile.
    std::vector<std::unique_ptr<ImageDocument::RenderScratch>> scratch;
    // The working copy the tiles were made of, and what shows through it.
    std::uint64_t generation = 0;
    ImageDocument::Backdrop shownBackdrop;
    const ImageDocument* owner = nullptr;
    std::uint64_t useCounter = 0;
};

}  // namespace brelvix
