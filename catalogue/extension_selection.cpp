#include "catalogue/extension_selection.h"

#include <cstdio>

#include "engine/file_categories.h"
#include "platform/text.h"

namespace vexlo::catalogue {

ExtensionSelection::ExtensionSelection() { SelectAll(); }

void ExtensionSelection::SelectAll() {
  map_.clear();
  for (const TypeBox& box : TypeBoxes()) SelectCategory(box.id, true);
}

void ExtensionSelection::SelectCategory(TypeBoxId box, bool on) {
  for (const TypeOption& option : BoxOf(box).options) SelectOption(option, on);
}

void ExtensionSelection::SelectOption(const TypeOption& option, bool on) {
  ForEachExtension(option, [&](std::string_view extension) {
    if (on) {
      map_.insert_or_assign(std::string(extension), &option);
    } else if (auto it = map_.find(extension); it != map_.end()) {
      map_.erase(it);
    }
  });
}

const TypeOption* ExtensionSelection::OptionFor(std::string_view extension) const {
  const auto it = map_.find(extension);
  return it == map_.end() ? nullptr : it->second;
}

std::string ExtensionSelection::BuildSearchPattern() const {
  std::string pattern;
  if (map_.empty()) {
    for (FileCategory category : {FileCategory::kPhoto, FileCategory::kAudio, FileCategory::kVideo,
                                  FileCategory::kDocument, FileCategory::kArchive}) {
      if (!pattern.empty()) pattern += '|';
      pattern += CategoryList(category);
    }
    return pattern;
  }
  for (const auto& [extension, option] : map_) {
    if (!pattern.empty()) pattern += '|';
    pattern += "*.";
    pattern += extension;
  }
  return pattern;
}

std::string_view OptionShortText(const TypeOption& option) {
  std::string_view text = option.text;
  const std::size_t paren = text.rfind('(');
  if (paren == std::string_view::npos) return text;
  std::size_t end = paren;
  if (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

std::optional<TypeTreeEntry> TypeTreeEntryFor(const ExtensionSelection& selection,
                                              std::string_view extension, std::size_t count,
                                              bool other_selected) {
  const TypeOption* option = selection.OptionFor(extension);
  char text[300];
  if (option != nullptr && option != &OtherFilesOption()) {
    const std::string_view short_text = OptionShortText(*option);
    std::snprintf(text, sizeof(text), "%.*s (%zu)", static_cast<int>(short_text.size()),
                  short_text.data(), count);
    return TypeTreeEntry{BoxOfOption(*option), option, text, option->icon};
  }
  if (!other_selected) return std::nullopt;
  std::string upper(extension);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  std::snprintf(text, sizeof(text), "%s Files (%zu)", upper.c_str(), count);
  return TypeTreeEntry{TypeBoxId::kOther, &OtherFilesOption(), text, OtherFilesOption().icon};
}

}  // namespace vexlo::catalogue
