#include "platform/udisks.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace vexlo::platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* kManagerInterface = "org.freedesktop.UDisks2.Manager";
constexpr const char* kBlockInterface = "org.freedesktop.UDisks2.Block";
// A password dialog waits for the user: far longer than sd-bus's 25 s.
constexpr uint64_t kInteractiveTimeoutUsec = 5ULL * 60 * 1000 * 1000;

thread_local int quiet_scopes = 0;

// sd-bus objects freed at scope end.
struct BusCleanup {
  sd_bus* bus = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusCleanup() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
  }
};

int OpenBus(sd_bus** bus) {
  const char* address = std::getenv("VEXLO_UDISKS_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') return sd_bus_open_system(bus);
  int r = sd_bus_new(bus);
  if (r < 0) return r;
  r = sd_bus_set_address(*bus, address);
  if (r >= 0) r = sd_bus_set_bus_client(*bus, 1);
  if (r >= 0) r = sd_bus_start(*bus);
  return r;
}

ErrorCode FromBusError(const sd_bus_error& error, int r) {
  // polkit's refusals all share this prefix (NotAuthorized,
  // NotAuthorizedCanObtain, NotAuthorizedDismissed).
  if (error.name != nullptr &&
      std::strncmp(error.name, "org.freedesktop.UDisks2.Error.NotAuthorized", 43) == 0) {
    return FromErrno(EACCES);
  }
  if (error.name != nullptr && (sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                                sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER))) {
    return ErrorCode(err::kNotSupported);
  }
  return FromErrno(r < 0 ? -r : EIO);
}

// The daemon's object for a /dev path; empty when it knows none.
ErrorCode ResolveDevice(sd_bus* bus, const std::string& device, std::string* object) {
  BusCleanup call;
  int r =
      sd_bus_call_method(bus, kService, kManagerPath, kManagerInterface, "ResolveDevice",
                         &call.error, &call.reply, "a{sv}a{sv}", 1, "path", "s", device.c_str(), 0);
  if (r < 0) return FromBusError(call.error, r);
  r = sd_bus_message_enter_container(call.reply, 'a', "o");
  if (r < 0) return FromErrno(-r);
  const char* path = nullptr;
  r = sd_bus_message_read(call.reply, "o", &path);
  if (r <= 0 || path == nullptr) return ErrorCode(err::kFileNotFound);
  *object = path;
  return ErrorCode(err::kSuccess);
}

ErrorCode OpenForBackup(sd_bus* bus, const std::string& object, int* fd) {
  BusCleanup call;
  sd_bus_message* request = nullptr;
  int r = sd_bus_message_new_method_call(bus, &request, kService, object.c_str(), kBlockInterface,
                                         "OpenForBackup");
  const int may_ask = quiet_scopes == 0 ? 1 : 0;
  if (r >= 0) {
    r = sd_bus_message_append(request, "a{sv}", 1, "auth.no_user_interaction", "b", !may_ask);
  }
  if (r >= 0) r = sd_bus_message_set_allow_interactive_authorization(request, may_ask);
  if (r >= 0) r = sd_bus_call(bus, request, kInteractiveTimeoutUsec, &call.error, &call.reply);
  sd_bus_message_unref(request);
  if (r < 0) return FromBusError(call.error, r);
  int received = -1;
  r = sd_bus_message_read(call.reply, "h", &received);
  if (r <= 0) return FromErrno(r < 0 ? -r : EIO);
  // The reply owns the descriptor it carries.
  *fd = ::fcntl(received, F_DUPFD_CLOEXEC, 3);
  if (*fd < 0) return LastErrorCode();
  return ErrorCode(err::kSuccess);
}

// A descriptor the daemon gave is kept for the life of the program and
// handed out again as a duplicate: a scan opens its source several times
// (probes, layout, the walk), and each trip to the daemon could bring up the
// password dialog again.
struct GrantedDescriptors {
  std::mutex mutex;
  std::map<std::string, int> by_device;
};

GrantedDescriptors& Granted() {
  static GrantedDescriptors granted;
  return granted;
}

// A card pulled out leaves a descriptor that no longer reads: ask anew.
bool StillReads(int fd) {
  char byte = 0;
  return ::pread(fd, &byte, 1, 0) == 1;
}

ErrorCode AskDaemon(const std::string& device, int* fd) {
  BusCleanup session;
  if (OpenBus(&session.bus) < 0) return ErrorCode(err::kNotSupported);
  std::string object;
  ErrorCode rc = ResolveDevice(session.bus, device, &object);
  if (!rc.ok()) return rc;
  rc = OpenForBackup(session.bus, object, fd);
  if (!rc.ok()) return rc;
  const int flags = ::fcntl(*fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY) {
    ::close(*fd);
    *fd = -1;
    return ErrorCode(err::kAccessDenied);
  }
  return ErrorCode(err::kSuccess);
}

}  // namespace

ErrorCode OpenThroughUdisks(const std::filesystem::path& device, int* fd) {
  *fd = -1;
  GrantedDescriptors& granted = Granted();
  std::lock_guard lock(granted.mutex);
  const std::string key = device.string();
  if (auto it = granted.by_device.find(key); it != granted.by_device.end()) {
    if (StillReads(it->second)) {
      *fd = ::fcntl(it->second, F_DUPFD_CLOEXEC, 3);
      return *fd >= 0 ? ErrorCode(err::kSuccess) : LastErrorCode();
    }
    ::close(it->second);
    granted.by_device.erase(it);
  }
  int kept = -1;
  if (ErrorCode rc = AskDaemon(key, &kept); !rc.ok()) return rc;
  granted.by_device[key] = kept;
  *fd = ::fcntl(kept, F_DUPFD_CLOEXEC, 3);
  return *fd >= 0 ? ErrorCode(err::kSuccess) : LastErrorCode();
}

NoPasswordPrompts::NoPasswordPrompts() { ++quiet_scopes; }
NoPasswordPrompts::~NoPasswordPrompts() { --quiet_scopes; }

}  // namespace vexlo::platform
