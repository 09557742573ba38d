#include "engine/recovery_run.h"

#include <string>
#include <utility>

#include "engine/guarded_call.h"
#include "engine/recovered_file_path.h"

namespace vexlo {

RecoveryRun::RecoveryRun(std::vector<RecoverySource> sources,
                         std::filesystem::path destination_root, RecoveryProgressCallback callback,
                         void* user)
    : sources_(std::move(sources)),
      root_(std::move(destination_root)),
      callback_(callback),
      user_(user) {}

IFileRecoveryParse* RecoveryRun::EngineFor(uint16_t source_id) const {
  for (const RecoverySource& source : sources_) {
    if (source.source_id == source_id) return source.engine;
  }
  return nullptr;
}

ErrorCode RecoveryRun::Run(std::span<const FoundFileRecord> records) {
  files_to_write_ = records.size();
  finished_ = 0;
  failed_ = 0;
  const std::string root_text = root_.string();
  const uint32_t separators = SeparatorCount(root_text);
  UniqueNames names;
  for (const FoundFileRecord& record : records) {
    const std::filesystem::path destination = names.Claim(DestinationPath(root_, record.Name()));
    IFileRecoveryParse* engine = EngineFor(record.source_id);
    if (engine == nullptr) {
      // Its source is no longer scanned: nothing can read the data.
      ++finished_;
      ++failed_;
      if (callback_ != nullptr) {
        (void)callback_(user_, 100, 100, err::kInvalidParameter, destination.string().c_str(), 0);
      }
      continue;
    }
    if (ErrorCode rc = engine->SetProgressCallbacks(nullptr, callback_, user_, 100); !rc.ok())
      return rc;
    const ErrorCode rc =
        GuardedCall([&] { return engine->RecoverFile(record, destination, separators); });
    if (rc == kCancelCode) return kCancelCode;
    ++finished_;
    if (!rc.ok()) ++failed_;
  }
  return err::kSuccess;
}

}  // namespace vexlo
