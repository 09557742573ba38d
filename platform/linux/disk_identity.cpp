#include <libudev.h>
#include <sys/sysmacros.h>

#include <memory>

#include "platform/disk_table.h"
#include "platform/linux/sysfs_attribute.h"

namespace vexlo::platform {
namespace {

struct UdevDeleter {
  void operator()(udev* context) const { udev_unref(context); }
  void operator()(udev_device* device) const { udev_device_unref(device); }
};

void Add(std::string* text, const char* key, const std::string& value) {
  if (!value.empty()) *text += std::string(key) + "=" + value + "\n";
}

}  // namespace

std::string DiskIdentity(const DiskInfo& disk, const SysfsRoots& roots) {
  std::string text;
  const std::unique_ptr<udev, UdevDeleter> context(udev_new());
  const std::unique_ptr<udev_device, UdevDeleter> device(
      context ? udev_device_new_from_devnum(context.get(), 'b', makedev(disk.major, disk.minor))
              : nullptr);
  for (const char* key : {"ID_SERIAL", "ID_MODEL"}) {
    const char* value = device ? udev_device_get_property_value(device.get(), key) : nullptr;
    Add(&text, key, value != nullptr ? value : "");
  }
  const std::filesystem::path entry = roots.sys_block / disk.name;
  Add(&text, "cid", SysfsFirstLine(entry / "device" / "cid"));
  Add(&text, "backing_file", SysfsFirstLine(entry / "loop" / "backing_file"));
  Add(&text, "model", disk.model);
  return text;
}

}  // namespace vexlo::platform
