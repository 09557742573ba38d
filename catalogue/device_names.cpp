#include "catalogue/device_names.h"

#include <initializer_list>
#include <vector>

#include "catalogue/display_format.h"

namespace vexlo::catalogue {
namespace {

constexpr std::string_view kSeparator = " · ";

// `parts` joined by the separator, the empty ones left out, then the mount
// points when `mounts` is set.
std::string Joined(std::initializer_list<std::string> parts, const PartitionRecord& record,
                   bool mounts) {
  std::string text;
  auto add = [&](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty()) text += kSeparator;
    text += part;
  };
  for (const std::string& part : parts) add(part);
  if (mounts) {
    for (const auto& point : record.mount_points) add(point.string());
  }
  return text;
}

}  // namespace

std::string DiskName(std::string_view kind, const PartitionRecord& record) {
  std::string text(kind);
  if (!record.disk_model.empty()) text += " — " + record.disk_model;
  return text + " (" + record.disk_path.string() + "), " +
         SizeText(static_cast<int64_t>(record.disk_bytes));
}

std::string DeviceNode(const PartitionRecord& record) {
  return (record.root_path.empty() ? record.disk_path : record.root_path).string();
}

std::string MountedDevice(const PartitionRecord& record) {
  return Joined({DeviceNode(record)}, record, true);
}

std::string PartitionName(const PartitionRecord& record) {
  return Joined({DeviceNode(record), record.label}, record, true);
}

std::string PartitionDescription(const PartitionRecord& record) {
  return Joined({DeviceNode(record), record.label, record.file_system,
                 SizeText(static_cast<int64_t>(record.total_bytes))},
                record, true);
}

std::string DeviceWithLabel(const PartitionRecord& record) {
  return record.label.empty() ? DeviceNode(record) : DeviceNode(record) + " (" + record.label + ")";
}

}  // namespace vexlo::catalogue
