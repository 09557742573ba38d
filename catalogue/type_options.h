// The file-type catalogue: how the user interface names kinds of files.
//
// Six category boxes, in page order, each with its fixed options. An option
// stands for one or more extensions (its user data, "|"-separated, lower
// case, without "*.") and carries the text and icon shown for it on the
// file-type page and in the type tree. The table is fixed data: nothing here
// changes at run time, and every view (the desktop application and the
// command-line tool) reads the same rows.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace vexlo::catalogue {

// The category boxes in the order of the page; the numeric value is the
// box's index in TypeBoxes().
enum class TypeBoxId : std::size_t {
  kPhoto = 0,
  kAudio = 1,
  kVideo = 2,
  kOffice = 3,
  kZip = 4,
  kOther = 5,
};

inline constexpr std::size_t kTypeBoxCount = 6;

struct TypeOption {
  std::string_view text;        // "JPG/JPEG (.jpg .jpeg)"
  std::string_view extensions;  // "jpg|jpeg"
  std::string_view icon;        // "FileIcon/jpg.png"
};

// One category box with every name the other views use for its category.
struct TypeBox {
  TypeBoxId id;
  std::string_view box_name;         // "FileTypePhoto"
  std::string_view title_label;      // "LblPhotoType"
  std::string_view title_text;       // "Photo File Type"
  std::string_view category_option;  // "OptPhotoFile"
  std::string_view mode_check_box;   // "ChkPhoto" on the mode page
  std::string_view tree_node;        // "NodePhoto"
  std::string_view tree_text_key;    // "MSG0807"
  std::string_view folder_name;      // folder of recovered files: "photo"
  std::string_view generic_icon;     // "image.png"
  std::span<const TypeOption> options;
};

// The six boxes, in page order.
std::span<const TypeBox> TypeBoxes();

const TypeBox& BoxOf(TypeBoxId id);

// The single option of the "other" box; extensions that no option names fall
// to it.
const TypeOption& OtherFilesOption();

// The box that holds `option` (which must be a row of the table).
TypeBoxId BoxOfOption(const TypeOption& option);

// Calls `piece` for every extension of `option`'s user data, split at "|";
// a piece after the last "|" counts, and an empty user data gives one empty
// piece.
template <typename Fn>
void ForEachExtension(const TypeOption& option, Fn&& piece) {
  std::string_view rest = option.extensions;
  for (;;) {
    const std::size_t bar = rest.find('|');
    piece(rest.substr(0, bar));
    if (bar == std::string_view::npos) return;
    rest.remove_prefix(bar + 1);
  }
}

}  // namespace vexlo::catalogue
