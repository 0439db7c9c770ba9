// The compression floor: raw deflate at level 9 of a source in fixed pieces, each piece its
// own stream, on one thread. No build can do less deflate work than this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "rt/Stream.h"

namespace voltrane {

// The chunk limit of a build: the pieces match the chunks' size.
inline constexpr int64_t kFloorPieceBytes = 4500000;

struct TDeflateFloor {
  double DeflateSeconds = 0;  // the deflate work only, reading left out
  int64_t SourceBytes = 0;
  int64_t Pieces = 0;
  int64_t CompressedBytes = 0;
};

// One raw deflate stream (window bits -15, memory level 8, default strategy, level 9) of
// the bytes into buffer, which grows as needed; returns the compressed length, which the
// buffer holds from its start.
size_t RawDeflate(const char* data, size_t size, std::string& buffer);

// Reads source to its end, pieceBytes at a time, and deflates each piece. onPiece, when
// given, sees each compressed piece.
TDeflateFloor DeflateInPieces(TStream& source, int64_t pieceBytes,
                              const std::function<void(std::string_view)>& onPiece = {});

}  // namespace voltrane
