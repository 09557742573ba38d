// The phases of an image copy of a failing medium, in the order of GNU
// ddrescue's algorithm, on a RescueSession:
//
//  copying   three passes over the non-tried bytes, in reads of 1 MiB. Pass
//            1 goes forwards and pass 2 backwards; after a failed or slow
//            read both skip ahead by a distance that doubles while the
//            trouble lasts and falls back after a good read, so a bad area
//            costs a few reads and the good areas behind it come first. The
//            first failure of pass 1 after good reads marks only the piece
//            that failed (one system read of at most 64 KiB) non-trimmed and
//            leaves the rest of the block to pass 2, which reads it from its
//            far end: a lone bad spot costs little trimming. Any other
//            failure marks everything from the failure to the end of its
//            block. Pass 3 reads what the skips left, without skipping, so
//            that every byte has been tried once, as part of a large read;
//  trimming  each non-trimmed block is read sector by sector from its front
//            until a sector fails, then from its back likewise; the failing
//            sectors are bad, the rest between them non-scraped. An edge
//            that already borders a bad sector is not read again;
//  scraping  each non-scraped sector is read once on its own;
//  retrying  the given number of passes over the bad sectors, backwards
//            first, then alternating.
//
// Everything a phase decides is in the map at once, so a copy stopped at any
// point goes on correctly from the map alone; the copying phase also goes on
// at the pass and position of the map's status line, so that areas skipped
// once are not read again by the same pass.
#pragma once

#include <cstdint>

#include "storage/mapfile.h"
#include "storage/rescue_session.h"

namespace vexlo {

// Runs the phases that still have work, from where `resume` says the copy
// stood, until they are done or the session stops.
void RunRescuePhases(RescueSession& session, const RescueStatus& resume, uint32_t retry_passes);

}  // namespace vexlo
