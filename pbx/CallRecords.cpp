#include "CallRecords.h"

#include "PbxResources.h"

#include <QFile>

namespace pbx {

QStringList splitRecordLines(const QByteArray &text) {
    QStringList lines;
    const qsizetype size = text.size();
    qsizetype start = 0;
    qsizetype pos = 0;
    while (pos < size) {
        const char c = text.at(pos);
        if (c != '\r' && c != '\n') {
            ++pos;
            continue;
        }
        lines.append(QString::fromLatin1(text.constData() + start, pos - start));
        // CR LF is one line end; a lone CR or LF is one too.
        pos += (c == '\r' && pos + 1 < size && text.at(pos + 1) == '\n') ? 2 : 1;
        start = pos;
    }
    if (start < size)
        lines.append(QString::fromLatin1(text.constData() + start, size - start));
    return lines;
}

QStringList loadCallRecords() {
    initResources();
    QFile file(QStringLiteral(":/CRECORDS_TXT"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return splitRecordLines(file.readAll());
}

} // namespace pbx
