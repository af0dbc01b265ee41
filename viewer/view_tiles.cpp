#include "viewer/view_tiles.h"

#include <algorithm>

#include "imaging/parallel.h"
#include "viewer/image_document.h"

namespace brelvix {

void ViewTiles::Clear()
{
    tiles.clear();
    spares.clear();
    scratch.clear();
    owner = nullptr;
}

std::unique_ptr<ViewTiles::Tile> ViewTiles::NewTile(std::int32_t width, std::int32_t height)
{
    const auto spare = std::find_if(spares.begin(), spares.end(), [&](const std::unique_ptr<Tile>& tile) {
        return tile->width == width && tile->height == height;
    });
    std::unique_ptr<Tile> tile;
    if (spare == spares.end()) {
        tile = std::make_unique<Tile>();
    } else {
        tile = std::move(*spare);
        *spare = std::move(spares.back());
        spares.pop_back();
    }
    tile->width = width;
    tile->height = height;
    tile->made = false;
    return tile;
}

void ViewTiles::Draw(const ImageDocument& document, PxDrawTarget& target, std::int32_t originX, std::int32_t originY,
                     std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    if (owner != &document) {
        Clear();
        owner = &document;
        generation = document.Generation();
    } else if (generation != document.Generation()) {
        for (std::unique_ptr<Tile>& tile : tiles) {
            spares.push_back(std::move(tile));
        }
        tiles.clear();
        generation = document.Generation();
    }
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, document.Display().Width());
    bottom = std::min(bottom, document.Display().Height());
    if (right <= left || bottom <= top) {
        return;
    }
    const std::int32_t firstColumn = left / kTileSize;
    const std::int32_t lastColumn = (right - 1) / kTileSize;
    const std::int32_t firstRow = top / kTileSize;
    const std::int32_t lastRow = (bottom - 1) / kTileSize;

    ++useCounter;
    std::vector<Tile*> visible;
    std::vector<Tile*> missing;
    for (std::int32_t row = firstRow; row <= lastRow; ++row) {
        for (std::int32_t column = firstColumn; column <= lastColumn; ++column) {
            const auto found = std::find_if(tiles.begin(), tiles.end(), [&](const std::unique_ptr<Tile>& tile) {
                return tile->column == column && tile->row == row;
            });
            Tile* tile = nullptr;
            if (found != tiles.end()) {
                tile = found->get();
            } else {
                tiles.push_back(NewTile(std::min(kTileSize, document.Display().Width() - column * kTileSize),
                                        std::min(kTileSize, document.Display().Height() - row * kTileSize)));
                tile = tiles.back().get();
                tile->column = column;
                tile->row = row;
                missing.push_back(tile);
            }
            tile->lastUse = useCounter;
            visible.push_back(tile);
        }
    }

    // Each tile is made on its own; the cores share them out.
    const int workers = static_cast<int>(std::min<std::size_t>(missing.size(), PxWorkerCount()));
    if (workers > 0) {
        while (scratch.size() < static_cast<std::size_t>(workers)) {
            scratch.push_back(std::make_unique<ImageDocument::RenderScratch>());
        }
        PxRunInParallel(workers, [&](int worker) {
            for (std::size_t i = static_cast<std::size_t>(worker); i < missing.size(); i += workers) {
                Tile& tile = *missing[i];
                tile.made = document.RenderPart(tile.column * kTileSize, tile.row * kTileSize, tile.width, tile.height,
                                                &tile.pixels, scratch[static_cast<std::size_t>(worker)].get());
            }
        });
    }

    for (const Tile* tile : visible) {
        if (tile->made) {
            tile->pixels.Draw(&target, originX + tile->column * kTileSize, originY + tile->row * kTileSize,
                              kPxSourceCopy);
        }
    }

    // Keep what is on screen and as much again around it; the tiles used
    // longest ago go first, to the spares, which fill only what room is left.
    const std::size_t keep = 2 * visible.size() + 8;
    if (tiles.size() > keep) {
        std::sort(tiles.begin(), tiles.end(), [](const std::unique_ptr<Tile>& a, const std::unique_ptr<Tile>& b) {
            return a->lastUse > b->lastUse;
        });
        for (std::size_t i = keep; i < tiles.size(); ++i) {
            spares.push_back(std::move(tiles[i]));
        }
        tiles.resize(keep);
    }
    spares.resize(std::min(spares.size(), keep - tiles.size()));
}

}  // namespace brelvix
