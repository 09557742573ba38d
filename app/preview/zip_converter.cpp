#include <QDateTime>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

#include "preview/converters.h"

namespace {

constexpr char kHeader[] = "      Size  Modified          Name\n";
constexpr char kSeparator[] = "----------  ----------------  -------------------\n";

struct ArchiveCloser
{
    void operator()(archive *reader) const { archive_read_free(reader); }
};

QString EntryLine(archive_entry *entry)
{
    const QString size = archive_entry_size_is_set(entry)
            ? QString::number(archive_entry_size(entry))
            : QString();
    const QString modified = archive_entry_mtime_is_set(entry)
            ? QDateTime::fromSecsSinceEpoch(archive_entry_mtime(entry))
                      .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
            : QString();
    const char *utf8 = archive_entry_pathname_utf8(entry);
    const QString name = utf8 != nullptr ? QString::fromUtf8(utf8)
                                         : QString::fromLocal8Bit(archive_entry_pathname(entry));
    return QStringLiteral("%1  %2  %3\n").arg(size, 10).arg(modified, -16).arg(name);
}

} // namespace

vexlo::ErrorCode CZIP::Convert(const QString &source, QString *text)
{
    std::unique_ptr<archive, ArchiveCloser> reader(archive_read_new());
    if (!reader)
        return vexlo::err::kInvalidParameter;
    // Only real archive formats: with the "raw" reader any file would list
    // as one entry, and a file that is no archive must fall back to its bytes.
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_all(reader.get());
    const QByteArray path = source.toLocal8Bit();
    if (archive_read_open_filename(reader.get(), path.constData(), 1 << 16) != ARCHIVE_OK)
        return vexlo::err::kInvalidParameter;

    QString listing = QString::fromLatin1(kHeader) + QString::fromLatin1(kSeparator);
    archive_entry *entry = nullptr;
    int entries = 0;
    for (;;) {
        const int rc = archive_read_next_header(reader.get(), &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc < ARCHIVE_WARN) {
            // A damaged tail still leaves a useful listing of what came first;
            // an archive that cannot even be recognised is no listing at all.
            if (entries == 0)
                return vexlo::err::kInvalidParameter;
            listing += QStringLiteral("...\n");
            break;
        }
        if (entries == kMaxEntries) {
            listing += QStringLiteral("...\n");
            break;
        }
        listing += EntryLine(entry);
        ++entries;
        archive_read_data_skip(reader.get());
    }
    *text = listing;
    return vexlo::err::kSuccess;
}
