#pragma once
// A channel's text as the messages published for it: one record per line, ended as the
// receive path ends it (CR LF, CR or LF), and the JSON a consumer reads.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Publish {

// The length of the record that starts at from, its line end included; 0 while it is not
// complete. A CR that is the last byte so far ends its record: a balance that ends lines
// with CR alone is not kept waiting for a byte that never comes (an LF that follows is
// then an empty record of its own). Without a line end, a record ends after
// MaxRecordLength bytes, or at the end of bytes that will not grow (complete).
qsizetype RecordLength(const QByteArray& bytes, qsizetype from, bool complete);
constexpr qsizetype MaxRecordLength = 4096;
// The record without its line end.
QByteArray RecordText(const QByteArray& record);

struct Reading
{
    QString host;
    int channel = 0;
    QString id;
    QDateTime time;
    QByteArray text; // without its line end
    qint64 seq = 0;
};
QByteArray Payload(const Reading& reading);

} // namespace Publish
