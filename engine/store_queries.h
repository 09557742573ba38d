// The query slots that every store-backed engine answers the same way.
//
// The FAT, NTFS, exFAT and carving engines keep their results in a
// ScanResultStore and answer ListFolder, CountFiles, GetRecordCount,
// GetFullPath, SetSearchCallback and FindFiles from it; they differ only in
// which key addresses their root folder. An engine forwards those slots to
// these functions, passing its store (null before a scan created one).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "engine/scan_result_store.h"

namespace vexlo {

// Replaces `*store` with a store on `record_file_name` in `folder` that
// reports searches to `callback`; on failure `*store` is empty.
ErrorCode StoreOpen(const std::filesystem::path& folder, const std::string& record_file_name,
                    SearchProgressCallback callback, void* user,
                    std::unique_ptr<ScanResultStore>* store);

// Records whose parent is `folder` (its key at `level`); with no folder the
// root, addressed by `root_key` at level 0. 87 for a root listing with a
// nonzero level (the output stays untouched). Nothing is listed without a store.
ErrorCode StoreListFolder(ScanResultStore* store, const FoundFileRecord* folder, uint32_t level,
                          uint32_t root_key, std::vector<FoundFileRecord>* out);

// File records below the folder (same addressing), at any depth.
ErrorCode StoreCountFiles(ScanResultStore* store, const FoundFileRecord* folder, uint32_t level,
                          uint32_t root_key, uint32_t* count);

uint64_t StoreRecordCount(const ScanResultStore* store);

// The record's folder path, root first, each name followed by "/".
ErrorCode StoreFullPath(ScanResultStore* store, const FoundFileRecord& record, std::string* path);

// 87 without a store.
ErrorCode StoreSetSearchCallback(ScanResultStore* store, SearchProgressCallback callback,
                                 void* user);

// The file records the type filter selects; nothing without a store.
ErrorCode StoreFindFiles(ScanResultStore* store, std::string_view type_filter,
                         std::vector<FoundFileRecord>* out);

}  // namespace vexlo
