#include "checked_record_set.h"

namespace {

uint64_t SizeOf(const vexlo::FoundFileRecord &record)
{
    return record.is_folder != 0 ? 0 : record.size;
}

} // namespace

CheckedRecordSet::Key CheckedRecordSet::KeyOf(const vexlo::FoundFileRecord &record)
{
    const uint32_t source = (uint32_t{record.source_id} << 16) | (record.fs_kind & 0xFFFFu);
    // Read the packed field by value: a reference to it would be misaligned.
    const uint32_t number = record.record_number;
    return {source, number};
}

bool CheckedRecordSet::Add(const vexlo::FoundFileRecord &record)
{
    const auto [it, inserted] = m_records.emplace(KeyOf(record), record);
    if (inserted)
        m_totalBytes += SizeOf(record);
    return inserted;
}

bool CheckedRecordSet::Remove(const vexlo::FoundFileRecord &record)
{
    const auto it = m_records.find(KeyOf(record));
    if (it == m_records.end())
        return false;
    m_totalBytes -= SizeOf(it->second);
    m_records.erase(it);
    return true;
}

bool CheckedRecordSet::Contains(const vexlo::FoundFileRecord &record) const
{
    return m_records.count(KeyOf(record)) != 0;
}

void CheckedRecordSet::Clear()
{
    m_records.clear();
    m_totalBytes = 0;
}

std::vector<vexlo::FoundFileRecord> CheckedRecordSet::Records() const
{
    std::vector<vexlo::FoundFileRecord> records;
    records.reserve(m_records.size());
    for (const auto &[key, record] : m_records)
        records.push_back(record);
    return records;
}
