// The files checked for recovery, across every type node and every source.
//
// A record is identified by its source and its number in that source's
// store; the source key also carries the engine kind, because a quick and a
// formatted scan of one source number their records independently. Each
// entry holds a copy of the record, so the set stays valid when the vector
// the views were built from is replaced.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "engine/found_file_record.h"

class CheckedRecordSet
{
public:
    // (source key, record number); ordered by source key, then number.
    using Key = std::pair<uint32_t, uint32_t>;

    static Key KeyOf(const vexlo::FoundFileRecord &record);

    // True when the set changed.
    bool Add(const vexlo::FoundFileRecord &record);
    bool Remove(const vexlo::FoundFileRecord &record);
    bool Contains(const vexlo::FoundFileRecord &record) const;
    void Clear();

    std::size_t Count() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    // Sum of the sizes of the checked records (folders count 0).
    uint64_t TotalBytes() const { return m_totalBytes; }
    // Copies of the checked records in key order: the order of recovery.
    std::vector<vexlo::FoundFileRecord> Records() const;

private:
    std::map<Key, vexlo::FoundFileRecord> m_records;
    uint64_t m_totalBytes = 0;
};
