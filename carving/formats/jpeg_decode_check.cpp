#include "carving/formats/jpeg_decode_check.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vexlo::carving {

namespace {

// A piece whose bytes libjpeg cannot consume grows the held bytes; a marker
// segment is at most 64 KiB and an MCU far less, so more than this is no JPEG.
constexpr std::size_t kMaxHeldBytes = 1 << 20;

// The libjpeg warnings that mean the entropy-coded data is not what the
// encoder wrote; the others (colour transform, ICC, JFIF version) are
// harmless.
bool IsCorruptData(int code) {
  switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_JPEG_EOF:
      return true;
    default:
      return false;
  }
}

// Errors that say nothing about the file's bytes, only about the limits this
// check runs under.
bool IsLimit(int code) {
  return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE || code == JERR_WIDTH_OVERFLOW;
}

}  // namespace

struct JpegDecodeCheck::Decoder {
  enum class Stage { kHeader, kStart, kRows, kFinish, kJudged };
  enum class Verdict { kPending, kWhole, kDamaged, kUnjudged };

  struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    int code;
  };

  Decoder() {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
      auto* self = reinterpret_cast<ErrorManager*>(common->err);
      self->code = self->manager.msg_code;
      std::longjmp(self->jump, 1);
    };
    errors.manager.output_message = [](j_common_ptr) {};
    errors.manager.emit_message = [](j_common_ptr common, int level) {
      auto* self = reinterpret_cast<ErrorManager*>(common->err);
      // Decoding on past corrupt data would only cost time.
      if (level < 0 && IsCorruptData(self->manager.msg_code)) {
        self->code = self->manager.msg_code;
        std::longjmp(self->jump, 1);
      }
    };
    if (setjmp(errors.jump) != 0) {
      verdict = Verdict::kUnjudged;
      stage = Stage::kJudged;
      return;
    }
    jpeg_create_decompress(&info);
    created = true;
    info.mem->max_memory_to_use = kMemoryLimit;
    source.init_source = [](j_decompress_ptr) {};
    // Suspends: the bytes come with the next piece.
    source.fill_input_buffer = [](j_decompress_ptr) -> boolean { return FALSE; };
    source.skip_input_data = [](j_decompress_ptr decompress, long count) {
      jpeg_source_mgr* src = decompress->src;
      if (count <= 0) return;
      const auto wanted = static_cast<std::size_t>(count);
      const std::size_t here = wanted < src->bytes_in_buffer ? wanted : src->bytes_in_buffer;
      src->next_input_byte += here;
      src->bytes_in_buffer -= here;
      reinterpret_cast<Decoder*>(decompress->client_data)->skip_left += wanted - here;
    };
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = [](j_decompress_ptr) {};
    source.next_input_byte = nullptr;
    source.bytes_in_buffer = 0;
    info.src = &source;
    info.client_data = this;
  }

  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }

  // Runs the decoder over the bytes at source until it suspends or judges.
  void Run() {
    if (setjmp(errors.jump) != 0) {
      verdict = IsLimit(errors.code) ? Verdict::kUnjudged : Verdict::kDamaged;
      stage = Stage::kJudged;
      return;
    }
    for (;;) {
      switch (stage) {
        case Stage::kHeader:
          if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return;
          info.scale_num = 1;
          info.scale_denom = 8;
          info.dct_method = JDCT_IFAST;
          info.do_fancy_upsampling = FALSE;
          info.do_block_smoothing = FALSE;
          info.two_pass_quantize = FALSE;
          info.dither_mode = JDITHER_NONE;
          stage = Stage::kStart;
          break;
        case Stage::kStart:
          if (!jpeg_start_decompress(&info)) return;
          row.resize(std::size_t{info.output_width} * info.output_components);
          stage = Stage::kRows;
          break;
        case Stage::kRows:
          while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {row.data()};
            if (jpeg_read_scanlines(&info, rows, 1) == 0) return;
          }
          stage = Stage::kFinish;
          break;
        case Stage::kFinish:
          if (!jpeg_finish_decompress(&info)) return;
          verdict = Verdict::kWhole;
          end = fed - source.bytes_in_buffer;
          stage = Stage::kJudged;
          return;
        case Stage::kJudged:
          return;
      }
    }
  }

  void Feed(const uint8_t* data, std::size_t size) {
    const std::size_t skipped = skip_left < size ? static_cast<std::size_t>(skip_left) : size;
    skip_left -= skipped;
    fed += size;
    data += skipped;
    size -= skipped;
    if (size == 0) return;
    // The caller's piece is decoded in place; only what libjpeg left
    // unconsumed at its end is held for the next one.
    if (held.empty()) {
      source.next_input_byte = data;
      source.bytes_in_buffer = size;
    } else {
      held.insert(held.end(), data, data + size);
      source.next_input_byte = held.data();
      source.bytes_in_buffer = held.size();
    }
    Run();
    if (stage == Stage::kJudged || source.bytes_in_buffer == 0) {
      held.clear();
      return;
    }
    const uint8_t* rest = source.next_input_byte;
    const std::size_t rest_size = source.bytes_in_buffer;
    if (rest_size > kMaxHeldBytes) {
      verdict = Verdict::kDamaged;
      stage = Stage::kJudged;
      held.clear();
      return;
    }
    if (!held.empty()) {
      std::memmove(held.data(), rest, rest_size);
      held.resize(rest_size);
    } else {
      held.assign(rest, rest + rest_size);
    }
    source.next_input_byte = held.data();
  }

  jpeg_decompress_struct info{};
  ErrorManager errors{};
  jpeg_source_mgr source{};
  bool created = false;
  Stage stage = Stage::kHeader;
  Verdict verdict = Verdict::kPending;
  std::vector<uint8_t> held;
  std::vector<uint8_t> row;
  uint64_t skip_left = 0;
  uint64_t fed = 0;  // bytes offered so far, skipped ones included
  uint64_t end = 0;  // where the first image's end-of-image marker ends
};

JpegDecodeCheck::JpegDecodeCheck() : decoder_(std::make_unique<Decoder>()) {}

JpegDecodeCheck::~JpegDecodeCheck() = default;

void JpegDecodeCheck::Feed(const uint8_t* data, std::size_t size) {
  if (wants_more()) decoder_->Feed(data, size);
}

bool JpegDecodeCheck::wants_more() const { return decoder_->stage != Decoder::Stage::kJudged; }

bool JpegDecodeCheck::Damaged(uint64_t length) const {
  switch (decoder_->verdict) {
    case Decoder::Verdict::kPending:
    case Decoder::Verdict::kDamaged:
      return true;
    case Decoder::Verdict::kWhole:
      return decoder_->end > length;
    case Decoder::Verdict::kUnjudged:
      return false;
  }
  return false;
}

}  // namespace vexlo::carving
