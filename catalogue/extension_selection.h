// Which extensions a deep search looks for, and under which type option each
// extension is shown.
//
// The selection is one ordered map from extension (lower case, without "*.")
// to the option of the catalogue that carries it. Switching a category box on
// adds every extension of its options; when two options carry the same
// extension, the one added last wins. Switching a box off erases its
// extensions even when another box still carries one of them: ".rm" is named
// by an audio and by a video option, and switching audio off drops it from
// the search altogether until a box that names it is switched on again.
//
// One instance serves the whole program; it is used from the UI thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/type_options.h"

namespace vexlo::catalogue {

class ExtensionSelection {
 public:
  using Map = std::map<std::string, const TypeOption*, std::less<>>;

  // The start-up state: every box switched on, in page order.
  ExtensionSelection();

  // Clears the map and switches every box on, so every extension is looked for.
  void SelectAll();

  // Adds (on) or removes (off) the extensions of every option of `box`.
  void SelectCategory(TypeBoxId box, bool on);

  // The same for one option of the page (a single file type).
  void SelectOption(const TypeOption& option, bool on);

  // The option that an extension maps to, or null.
  const TypeOption* OptionFor(std::string_view extension) const;

  // The pattern for the engines' extension search: "*.3g2|*.3gp|..." in map
  // order. With nothing selected it is the five category lists joined, so a
  // search with every box off still looks for everything known.
  std::string BuildSearchPattern() const;

  const Map& map() const { return map_; }

 private:
  Map map_;
};

// One node of the type tree.
struct TypeTreeEntry {
  TypeBoxId box;             // the category node it goes under
  const TypeOption* option;  // the option it stands for
  std::string text;          // "JPG/JPEG (12)", "DAT Files (3)"
  std::string_view icon;     // "FileIcon/jpg.png"
};

// The type-tree node of `extension` with `count` records. An extension that
// no selected option carries falls to the "Other Files" option, shown by its
// upper-cased name, but only while that option is selected
// (`other_selected`); otherwise it is not shown (nullopt).
std::optional<TypeTreeEntry> TypeTreeEntryFor(const ExtensionSelection& selection,
                                              std::string_view extension, std::size_t count,
                                              bool other_selected);

// The option's text without its "(.ext ...)" tail: "JPG/JPEG (.jpg .jpeg)"
// gives "JPG/JPEG".
std::string_view OptionShortText(const TypeOption& option);

}  // namespace vexlo::catalogue
